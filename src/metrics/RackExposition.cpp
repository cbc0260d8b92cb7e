#include "metrics/RackExposition.h"

#include "core/QuantityNames.h"
#include "metrics/TextFormat.h"

#include <string>

namespace {

// The reading families in the order they are written.
enum FamilyId { Blower, Voltage, Current, Power, SlotAir, SlotRise, Ambient, kFamilyCount };

struct Family {
    const char* name;
    const char* help;
    const char* quantity; // the over-limit series' quantity label
};

constexpr std::array<Family, kFamilyCount> kFamilies{{
    {"ksm7720_blower_speed_rpm",
     "Blower speed in revolutions per minute; 0 also when the "
     "blower is not fitted.",
     "blower_speed"},
    {"ksm7720_supply_voltage_volts", "Supply voltage in volts.", "supply_voltage"},
    {"ksm7720_supply_current_amperes", "Supply current in amperes.", "supply_current"},
    {"ksm7720_supply_power_watts", "Supply power in watts.", "supply_power"},
    {"ksm7720_slot_air_temperature_celsius", "Air temperature at a slot in degrees Celsius.",
     "slot_air_temperature"},
    {"ksm7720_slot_temperature_rise_celsius",
     "Temperature rise of the air across a slot in "
     "degrees Celsius.",
     "slot_temperature_rise"},
    {"ksm7720_ambient_temperature_celsius", "Ambient air temperature in degrees Celsius.",
     "ambient_temperature"},
}};

constexpr int kSlotCount = 13; // OUT0-12, then DELT0-12

FamilyId FamilyOf(const SnapshotReading& reading) {
    switch (reading.kind) {
    case BLOWER:
        return Blower;
    case VOLT:
        return Voltage;
    case CURRENT:
        return Current;
    case POWER:
        return Power;
    default:
        return reading.position == kAmbientSensor ? Ambient
               : reading.position < kSlotCount    ? SlotAir
                                                  : SlotRise;
    }
}

// The labels of one value of a reading, the value's position aside.
MetricLabels ReadingLabels(const SnapshotReading& reading) {
    switch (FamilyOf(reading)) {
    case Blower:
        return {{"blower", std::to_string(reading.position)}};
    case SlotAir:
    case SlotRise:
        return {{"slot", std::to_string(reading.position % kSlotCount)}};
    case Ambient:
        return {};
    default:
        return {{"supply", kSupplyNames[reading.position]}};
    }
}

void WriteReadings(const ScrapeResult& scrape, CTextFormat& text) {
    for (int f = 0; f < kFamilyCount; ++f) {
        text.Family(kFamilies[f].name, kFamilies[f].help);
        for (const SnapshotReading& reading : scrape.readings) {
            if (FamilyOf(reading) != f) {
                continue;
            }
            for (int i = 0; i < reading.count; ++i) {
                MetricLabels labels = ReadingLabels(reading);
                if (reading.count > 1) {
                    labels.emplace_back("position", kReadingPositions[i]);
                }
                text.Sample(labels, reading.siValues[i]);
            }
        }
    }
}

void WriteFitted(int blowers, CTextFormat& text) {
    text.Family("ksm7720_blower_fitted", "1 when the lab says the blower is fitted, 0 when not.");
    for (int b = 1; b <= static_cast<int>(kBlowerNames.size()); ++b) {
        text.Sample({{"blower", std::to_string(b)}}, b <= blowers ? 1 : 0);
    }
}

void WriteVerdicts(const ScrapeResult& scrape, CTextFormat& text) {
    text.Family("ksm7720_over_limit", "1 when the mainframe reported the reading beyond its "
                                      "limit, 0 when not.");
    for (const SnapshotReading& reading : scrape.readings) {
        text.Sample({{"quantity", kFamilies[FamilyOf(reading)].quantity},
                     {"object", ResetObjectName(reading.kind, reading.position)}},
                    reading.objectOverLimit == Verdict::True ? 1 : 0);
    }
    text.Family("ksm7720_readings_dropped", "Readings left out because the mainframe reported "
                                            "an error other than a limit excursion after them.");
    text.Sample(scrape.dropped);
    if (!scrape.entries.empty()) {
        text.Family("ksm7720_error_queue_entries", "Entries of each error number drained from "
                                                   "the mainframe's error queue by this scrape.");
        for (const auto& [code, count] : scrape.entries) {
            text.Sample({{"code", std::to_string(code)}}, count);
        }
    }
}

} // namespace

void WriteRackExposition(const ScrapeResult& scrape, const RackLabels& rack, std::ostream& out) {
    MetricLabels common;
    if (rack.rack) {
        common.emplace_back("rack", *rack.rack);
    }
    CTextFormat text(out, common);
    text.Family("ksm7720_up", "1 when this scrape read the mainframe, 0 when it could not.");
    text.Sample(scrape.up ? 1 : 0);
    text.Family("ksm7720_scrape_duration_seconds", "How long this scrape took in seconds.");
    text.Sample(scrape.durationSeconds);
    if (!rack.resource.empty()) {
        MetricLabels info{{"resource", rack.resource}};
        if (!rack.name.empty()) {
            info.emplace_back("name", rack.name);
        }
        text.Family("ksm7720_info", "The rack's VISA resource and the lab's name for it.");
        text.Sample(info, 1);
    }
    if (!scrape.up) {
        return;
    }
    WriteReadings(scrape, text);
    if (rack.blowers) {
        WriteFitted(*rack.blowers, text);
    }
    if (scrape.queueDrained) {
        WriteVerdicts(scrape, text);
    }
}
