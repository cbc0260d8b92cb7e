#include "cli/Request.h"

#include "cli/CommandTable.h"
#include "core/InstrumentStatus.h"
#include "core/QuantityNames.h"
#include "core/TimeUnits.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace {

double LimitValue(const std::string& text) {
    // WholeNumber takes no plus sign; a script's "+5" is still the number 5.
    const bool plus = text.size() > 1 && text[0] == '+' && text[1] != '-';
    const auto value = WholeNumber<double>(std::string_view(text).substr(plus ? 1 : 0));
    if (!value || !std::isfinite(*value)) {
        throw CUsageError{"VALUE must be a number, not '" + text + "'"};
    }
    return *value;
}

int TimeUnitNumber(const std::string& name) {
    const auto units = TimeUnitByName(name);
    if (!units) {
        throw CUsageError{"unknown time unit '" + name + "' (hours, minutes or seconds)"};
    }
    return *units;
}

} // namespace

// Kind and object from the first two arguments.
void ReadObject(const std::vector<std::string>& arguments, Request& request) {
    const auto kind = KindByName(arguments[0]);
    if (!kind) {
        throw CUsageError{"unknown KIND '" + arguments[0] +
                          "' (BLOWER, CURRENT, POWER, TEMPERATURE or VOLT)"};
    }
    const auto position = ObjectPositionByName(*kind, arguments[1]);
    if (!position) {
        throw CUsageError{"no " + std::string(KindInfo(*kind).listKeyword) + " object named '" +
                          arguments[1] + "'"};
    }
    request.kind = *kind;
    request.position = *position;
    request.code = *ObjectCodeOf(*kind, *position);
}

void ReadLimit(const std::vector<std::string>& arguments, Request& request) {
    ReadObject(arguments, request);
    request.value = LimitValue(arguments[2]);
}

void ReadTimeUnit(const std::vector<std::string>& arguments, Request& request) {
    if (!arguments.empty()) {
        request.timeUnit = TimeUnitNumber(arguments[0]);
    }
}

void ReadMessage(const std::vector<std::string>& arguments, Request& request) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        request.text += (i > 0 ? " " : "") + arguments[i];
    }
}

// "all" and "queue" stand alone; anything else is KIND NAME.
void ReadResetTarget(const std::vector<std::string>& arguments, Request& request) {
    const std::string first = AsciiUpper(arguments[0]);
    if (arguments.size() == 1 && (first == "ALL" || first == "QUEUE")) {
        request.resetKeyword = first == "ALL" ? "ALL" : "Q";
        return;
    }
    if (arguments.size() != 2) {
        throw CUsageError{"reset-history takes KIND NAME, all or queue"};
    }
    ReadObject(arguments, request);
    request.resetKeyword = KindInfo(request.kind).resetKeyword;
    request.resetName = ResetObjectName(request.kind, request.position);
}

Request CheckRequest(const Invocation& invocation) {
    const CommandEntry* entry = FindCommand(invocation.command);
    if (entry == nullptr) {
        throw CUsageError{"unknown command '" + invocation.command + "'"};
    }
    const std::size_t count = invocation.arguments.size();
    if (count < entry->minArguments || count > entry->maxArguments) {
        throw CUsageError{"wrong number of arguments for '" + invocation.command + "'"};
    }
    if (entry->ownFormat != nullptr && invocation.format != OutputFormat::Text) {
        throw CUsageError{std::string(entry->name) + " writes only " + entry->ownFormat};
    }
    Request request;
    request.entry = entry;
    if (entry->readArguments != nullptr) {
        entry->readArguments(invocation.arguments, request);
    }
    if (invocation.blowers && std::string(entry->name) != "metrics") {
        throw CUsageError{"--blowers belongs to metrics"};
    }
    if (!invocation.output.empty() && std::string(entry->name) != "metrics") {
        throw CUsageError{"--output belongs to metrics"};
    }
    return request;
}
