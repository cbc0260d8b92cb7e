#pragma once
// The two options every Linux program answers without starting: --help and --version.
// They are whole arguments, so the panel's own switches, which are found anywhere in the
// command line, never see them.
#include <optional>
#include <string>

// What to print for the first argument (after the program's name) that is exactly
// "--help" or "--version", or nothing when there is none.
std::optional<std::string> InfoOptionText(int argc, const char* const* argv);
