#pragma once
// One rack as every front end reads it: the command line, the exporter and the Python
// module open, read, re-open and describe a rack through it. Opening identifies the rack
// before anything else goes out, within the caller's time-out. One policy for failures: a
// call that fails for anything but the mainframe's own error report closes the session,
// and the next call opens it afresh. One thread at a time: the caller serialises calls.
#include "core/Discovery.h"
#include "core/OpenFailure.h"
#include "core/SnapshotReader.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

struct SessionOptions {
    std::string resource;                    // any case; empty: the one mainframe found
    int timeOutMs = ksm7720::kDriverTimeOut; // of every call, identification's too
    bool acceptAny = false; // choosing: any resource that opens counts, unidentified
};

class CMainframeSession {
public:
    // Told of each step of an opening and of a close, in words.
    using StepHook = std::function<void(const std::string& step)>;

    CMainframeSession(std::vector<std::string> visaNames, std::vector<std::string> driverNames,
                      SessionOptions options, StepHook step = {});
    ~CMainframeSession();
    CMainframeSession(const CMainframeSession&) = delete;
    CMainframeSession& operator=(const CMainframeSession&) = delete;

    // The open mainframe, opened now when there is none; throws COpenFailure.
    CDriverInstrument& Open();
    // reader's snapshot of the mainframe, opened now when there is none. Never throws: a
    // rack that could not be opened or read gives a snapshot that is not up, with why.
    Snapshot Read(const CSnapshotReader& reader);
    // A call on Open()'s instrument failed with status: the policy above.
    void Failed(InstrumentStatus status);
    // Ends the driver's session, where the driver can; the next call opens it afresh.
    void Close();
    bool IsOpen() const { return m_instrument != nullptr; }
    // The resource opened or to be opened: upper case, or as the search chose it.
    const std::string& Resource() const { return m_resource; }
    // Why the last opening could not bound identification by the time-out (the VISA
    // library lacks what that needs, so the driver's own time-out applies); empty when it
    // could.
    const std::string& Warning() const { return m_warning; }

private:
    void Step(const std::string& step) const;
    std::string ChosenResource(const CDiscovery& discovery) const;
    [[noreturn]] void ConnectFailed(const CDiscovery& discovery,
                                    const CDiscovery::Connection& connection) const;

    const std::vector<std::string> m_visaNames;
    const std::vector<std::string> m_driverNames;
    const SessionOptions m_options;
    const StepHook m_step;
    std::string m_resource;
    std::string m_warning;
    std::unique_ptr<CDiscovery> m_discovery;
    std::unique_ptr<CDriverInstrument> m_instrument;
};

// Why discovery could not load its libraries or open the resource manager.
COpenFailure LibraryFailure(const CDiscovery& discovery, DiscoveryFailure failure);
// The lines as one: "a; b", and a line ending in ':' with the list after it,
// "name one of these: A, B".
std::string JoinedLines(const std::vector<std::string>& lines);
