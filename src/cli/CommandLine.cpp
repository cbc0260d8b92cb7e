#include "cli/CommandLine.h"

#include "cli/CommandTable.h"

#include "core/ResourceName.h"
#include "core/Text.h"

#include <array>

namespace {

// --interval and --sync from 10 ms to a day, --duration to a year.
constexpr double kLeastInterval = 0.01;
constexpr double kMostInterval = 24 * 3600.0;
constexpr double kMostDuration = 366 * 24 * 3600.0;

OutputFormat FormatByName(const std::string& name) {
    if (name == "text") {
        return OutputFormat::Text;
    }
    if (name == "csv") {
        return OutputFormat::Csv;
    }
    if (name == "json") {
        return OutputFormat::Json;
    }
    if (name == "jsonl") {
        return OutputFormat::JsonLines;
    }
    if (name == "wide") {
        return OutputFormat::Wide;
    }
    throw CUsageError{"unknown format '" + name + "' (text, csv, json, jsonl or wide)"};
}

int TimeOutByText(const std::string& text) {
    const auto value = WholeNumber<int>(text);
    if (!value || *value <= 0) {
        throw CUsageError{"--timeout takes a positive number of milliseconds, not '" + text + "'"};
    }
    return *value;
}

int BlowersByText(const std::string& text) {
    if (text.size() != 1 || text[0] < '1' || text[0] > '3') {
        throw CUsageError{"--blowers takes 1, 2 or 3, not '" + text + "'"};
    }
    return text[0] - '0';
}

ErrorQueueUse QueueUseByName(const std::string& name) {
    if (name == "drain" || name == "leave") {
        return name == "drain" ? ErrorQueueUse::Drain : ErrorQueueUse::Leave;
    }
    throw CUsageError{"--error-queue takes drain or leave, not '" + name + "'"};
}

// "10", "0.5", "250ms", "10s", "5m", "8h" as seconds, from least to most: a number outside
// them (a tiny interval is no clock tick at all) is refused here, not divided by later.
double SecondsByText(const std::string& option, const std::string& text, double least,
                     double most) {
    static constexpr std::array<std::pair<const char*, double>, 4> kUnits{
        {{"ms", 0.001}, {"s", 1.0}, {"m", 60.0}, {"h", 3600.0}}};
    std::string_view number = text;
    double scale = 1.0;
    for (const auto& [suffix, factor] : kUnits) {
        const std::string_view unit = suffix;
        if (number.size() > unit.size() && number.ends_with(unit)) {
            number.remove_suffix(unit.size());
            scale = factor;
            break;
        }
    }
    const auto value = WholeNumber<double>(number);
    if (!value || !(*value * scale >= least) || !(*value * scale <= most)) {
        throw CUsageError{option + " takes a time from " + ExactNumber(least * 1000) + "ms to " +
                          ExactNumber(most / 3600) + "h such as 10, 0.5s, 5m or 8h, not '" + text +
                          "'"};
    }
    return *value * scale;
}

// A name written into every row and into metrics: UTF-8 text without control characters, so
// that a CSV, a JSON document and a Prometheus label carry it whole.
std::string NameByText(const std::string& text) {
    if (!PrintableUtf8(text)) {
        throw CUsageError{"--name takes UTF-8 text without control characters"};
    }
    return text;
}

long CountByText(const std::string& text) {
    const auto value = WholeNumber<long>(text);
    if (!value || *value <= 0) {
        throw CUsageError{"--count takes a positive whole number, not '" + text + "'"};
    }
    return *value;
}

// The value of a long option given as "--name=value" or "--name value".
std::string OptionValue(const std::vector<std::string>& args, std::size_t& i,
                        const std::string& name) {
    const std::string& arg = args[i];
    if (arg.size() > name.size() && arg[name.size()] == '=') {
        return arg.substr(name.size() + 1);
    }
    if (i + 1 >= args.size()) {
        throw CUsageError{name + " needs a value"};
    }
    return args[++i];
}

bool IsLongOption(const std::string& arg, const std::string& name) {
    return arg.compare(0, name.size(), name) == 0 &&
           (arg.size() == name.size() || arg[name.size()] == '=');
}

// The options of snapshot and log; false when args[i] is none of them.
bool TakeLogOption(const std::vector<std::string>& args, std::size_t& i, Invocation& invocation) {
    const std::string& arg = args[i];
    if (IsLongOption(arg, "--error-queue")) {
        invocation.errorQueue = QueueUseByName(OptionValue(args, i, "--error-queue"));
    } else if (IsLongOption(arg, "--interval")) {
        invocation.intervalSeconds = SecondsByText("--interval", OptionValue(args, i, "--interval"),
                                                   kLeastInterval, kMostInterval);
    } else if (IsLongOption(arg, "--count")) {
        invocation.count = CountByText(OptionValue(args, i, "--count"));
    } else if (IsLongOption(arg, "--duration")) {
        invocation.durationSeconds = SecondsByText("--duration", OptionValue(args, i, "--duration"),
                                                   kLeastInterval, kMostDuration);
    } else if (IsLongOption(arg, "--sync")) {
        const std::string every = OptionValue(args, i, "--sync");
        invocation.syncSeconds =
            every == "row" ? 0.0 : SecondsByText("--sync", every, kLeastInterval, kMostInterval);
    } else if (IsLongOption(arg, "--config.file")) {
        invocation.configFile = OptionValue(args, i, "--config.file");
        if (invocation.configFile.empty()) {
            throw CUsageError{"--config.file needs a file name"};
        }
    } else {
        return false;
    }
    return true;
}

// Takes the option at args[i] if it is one; false when it is not an option of ours.
bool TakeOption(const std::vector<std::string>& args, std::size_t& i, Invocation& invocation) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
        invocation.help = true;
    } else if (arg == "--version") {
        invocation.version = true;
    } else if (IsLongOption(arg, "--format")) {
        invocation.format = FormatByName(OptionValue(args, i, "--format"));
        invocation.formatChosen = true;
    } else if (IsLongOption(arg, "--timeout")) {
        invocation.timeOutMs = TimeOutByText(OptionValue(args, i, "--timeout"));
        invocation.timeOutChosen = true;
    } else if (IsLongOption(arg, "--blowers")) {
        invocation.blowers = BlowersByText(OptionValue(args, i, "--blowers"));
    } else if (IsLongOption(arg, "--output")) {
        invocation.output = OptionValue(args, i, "--output");
        if (invocation.output.empty()) {
            throw CUsageError{"--output needs a file name"};
        }
    } else if (IsLongOption(arg, "--name")) {
        invocation.name = NameByText(OptionValue(args, i, "--name"));
    } else {
        return TakeLogOption(args, i, invocation);
    }
    return true;
}

