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

} // namespace

static_assert(kFamilyCount == 7); // CRackExposition::kReadingFamilies

CRackExposition::CRackExposition(const RackLabels& rack) : m_labels(rack) {
    MetricLabels common;
    if (rack.rack) {
        common.emplace_back("rack", *rack.rack);
    }
    m_common = CTextFormat::CommonLabels(common);
    const auto series = [&](std::string_view name, const MetricLabels& labels = {}) {
        return CTextFormat::SeriesText(name, m_common, labels);
    };
    m_head = CTextFormat::FamilyLines(
                 "ksm7720_up", "1 when this scrape read the mainframe, 0 when it could not.") +
             series("ksm7720_up");
    m_duration = CTextFormat::FamilyLines("ksm7720_scrape_duration_seconds",
                                          "How long this scrape took in seconds.") +
                 series("ksm7720_scrape_duration_seconds");
    if (!rack.resource.empty()) {
        MetricLabels info{{"resource", rack.resource}};
        if (!rack.name.empty()) {
            info.emplace_back("name", rack.name);
        }
        m_info = CTextFormat::FamilyLines("ksm7720_info",
                                          "The rack's VISA resource and the lab's name for it.") +
                 series("ksm7720_info", info) + "1\n";
    }
    if (rack.blowers) {
        m_fitted = CTextFormat::FamilyLines(
            "ksm7720_blower_fitted", "1 when the lab says the blower is fitted, 0 when not.");
        for (int b = 1; b <= static_cast<int>(kBlowerNames.size()); ++b) {
            m_fitted += series("ksm7720_blower_fitted", {{"blower", std::to_string(b)}}) +
                        (b <= *rack.blowers ? "1\n" : "0\n");
        }
    }
    m_overLimit = CTextFormat::FamilyLines("ksm7720_over_limit",
                                           "1 when the mainframe reported the reading beyond its "
                                           "limit, 0 when not.");
    m_dropped = CTextFormat::FamilyLines("ksm7720_readings_dropped",
                                         "Readings left out because the mainframe reported "
                                         "an error other than a limit excursion after them.") +
                series("ksm7720_readings_dropped");
    m_entries = CTextFormat::FamilyLines("ksm7720_error_queue_entries",
                                         "Entries of each error number drained from "
                                         "the mainframe's error queue by this scrape.");
    for (int f = 0; f < kFamilyCount; ++f) {
        m_families[f] = CTextFormat::FamilyLines(kFamilies[f].name, kFamilies[f].help);
    }
    for (int kind = 0; kind < kQuantityKindCount; ++kind) {
        const int first = kind == BLOWER ? 1 : 0;
        for (int position = first; position < first + ObjectCount(QuantityKind(kind)); ++position) {
            RenderObject(QuantityKind(kind), position);
        }
    }
    constexpr size_t kValueRoom = 72; // three values of up to 24 characters
    m_size = m_head.size() + m_duration.size() + m_info.size() + m_fitted.size() +
             m_overLimit.size() + m_dropped.size() + 64;
    for (int code = 0; code < kCodes; ++code) {
        m_size += m_single[code].size() + m_verdicts[code].size() + kValueRoom;
        for (const std::string& text : m_positions[code]) {
            m_size += text.size();
        }
    }
    for (const std::string& text : m_families) {
        m_size += text.size();
    }
}

void CRackExposition::RenderObject(QuantityKind kind, int position) {
    const int code = *ObjectCodeOf(kind, position);
    SnapshotReading reading{};
    reading.kind = kind;
    reading.position = position;
    reading.count = ReadingValueCount(code);
    const FamilyId family = FamilyOf(reading);
    m_familyOf[code] = family;
    MetricLabels labels = ReadingLabels(reading);
    m_single[code] = CTextFormat::SeriesText(kFamilies[family].name, m_common, labels);
    for (size_t i = 0; i < kReadingPositions.size(); ++i) {
        MetricLabels withPosition = labels;
        withPosition.emplace_back("position", kReadingPositions[i]);
        m_positions[code][i] =
            CTextFormat::SeriesText(kFamilies[family].name, m_common, withPosition);
    }
    m_verdicts[code] = CTextFormat::SeriesText(
        "ksm7720_over_limit", m_common,
        {{"quantity", kFamilies[family].quantity}, {"object", ResetObjectName(kind, position)}});
}

std::string CRackExposition::Text(const ScrapeResult& scrape) const {
    std::string out;
    out.reserve(m_size);
    out += m_head;
    CTextFormat::AppendValue(out, scrape.up ? 1 : 0);
    out += '\n';
    out += m_duration;
    CTextFormat::AppendValue(out, scrape.durationSeconds);
    out += '\n';
    out += m_info;
    if (!scrape.up) {
        return out;
    }
    AppendReadings(scrape, out);
    out += m_fitted;
    if (scrape.queueDrained) {
        AppendVerdicts(scrape, out);
    }
    return out;
}

// Family by family, each reading's values in the scrape's order. A reading of no object
// (none is ever made) is left out.
void CRackExposition::AppendReadings(const ScrapeResult& scrape, std::string& out) const {
    for (int f = 0; f < kFamilyCount; ++f) {
        out += m_families[f];
        for (const SnapshotReading& reading : scrape.readings) {
            const auto code = ObjectCodeOf(reading.kind, reading.position);
            if (!code || m_familyOf[*code] != f) {
                continue;
            }
            for (int i = 0; i < reading.count; ++i) {
                out += reading.count > 1 ? m_positions[*code][i] : m_single[*code];
                CTextFormat::AppendValue(out, reading.siValues[i]);
                out += '\n';
            }
        }
    }
}

void CRackExposition::AppendVerdicts(const ScrapeResult& scrape, std::string& out) const {
    out += m_overLimit;
    for (const SnapshotReading& reading : scrape.readings) {
        if (const auto code = ObjectCodeOf(reading.kind, reading.position)) {
            out += m_verdicts[*code];
            out += reading.objectOverLimit == Verdict::True ? "1\n" : "0\n";
        }
    }
    out += m_dropped;
    CTextFormat::AppendValue(out, scrape.dropped);
    out += '\n';
    if (!scrape.entries.empty()) {
        out += m_entries;
        for (const auto& [code, count] : scrape.entries) {
            out += CTextFormat::SeriesText("ksm7720_error_queue_entries", m_common,
                                           {{"code", std::to_string(code)}});
            CTextFormat::AppendValue(out, count);
            out += '\n';
        }
    }
}

void WriteRackExposition(const ScrapeResult& scrape, const RackLabels& rack, std::ostream& out) {
    out << CRackExposition(rack).Text(scrape);
}
