// The order in which the two outside libraries are looked for, from the environment alone.
#include "core/LibrarySearch.h"

#include <gtest/gtest.h>

#include <map>

namespace {

std::vector<std::string> Expand(const std::vector<std::string>& folders,
                                const std::vector<std::string>& names) {
    std::vector<std::string> paths = names;
    for (const std::string& folder : folders) {
        for (const std::string& name : names) {
            paths.push_back(folder + name);
        }
    }
    return paths;
}

} // namespace

// A variable that does not win, an empty one that does, the framework folder skipped or
// searched before the loader, or a path glued together without its slash.
TEST(LibrarySearch, CandidatesFollowTheAgreedOrder) {
    const std::vector<std::string> visa{"libvisa.so", "libvisa.so.7", "libiovisa.so",
                                        "librsvisa.so"};
    const std::vector<std::string> driver{"libksm7720_32.so"};
    const std::string standard = "/usr/local/vxipnp/linux/bin/";
    struct Case {
        std::map<std::string, std::string> environment;
        std::vector<std::string> visa;
        std::vector<std::string> driver;
    };
    const std::vector<Case> cases{
        {{}, Expand({standard}, visa), Expand({standard}, driver)},
        {{{"VXIPNPPATH", "/opt/vxipnp"}},
         Expand({"/opt/vxipnp/linux/bin/", standard}, visa),
         Expand({"/opt/vxipnp/linux/bin/", standard}, driver)},
        {{{"VXIPNPPATH", "/opt/vxipnp/"}, {"KSM7720_DRIVER_LIBRARY", "/lab/libdrv.so"}},
         Expand({"/opt/vxipnp/linux/bin/", standard}, visa),
         {"/lab/libdrv.so"}},
        {{{"VXIPNPPATH", ""}, {"KSM7720_VISA_LIBRARY", "libiovisa.so"}},
         {"libiovisa.so"},
         Expand({standard}, driver)},
        {{{"KSM7720_VISA_LIBRARY", ""}, {"KSM7720_DRIVER_LIBRARY", ""}},
         Expand({standard}, visa),
         Expand({standard}, driver)},
    };
    for (const Case& c : cases) {
        const core::Environment environment = [&](const char* name) -> const char* {
            const auto it = c.environment.find(name);
            return it == c.environment.end() ? nullptr : it->second.c_str();
        };
        EXPECT_EQ(core::VisaLibraryCandidates(environment), c.visa);
        EXPECT_EQ(core::DriverLibraryCandidates(environment), c.driver);
    }
}
