#pragma once
// Discovery without a screen: the two outside libraries, the probe of each VISA resource,
// the identification, the automatic choice, and the connection through the driver library.
// Every road ends in a driver-backed instrument or in the reason why not; what to show the
// user is the caller's business.
#include "core/ConnectOptions.h"
#include "core/DriverInstrument.h"
#include "core/Library.h"
#include "core/VisaEntryPoints.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What a GPIB mainframe's "*IDN?" answer begins with.
constexpr const char* kIdnPrefix = "KORVALD-SYSTEMS,M772";

// True when the received reply to "*IDN?" begins with the whole prefix, byte for byte.
bool IdentificationMatches(const unsigned char* reply, std::size_t received,
                           std::string_view prefix);
// The candidate to connect without asking, or -1 when the user must choose.
int AutomaticChoice(const std::vector<std::string>& candidates, bool noIdentification);
// The name shown for a resource: upper case, without its "::INSTR" ending.
std::string InstrumentName(std::string_view resourceName);

// The descriptors that match "?*INSTR", in search order, without opening any of them;
// nothing when the search itself failed.
std::optional<std::vector<std::string>> FindResources(const visa::VisaEntryPoints& vi,
                                                      visa::ViSession rm);

// One resource of the search as the probe found it.
struct ResourceProbe {
    std::string descriptor;
    std::optional<visa::ViUInt16> interfaceType; // nothing when it did not open cleanly
    bool mainframe = false;                      // identified as a mainframe
};
// Searches "?*INSTR" and probes every match in search order; nothing when the search
// itself failed. Without identify no resource is queried: only its interface is read.
std::optional<std::vector<ResourceProbe>> ProbeResources(const visa::VisaEntryPoints& vi,
                                                         visa::ViSession rm, bool identify);
// The descriptors of the accepted resources in search order (every one that opens and has
// an interface with acceptAny, the identified mainframes otherwise); nothing when the
// search itself failed.
std::optional<std::vector<std::string>> FindCandidates(const visa::VisaEntryPoints& vi,
                                                       visa::ViSession rm, bool acceptAny);
// The descriptors of the probed resources that FindCandidates accepts.
std::vector<std::string> AcceptedCandidates(const std::vector<ResourceProbe>& probes,
                                            bool acceptAny);

enum class DiscoveryFailure {
    NoVisaLibrary,   // none loads, or the one that does lacks a function discovery calls
    NoDriverLibrary, // none loads
    ResourceManager, // the default resource manager did not open
    InitFailed,      // the driver could not open the resource
    BadDriver,       // the driver lacks an entry point
};

class CDiscovery;
// Why Open failed, in words: the first line says what is missing with every library name
// tried, in order; each further line is the loader's reason for a library that is there but
// did not load (a wrong architecture, a damaged file, a missing dependency, no descriptor
// left); absent ones say nothing.
std::vector<std::string> OpenFailureLines(const CDiscovery& discovery, DiscoveryFailure failure);

// One discovery: the libraries and the resource manager it holds are released when it
// ends, except the driver library that a connection hands to its instrument.
class CDiscovery {
public:
    // The library names to try in order, as the library search gives them. No driver
    // names: no driver is loaded, which is enough to probe the resources.
    CDiscovery(std::vector<std::string> visaNames, std::vector<std::string> driverNames);
    ~CDiscovery();
    CDiscovery(const CDiscovery&) = delete;
    CDiscovery& operator=(const CDiscovery&) = delete;

    // Loads the VISA library, then the driver library, and opens the resource manager.
    std::optional<DiscoveryFailure> Open();
    const visa::VisaEntryPoints& Visa() const { return m_vi; }
    // The library names given, in the order tried.
    const std::vector<std::string>& VisaNames() const { return m_visaNames; }
    const std::vector<std::string>& DriverNames() const { return m_driverNames; }
    // The loader's reasons for the candidates that did not load, in the order tried.
    const std::vector<std::string>& LoadErrors() const { return m_loadErrors; }
    visa::ViSession ResourceManager() const { return m_rm; }

    struct Connection {
        std::unique_ptr<CDriverInstrument> instrument; // set on success
        DiscoveryFailure failure = DiscoveryFailure::InitFailed;
        visa::ViStatus status = 0;        // the driver's answer to its opening call
        visa::ViStatus timeOutStatus = 0; // its answer to the time-out (the panel ignores it)
    };
    // Opens the resource with the driver, sets its time-out and builds the instrument,
    // which owns the driver library from then on; a session the instrument cannot be built
    // on is closed with the driver's close function where there is one. Only once, after a
    // successful Open.
    Connection Connect(const std::string& resourceName, const ConnectOptions& options = {});

    // Words for a status that no driver session can be asked about (a failed opening):
    // the name of a driver status of the VXIplug&play convention, or the VISA library's
    // description on the resource manager's session; empty when neither knows it. Asks the
    // driver nothing.
    std::string StatusText(visa::ViStatus status) const;

private:
    std::vector<std::string> m_visaNames;
    std::vector<std::string> m_driverNames;
    std::vector<std::string> m_loadErrors;
    platform::LibraryHandle m_visaLibrary = nullptr;
    platform::LibraryHandle m_driverLibrary = nullptr;
    visa::VisaEntryPoints m_vi;
    visa::ViSession m_rm = 0;
    bool m_rmOpen = false;
};
