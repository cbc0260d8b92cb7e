#pragma once
// The panel's side of discovery: how it reads its command line and names the instrument.
// The rules it shares with the command-line program live in core/Discovery.h.
#include <QString>

#include "core/Discovery.h"

#include <string>
#include <string_view>

// The command line with its ASCII letters in lower case, as the switches are looked for.
std::string LowerCaseCopy(const QString& commandLine);
// True when the lower-case command line holds "/x" or "-x" anywhere, also inside a word.
bool HasSwitch(std::string_view lowerCommandLine, char letter);
// The resource name after "/a" (or "-a" when there is no "/a"): blanks skipped, up to the
// next blank or the end, in upper case. Empty when nothing follows.
std::string DirectResourceName(std::string_view lowerCommandLine);
// The name the panel shows for a resource: upper case, without its "::INSTR" ending.
QString InstrumentNameFromResource(std::string_view resourceName);
