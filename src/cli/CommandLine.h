#pragma once
// The command line of ksm7720: the switches, the command and its arguments. Nothing here
// touches an instrument; a mistake is a CUsageError.
#include "core/DriverEntryPoints.h"

#include <optional>
#include <string>
#include <vector>

enum class OutputFormat { Text, Csv, Json };

struct Invocation {
    bool help = false;
    bool version = false;
    std::string resource; // after -a; empty: discovery chooses
    bool noIdentification = false;
    OutputFormat format = OutputFormat::Text;
    int timeOutMs = ksm7720::kDriverTimeOut; // as the panel sets it
    std::optional<int> blowers;              // metrics: how many blowers the rack has
    std::string output;                      // metrics: the file to replace; empty: stdout
    std::string name;                        // the lab's name for the rack; may be empty
    std::string command;
    std::vector<std::string> arguments;
};

// A command line that cannot run: the message says what is wrong.
struct CUsageError {
    std::string message;
};

// Reads argv[1..]. Switches stand before the command; --format, --timeout, --blowers,
// --output, --name, --help and --version anywhere; after "--" everything is an argument,
// and after the command so is anything that is not one of those, such as a negative number.
Invocation ParseCommandLine(const std::vector<std::string>& args);

// The usage lines, and the full help text.
const char* UsageText();
std::string HelpText();
