#pragma once

#include <string>
#include <string_view>
#include <vector>

// One command of a program message: its header (without the trailing '?'), whether it is a
// query, and its parameters, already unquoted.
struct ScpiCommand {
    std::string header;
    bool query = false;
    std::vector<std::string> args;
};

// Splits one line of SCPI (commands separated by ';') into commands. Parameters are separated
// by ','; a quoted parameter ("..." or '...') may hold separators and doubles its own quote
// to escape it. Header paths are absolute: each command names its whole path.
class CScpiParser {
public:
    // Returns 0 and fills `commands`, or a negative SCPI error number ("Syntax error" and
    // its kin) for a line that cannot be split.
    static int Parse(std::string_view line, std::vector<ScpiCommand>& commands);

    // True when `header` spells `pattern` in its long or short form, in any case. The pattern
    // writes each node with its short form in capitals ("MEASure:LEVel"); a node in brackets
    // is optional ("SYSTem:ERRor[:NEXT]").
    static bool Matches(std::string_view pattern, std::string_view header);

    // Quotes `text` as an SCPI string: "..." with every '"' doubled.
    static std::string Quote(std::string_view text);
};