// Two sessions on one rack would drain one error queue, each taking the other's entries:
// a rack named twice, in any spelling of its resource, is refused.
void AddResource(Invocation& invocation, const std::string& resource) {
    const auto canonical = CanonicalResourceName(resource);
    for (const std::string& known : invocation.resources) {
        if (canonical && canonical == CanonicalResourceName(known)) {
            throw CUsageError{"-a " + resource + " names the same rack as -a " + known};
        }
    }
    invocation.resource = resource;
    invocation.resources.push_back(resource);
}

void AddPositional(Invocation& invocation, const std::string& arg) {
    if (invocation.command.empty()) {
        invocation.command = arg;
    } else {
        invocation.arguments.push_back(arg);
    }
}

} // namespace

Invocation ParseCommandLine(const std::vector<std::string>& args) {
    Invocation invocation;
    bool onlyArguments = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool beforeCommand = invocation.command.empty();
        if (!onlyArguments && arg == "--") {
            onlyArguments = true;
        } else if (onlyArguments || !TakeOption(args, i, invocation)) {
            // -a and -n anywhere, as the long options: "log --count 1 -a X" names a rack.
            const bool shortSwitch = !onlyArguments && (arg == "-a" || arg == "-n");
            if (!shortSwitch && (onlyArguments || !beforeCommand || arg.empty() || arg[0] != '-')) {
                AddPositional(invocation, arg);
            } else if (arg == "-a" && i + 1 < args.size() && !args[i + 1].empty()) {
                AddResource(invocation, args[++i]);
            } else if (arg == "-n") {
                invocation.noIdentification = true;
            } else {
                throw CUsageError{arg == "-a" ? "-a needs a resource name"
                                              : "unknown option '" + arg + "'"};
            }
        }
    }
    if (invocation.command.empty() && !invocation.help && !invocation.version) {
        throw CUsageError{"no command given"};
    }
    return invocation;
}

const char* UsageText() {
    return "Usage: ksm7720 [-a RESOURCE] [-n] [--timeout MS] COMMAND [ARGUMENT...]"
           " [--format text|csv|json|jsonl|wide]\n"
           "       ksm7720 --help | --version\n";
}

std::string HelpText() {
    return "The KS M7720 mainframe from the command line.\n"
           "\n"
           "Commands:\n" +
           CommandHelp() +
           "\n"
           "KIND is BLOWER, CURRENT, POWER, TEMPERATURE (or TEMP) or VOLT; NAME as the panel "
           "lists\n"
           "it (BLOWER1, P5, OUT3, DELT0, AMBIENT, ...), in any case. The VALUE of limit is\n"
           "in the unit that read prints for the kind: RPM (BLOWER), mA (CURRENT), mW (POWER),\n"
           "tenths of a degree Celsius (TEMPERATURE: 550 is 55.0 degrees), mV (VOLT).\n"
           "\n"
           "Options:\n"
           "  -a RESOURCE     connect to this VISA resource instead of searching\n"
           "  -n              accept every resource that answers (then the choice is never clear)\n"
           "  --timeout MS    the driver's I/O time-out (default 12000; log: half the interval,\n"
           "                  from 1000 to 12000)\n"
           "  --format F      text (the default; csv for log), csv, json or jsonl;\n"
           "                  snapshot, log: wide (CSV, one row per snapshot of a rack)\n"
           "  --blowers N     metrics: the rack has blowers 1..N fitted (ksm7720_blower_fitted)\n"
           "  --output FILE   metrics: replace FILE whole (new file renamed over it), not stdout;\n"
           "                  log: append to FILE (a regular file, or a new one)\n"
           "  --name NAME     metrics, snapshot, log: the lab's name for the rack (ksm7720_info's\n"
           "                  name label; written with the rows of snapshot and log)\n"
           "  --error-queue Q snapshot, log: drain (default; judges each reading) or leave\n"
           "  --interval T    log: time between snapshots (default 10s; 10ms to 24h)\n"
           "  --count N       log: stop after N rows (snapshots or BUSY) of each rack\n"
           "  --duration T    log: stop after T\n"
           "  --sync S        log: fsync the output every row (default) or at most every S\n"
           "  --config.file F log: the racks of the exporter's rack list (-a may be repeated)\n"
           "  --help, --version\n"
           "\n"
           "Environment: KSM7720_VISA_LIBRARY, KSM7720_DRIVER_LIBRARY, VXIPNPPATH.\n"
           "Exit status: 0 success, 1 instrument or library failure, 2 usage error,\n"
           "3 read, and the mainframe reports the value over its limit.\n"
           "Times are UTC (RFC 3339, milliseconds); numbers are written in the C locale.\n"
           "See ksm7720(1).\n";
}
