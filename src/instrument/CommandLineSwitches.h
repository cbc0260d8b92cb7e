#pragma once
// How the panel reads its command line: "/a NAME" or "-a NAME", "/n", "/r", in any case.
#include <QString>

#include <string>
#include <string_view>

// The command line with its ASCII letters in lower case, as the switches are looked for.
std::string LowerCaseCopy(const QString& commandLine);
// True when the lower-case command line holds "/x" or "-x" anywhere, also inside a word.
bool HasSwitch(std::string_view lowerCommandLine, char letter);
// The resource name after "/a" (or "-a" when there is no "/a"): blanks skipped, up to the
// next blank or the end, in upper case. Empty when nothing follows.
std::string DirectResourceName(std::string_view lowerCommandLine);
