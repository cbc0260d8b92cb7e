#pragma once
// Discovery without a screen, so the panel, ksm7720 and the exporter open racks alike; what
// to show the user is the caller's business. The search, probe and choice it uses are
// included for its callers.
#include "core/Candidates.h"
#include "core/ConnectOptions.h"
#include "core/DriverInstrument.h"
#include "core/Library.h"
#include "core/ResourceName.h"
#include "core/ResourceSearch.h"
#include "core/VisaEntryPoints.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

enum class DiscoveryFailure {
    NoVisaLibrary,   // none loads, or the one that does lacks a function discovery calls
    NoDriverLibrary, // none loads
    ResourceManager, // the default resource manager did not open
    InitFailed,      // the driver could not open the resource
    BadDriver,       // the driver lacks an entry point
};

class CDiscovery;
// Why Open failed: what is missing with every library name tried, then the loader's reason
// for each library that is there but did not load (absent ones say nothing).
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
        // identify with openTimeOutMs asked for, but the VISA library lacks viSetAttribute, so
        // only the driver's own time-out bounded the identification
        bool identificationUnbounded = false;
    };
    // Opens the resource with the driver, sets its time-out and builds the instrument,
    // which owns the driver library from then on; a session the instrument cannot be built
    // on is closed with the driver's close function where there is one. Only once, after a
    // successful Open.
    Connection Connect(const std::string& resourceName, const ConnectOptions& options = {});

    // Words for a status of a failed opening, which no driver session can be asked about:
    // a driver status's name, else VISA's description; empty when neither knows it.
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
