#pragma once
// One rack's core session as the exporter opens it: with identification and the I/O
// time-out that bounds every later call, each failure to open logged, and a resource found
// to be another instrument not asked again while the search list stays the same. Only the
// rack's worker thread uses it.
#include "core/MainframeSession.h"
#include "exporter/RackLog.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct LibraryNames {
    std::vector<std::string> visa;
    std::vector<std::string> driver;
};

class CSessionOpener {
public:
    using StepHook = CMainframeSession::StepHook;

    CSessionOpener(std::string resource, LibraryNames libraries, int ioTimeOutMs,
                   const CRackLog& log, const StepHook& step)
        : m_log(log), m_step(step),
          m_session(std::move(libraries.visa), std::move(libraries.driver),
                    {std::move(resource), ioTimeOutMs}, step) {}

    // The open session, opened now when there is none; nullptr when it cannot be. listed:
    // the VISA search list the rack came from, in which a resource found to be another
    // instrument is not asked again.
    CMainframeSession* Session(std::optional<std::uint64_t> listed);
    void Drop() { m_session.Close(); }

private:
    void Failed(const COpenFailure& failure);

    const CRackLog& m_log;
    const StepHook m_step;
    CMainframeSession m_session;
    std::optional<std::uint64_t> m_foreignIn; // the search list it was found foreign in
};
