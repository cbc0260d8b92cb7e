#include "core/LibrarySearch.h"

#include <array>
#include <cstdlib>

namespace core {

namespace {

// The names VISA implementations for Linux install their library under.
constexpr std::array<const char*, 4> kVisaNames{"libvisa.so", "libvisa.so.7", "libiovisa.so",
                                                "librsvisa.so"};
constexpr const char* kDriverName = "libksm7720_32.so";

// The framework's linux/bin folders to look in after the loader, each ending in '/'.
std::vector<std::string> FrameworkFolders(const Environment& environment) {
    std::vector<std::string> folders;
    const char* framework = environment(kFrameworkVariable);
    if (framework != nullptr && *framework != '\0') {
        std::string folder = framework;
        if (folder.back() != '/') {
            folder += '/';
        }
        folders.push_back(folder + "linux/bin/");
    }
    folders.push_back(std::string(kFrameworkFolder) + "/linux/bin/");
    return folders;
}

template <class Names>
std::vector<std::string> Candidates(const Environment& environment, const char* variable,
                                    const Names& names) {
    const char* named = environment(variable);
    if (named != nullptr && *named != '\0') {
        return {named};
    }
    std::vector<std::string> candidates(std::begin(names), std::end(names));
    for (const std::string& folder : FrameworkFolders(environment)) {
        for (const char* name : names) {
            candidates.push_back(folder + name);
        }
    }
    return candidates;
}

} // namespace

const char* ProcessEnvironment(const char* name) {
    return std::getenv(name);
}

std::vector<std::string> VisaLibraryCandidates(const Environment& environment) {
    return Candidates(environment, kVisaLibraryVariable, kVisaNames);
}

std::vector<std::string> DriverLibraryCandidates(const Environment& environment) {
    return Candidates(environment, kDriverLibraryVariable, std::array<const char*, 1>{kDriverName});
}

} // namespace core
