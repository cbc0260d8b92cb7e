#include "cli/Metrics.h"

#include "cli/Table.h"
#include "core/QuantityNames.h"

namespace {

struct Family {
    const char* name;
    const char* help;
    double divisor; // from the catalogue's unit to the base unit
};

// In catalogue kind order.
constexpr std::array<Family, kQuantityKindCount> kFamilies{{
    {"ksm7720_blower_speed_rpm", "Present blower speed in revolutions per minute.", 1.0},
    {"ksm7720_supply_current_amperes", "Present supply current in amperes.", 1000.0},
    {"ksm7720_supply_power_watts", "Present supply power in watts.", 1000.0},
    {"ksm7720_temperature_celsius", "Present slot sensor temperature in degrees Celsius.", 10.0},
    {"ksm7720_supply_voltage_volts", "Present supply voltage in volts.", 1000.0},
}};

std::string LabelValue(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        if (c == '\\' || c == '"') {
            escaped += '\\';
            escaped += c;
        } else if (c == '\n') {
            escaped += "\\n";
        } else {
            escaped += c;
        }
    }
    return '"' + escaped + '"';
}

void WriteHeader(std::ostream& out, const char* name, const char* help) {
    out << "# HELP " << name << ' ' << help << '\n' << "# TYPE " << name << " gauge\n";
}

} // namespace

LevelScrape ReadAllLevels(CDriverInstrument& instrument) {
    LevelScrape scrape;
    for (int k = 0; k < kQuantityKindCount; ++k) {
        const auto kind = static_cast<QuantityKind>(k);
        const int first = kind == BLOWER ? 1 : 0;
        for (int position = first; position < first + ObjectCount(kind); ++position) {
            const ObjectCode code = *ObjectCodeOf(kind, position);
            const double* levels = nullptr;
            try {
                levels = instrument.GetLevel(code, 0);
            } catch (const CInstrumentException&) {
                if (instrument.GetLastStatus() != INSTRUMENT_ERROR_DETECTED) {
                    throw;
                }
                levels = instrument.LastLevels();
                scrape.errors.emplace_back(instrument.GetErrorText());
            }
            scrape.samples.push_back(
                {kind, position, ReadingValueCount(code), {levels[0], levels[1], levels[2]}});
        }
    }
    return scrape;
}

void WriteExposition(const LevelScrape& scrape, const std::string& rack, std::ostream& out) {
    const std::string rackLabel = "rack=" + LabelValue(rack);
    int lastKind = -1;
    for (const LevelSample& sample : scrape.samples) {
        const Family& family = kFamilies[sample.kind];
        if (sample.kind != lastKind) {
            WriteHeader(out, family.name, family.help);
            lastKind = sample.kind;
        }
        const std::string labels =
            rackLabel + ",kind=" + LabelValue(KindInfo(sample.kind).listKeyword) +
            ",object=" + LabelValue(ObjectName(sample.kind, sample.position));
        for (int i = 0; i < sample.count; ++i) {
            out << family.name << '{' << labels;
            if (sample.count > 1) {
                out << ",position=" << LabelValue(kReadingPositions[i]);
            }
            out << "} " << ExactNumber(sample.values[i] / family.divisor) << '\n';
        }
    }
    const char* errors = "ksm7720_error_queue_entries";
    WriteHeader(out, errors, "Error-queue entries the mainframe reported while it was read.");
    out << errors << '{' << rackLabel << "} " << scrape.errors.size() << '\n';
}
