#pragma once
// The rules by which discovery reads its command line, names the instrument, identifies a
// resource and chooses among candidates: pure functions, apart from the instrument calls.
#include <QString>

#include "instrument/VisaEntryPoints.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The command line with its ASCII letters in lower case, as the switches are looked for.
std::string LowerCaseCopy(const QString& commandLine);
// True when the lower-case command line holds "/x" or "-x" anywhere, also inside a word.
bool HasSwitch(std::string_view lowerCommandLine, char letter);
// The resource name after "/a" (or "-a" when there is no "/a"): blanks skipped, up to the
// next blank or the end, in upper case. Empty when nothing follows.
std::string DirectResourceName(std::string_view lowerCommandLine);
// The name the panel shows for a resource: upper case, without its "::INSTR" ending.
QString InstrumentNameFromResource(std::string_view resourceName);
// True when the received reply to "*IDN?" begins with the whole prefix, byte for byte.
bool IdentificationMatches(const unsigned char* reply, std::size_t received,
                           std::string_view prefix);
// The candidate to connect without asking, or -1 when the operator must choose.
int AutomaticChoice(const std::vector<std::string>& candidates, bool noIdentification);
// Searches "?*INSTR" and probes every match; the descriptors of the accepted ones in
// search order, or nothing when the search itself failed.
std::optional<std::vector<std::string>> FindCandidates(const visa::VisaEntryPoints& vi,
                                                       visa::ViSession rm, bool acceptAny);
