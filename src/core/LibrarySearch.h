#pragma once
// Where the two outside libraries are looked for. An environment variable that names a
// library wins outright; otherwise the usual names go through the loader's own search,
// then into the VXIplug&play framework's linux/bin folder (VXIPNPPATH's, then the
// standard one). The lists are pure functions of the environment; CDiscovery loads the
// first candidate that loads.
#include <functional>
#include <string>
#include <vector>

namespace core {

// Reads one environment variable: its value, or nullptr when it is not set.
using Environment = std::function<const char*(const char*)>;
// The process's own environment.
const char* ProcessEnvironment(const char* name);

constexpr const char* kVisaLibraryVariable = "KSM7720_VISA_LIBRARY";
constexpr const char* kDriverLibraryVariable = "KSM7720_DRIVER_LIBRARY";
constexpr const char* kFrameworkVariable = "VXIPNPPATH";
constexpr const char* kFrameworkFolder = "/usr/local/vxipnp";

// The names to try for the VISA library, in order.
std::vector<std::string> VisaLibraryCandidates(const Environment& environment);
// The names to try for the mainframe's driver library, in order.
std::vector<std::string> DriverLibraryCandidates(const Environment& environment);

} // namespace core
