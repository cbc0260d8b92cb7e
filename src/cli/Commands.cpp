#include "cli/Commands.h"

#include "core/QuantityNames.h"

#include <array>
#include <cstdint>
#include <cstdio>

namespace {

// More than the mainframe's queue holds: a queue that never empties cannot keep us.
constexpr std::size_t kMaxErrorEntries = 100;
constexpr int kHistogramBins = 10;

} // namespace

CommandResult ReadLevel(const Request& request, CDriverInstrument& instrument) {
    const double* levels = instrument.GetLevel(request.code, 0);
    const int count = ReadingValueCount(request.code);
    const QuantityKindInfo& info = KindInfo(request.kind);
    const std::string object = ObjectName(request.kind, request.position);
    Table table{{"kind", "object", "position", "value", "unit"}, {}};
    for (int i = 0; i < count; ++i) {
        table.rows.push_back({TextCell(info.listKeyword), TextCell(object),
                              TextCell(count > 1 ? kReadingPositions[i] : ""), NumberCell(levels[i]),
                              TextCell(info.unit)});
    }
    return {std::move(table)};
}

// The three parts of the histogram, each copied before the next call refills the buffer.
CommandResult ReadHistogram(const Request& request, CDriverInstrument& instrument) {
    std::array<std::array<std::int32_t, kHistogramBins>, 3> parts{};
    for (short part = 0; part < 3; ++part) {
        const std::int32_t* values =
            instrument.GetHistogram(static_cast<short>(request.code), part);
        std::copy(values, values + kHistogramBins, parts[part].begin());
    }
    const std::string timeUnit = TimeUnitName(instrument.GetTimeUnits());
    const QuantityKindInfo& info = KindInfo(request.kind);
    const std::string object = ObjectName(request.kind, request.position);
    Table table{{"kind", "object", "bin", "lower", "upper", "count", "unit", "time_unit"}, {}};
    for (int bin = 0; bin < kHistogramBins; ++bin) {
        table.rows.push_back({TextCell(info.listKeyword), TextCell(object), NumberCell(bin + 1),
                              NumberCell(parts[1][bin]), NumberCell(parts[2][bin]),
                              NumberCell(parts[0][bin]), TextCell(info.unit), TextCell(timeUnit)});
    }
    return {std::move(table)};
}

CommandResult TimeUnits(const Request& request, CDriverInstrument& instrument) {
    if (request.timeUnit) {
        instrument.SetTimeUnits(*request.timeUnit);
        return {};
    }
    return {Table{{"time_unit"}, {{TextCell(TimeUnitName(instrument.GetTimeUnits()))}}}};
}

CommandResult SetLimit(const Request& request, CDriverInstrument& instrument) {
    instrument.SetLimit(request.code, request.value);
    return {};
}

CommandResult SaveSettings(const Request&, CDriverInstrument& instrument) {
    instrument.SaveSettings();
    return {};
}

CommandResult ShowMessage(const Request& request, CDriverInstrument& instrument) {
    instrument.SetMessage(request.text.c_str());
    return {};
}

CommandResult ResetHistory(const Request& request, CDriverInstrument& instrument) {
    instrument.ResetHistory(request.resetKeyword.c_str(), request.resetName.c_str());
    return {};
}

CommandResult ResetMainframe(const Request&, CDriverInstrument& instrument) {
    instrument.Reset();
    return {};
}

CommandResult RunSelfTest(const Request&, CDriverInstrument& instrument) {
    int result = 0;
    const char* text = instrument.SelfTest(&result);
    Table table{{"result", "text"}, {{NumberCell(result), TextCell(text != nullptr ? text : "")}}};
    return {std::move(table), result == 0 ? 0 : kExitFailure};
}

CommandResult DrainErrors(const Request&, CDriverInstrument& instrument) {
    Table table{{"code", "text"}, {}};
    for (const auto& [code, text] : DrainErrorQueue(instrument, kMaxErrorEntries)) {
        table.rows.push_back({NumberCell(code), TextCell(text)});
    }
    return {std::move(table)};
}

CommandResult RunAction(CommandAction action, const Request& request,
                        CDriverInstrument& instrument) {
    try {
        return action(request, instrument);
    } catch (const CInstrumentException&) {
        throw CCommandFailure{FailureLines(instrument)};
    }
}

std::string StatusHex(InstrumentStatus status) {
    std::array<char, 16> text{};
    std::snprintf(text.data(), text.size(), "0x%08X", static_cast<unsigned>(status));
    return text.data();
}

std::vector<std::pair<int, std::string>> DrainErrorQueue(CInstrument& instrument,
                                                         std::size_t limit) {
    std::vector<std::pair<int, std::string>> entries;
    while (entries.size() < limit) {
        int code = 0;
        const char* text = instrument.QueryError(&code);
        if (text == nullptr) {
            throw CCommandFailure{{"the error queue could not be read"}};
        }
        if (code == 0) {
            break;
        }
        entries.emplace_back(code, text);
    }
    return entries;
}

std::vector<std::string> FailureLines(CInstrument& instrument) {
    const InstrumentStatus status = instrument.GetLastStatus();
    if (status == INSTRUMENT_ERROR_DETECTED) {
        // The entry the failing call found, then whatever else the queue holds.
        std::vector<std::string> lines{std::string("instrument reports error: ") +
                                       instrument.GetErrorText()};
        try {
            for (const auto& entry : DrainErrorQueue(instrument, kMaxErrorEntries)) {
                lines.push_back("instrument reports error: " + entry.second);
            }
        } catch (const CCommandFailure& failure) {
            lines.insert(lines.end(), failure.lines.begin(), failure.lines.end());
        }
        return lines;
    }
    const char* text = instrument.GetStatusText(status);
    return {std::string(text != nullptr ? text : "the instrument call failed") + " (status " +
            StatusHex(status) + ")"};
}
