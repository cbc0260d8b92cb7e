#include "cli/Commands.h"

#include "core/QuantityNames.h"
#include "core/SiUnits.h"
#include "core/WallClock.h"

#include <array>
#include <cstdint>
#include <cstdio>

namespace {

constexpr int kHistogramBins = 10;

CommandResult Shown(Table table, int status = 0) {
    return {std::move(table), status, {}};
}

std::string EntryLine(const std::string& text) {
    return "instrument reports error: " + text;
}

// The entry the reading found, a limit excursion, and whatever else the queue holds; any
// entry that is not an excursion makes the reading a failure.
std::vector<std::string> LimitExcursions(CInstrument& instrument, const ErrorEntry& found) {
    std::vector<std::string> lines{EntryLine(found.text)};
    bool onlyExcursions = true;
    for (const auto& [code, text] : ErrorEntries(instrument)) {
        lines.push_back(EntryLine(text));
        onlyExcursions = onlyExcursions && code == kLimitExcursion;
    }
    if (!onlyExcursions) {
        throw CCommandFailure{lines, INSTRUMENT_ERROR_DETECTED};
    }
    return lines;
}

} // namespace

CommandResult ReadLevel(const Request& request, CDriverInstrument& instrument) {
    std::vector<std::string> excursions;
    const double* levels = nullptr;
    try {
        levels = instrument.GetLevel(request.code, 0);
    } catch (const CInstrumentException& failure) {
        if (failure.Status() != INSTRUMENT_ERROR_DETECTED ||
            failure.Entries().front().code != kLimitExcursion) {
            throw;
        }
        excursions = LimitExcursions(instrument, failure.Entries().front());
        levels = instrument.LastLevels();
    }
    const std::string time = Rfc3339(std::chrono::system_clock::now());
    const int count = ReadingValueCount(request.code);
    const QuantityKindInfo& info = KindInfo(request.kind);
    const std::string object = ObjectName(request.kind, request.position);
    const Verdict verdict = excursions.empty() ? Verdict::False : Verdict::True;
    Table table{{"kind", "object", "position", "value", "unit", "si_value", "si_unit",
                 "object_over_limit", "time"},
                {}};
    for (int i = 0; i < count; ++i) {
        table.rows.push_back(
            {TextCell(info.listKeyword), TextCell(object),
             TextCell(count > 1 ? kReadingPositions[i] : ""), NumberCell(levels[i]),
             TextCell(info.unit), NumberCell(ToSi(request.kind, levels[i])),
             TextCell(SiUnitOf(request.kind).symbol), VerdictCell(verdict), TextCell(time)});
    }
    return {std::move(table), excursions.empty() ? 0 : kExitOverLimit, std::move(excursions)};
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
    return Shown(std::move(table));
}

CommandResult TimeUnits(const Request& request, CDriverInstrument& instrument) {
    if (request.timeUnit) {
        instrument.SetTimeUnits(*request.timeUnit);
        return {};
    }
    return Shown(Table{{"time_unit"}, {{TextCell(TimeUnitName(instrument.GetTimeUnits()))}}});
}

// The limit as set, with the unit the mainframe takes it in (that of the readings).
CommandResult SetLimit(const Request& request, CDriverInstrument& instrument) {
    instrument.SetLimit(request.code, request.value);
    const QuantityKindInfo& info = KindInfo(request.kind);
    return Shown(
        Table{{"kind", "object", "limit", "unit"},
              {{TextCell(info.listKeyword), TextCell(ObjectName(request.kind, request.position)),
                NumberCell(request.value), TextCell(info.unit)}}});
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
    return Shown(std::move(table), result == 0 ? 0 : kExitFailure);
}

CommandResult DrainErrors(const Request&, CDriverInstrument& instrument) {
    Table table{{"code", "text"}, {}};
    for (const auto& [code, text] : ErrorEntries(instrument)) {
        table.rows.push_back({NumberCell(code), TextCell(text)});
    }
    return Shown(std::move(table));
}

CommandResult RunAction(CommandAction action, const Request& request,
                        CDriverInstrument& instrument) {
    try {
        return action(request, instrument);
    } catch (const CInstrumentException& failure) {
        throw CCommandFailure{FailureLines(DescribeFailure(instrument, failure)), failure.Status()};
    }
}

std::vector<ErrorEntry> ErrorEntries(CInstrument& instrument) {
    try {
        return DrainErrorQueue(instrument);
    } catch (const CInstrumentException& failure) {
        throw CCommandFailure{FailureLines(DescribeFailure(instrument, failure)), failure.Status()};
    }
}

std::vector<std::string> FailureLines(const FailureDescription& failure) {
    std::vector<std::string> lines;
    for (const ErrorEntry& entry : failure.entries) {
        lines.push_back(EntryLine(entry.text));
    }
    if (failure.status != INSTRUMENT_ERROR_DETECTED) {
        lines.push_back(failure.reason + " (status " + StatusHex(failure.status) + ")");
    }
    if (!failure.unread.empty()) {
        lines.push_back("the rest of the error queue could not be read (" + failure.unread + ")");
    }
    return lines;
}
