#pragma once
// The command line of ksm7720: the switches, the command and its arguments. Nothing here
// touches an instrument; a mistake is a CUsageError.
#include "core/DriverEntryPoints.h"
#include "core/Error.h"
#include "core/ErrorQueueUse.h"

#include <optional>
#include <string>
#include <vector>

// Wide: snapshot and log's CSV with one row per snapshot of a rack (WideFormat.h).
enum class OutputFormat { Text, Csv, Json, JsonLines, Wide };

struct Invocation {
    bool help = false;
    bool version = false;
    std::string resource;               // after -a (the last one); empty: discovery chooses
    std::vector<std::string> resources; // log: every -a, in order
    bool noIdentification = false;
    OutputFormat format = OutputFormat::Text;
    bool formatChosen = false;               // --format was given (log writes CSV unless told)
    int timeOutMs = ksm7720::kDriverTimeOut; // as the panel sets it
    bool timeOutChosen = false;              // --timeout was given (log fits it to --interval)
    std::optional<int> blowers;              // metrics: how many blowers the rack has
    std::string output;                      // metrics: the file to replace; empty: stdout
                                             // log: the file to append to
    std::string name;                        // the lab's name for the rack; may be empty
    ErrorQueueUse errorQueue = ErrorQueueUse::Drain; // snapshot, log
    double intervalSeconds = 10.0;                   // log: between snapshots
    std::optional<long> count;                       // log: snapshots per rack, then stop
    std::optional<double> durationSeconds;           // log: how long to run
    double syncSeconds = 0.0;                        // log: fsync at most this often; 0: every row
    std::string configFile;                          // log: the exporter's rack list
    std::string command;
    std::vector<std::string> arguments;
};

// A command line that cannot run: the message says what is wrong.
struct CUsageError : CError {
    explicit CUsageError(std::string text) : CError(text), message(std::move(text)) {}

    std::string message;
};

// Reads argv[1..]. The switches (-a, -n, the long options) anywhere; after "--" everything
// is an argument, and after the command so is anything that is not one of those, such as a
// negative number.
Invocation ParseCommandLine(const std::vector<std::string>& args);

// The usage lines, and the full help text.
const char* UsageText();
std::string HelpText();
