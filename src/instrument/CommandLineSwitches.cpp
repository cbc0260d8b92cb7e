// The panel's command line as it reads it: switches found anywhere, in any case.
#include "instrument/CommandLineSwitches.h"

#include "core/Text.h"

#include <algorithm>

std::string LowerCaseCopy(const QString& commandLine) {
    return AsciiLower(commandLine.toLocal8Bit().toStdString());
}

bool HasSwitch(std::string_view lowerCommandLine, char letter) {
    const char slash[] = {'/', letter, '\0'};
    const char dash[] = {'-', letter, '\0'};
    return lowerCommandLine.find(slash) != std::string_view::npos ||
           lowerCommandLine.find(dash) != std::string_view::npos;
}

std::string DirectResourceName(std::string_view lowerCommandLine) {
    std::size_t at = lowerCommandLine.find("/a");
    if (at == std::string_view::npos) {
        at = lowerCommandLine.find("-a");
    }
    if (at == std::string_view::npos) {
        return {};
    }
    std::string_view rest = lowerCommandLine.substr(at + 2);
    rest.remove_prefix(std::min(rest.find_first_not_of(' '), rest.size()));
    return AsciiUpper(rest.substr(0, rest.find(' ')));
}
