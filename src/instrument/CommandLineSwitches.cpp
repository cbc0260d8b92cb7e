// The panel's command line as it reads it: switches found anywhere, in any case.
#include "instrument/CommandLineSwitches.h"

#include <algorithm>

namespace {

char ToLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
char ToUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

std::string LowerCaseCopy(const QString& commandLine) {
    std::string copy = commandLine.toLocal8Bit().toStdString();
    std::transform(copy.begin(), copy.end(), copy.begin(), ToLower);
    return copy;
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
    std::string name(rest.substr(0, rest.find(' ')));
    std::transform(name.begin(), name.end(), name.begin(), ToUpper);
    return name;
}
