#pragma once
// Opens one rack's driver session, with identification and the I/O time-out that bounds
// every later call, and closes it. Only the rack's worker thread uses it.
#include "core/Discovery.h"
#include "exporter/RackLog.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct LibraryNames {
    std::vector<std::string> visa;
    std::vector<std::string> driver;
};

class CSessionOpener {
public:
    // Told of each step of an opening, in words.
    using StepHook = std::function<void(const std::string& step)>;

    CSessionOpener(std::string resource, LibraryNames libraries, int ioTimeOutMs,
                   const CRackLog& log, StepHook step)
        : m_resource(std::move(resource)), m_libraries(std::move(libraries)),
          m_ioTimeOutMs(ioTimeOutMs), m_log(log), m_step(std::move(step)) {}

    // The open session, opened now when there is none; nullptr when it cannot be. listed:
    // the VISA search list the rack came from, in which a resource found to be another
    // instrument is not asked again.
    CDriverInstrument* Session(std::optional<std::uint64_t> listed);
    void Drop(); // closes and forgets the session

private:
    bool Open(std::optional<std::uint64_t> listed);
    void Failed(LogLevel level, std::string_view message, InstrumentStatus status,
                const std::string& reason);

    const std::string m_resource;
    const LibraryNames m_libraries;
    const int m_ioTimeOutMs;
    const CRackLog& m_log;
    const StepHook m_step;
    std::unique_ptr<CDiscovery> m_discovery;
    std::unique_ptr<CDriverInstrument> m_instrument;
    std::optional<std::uint64_t> m_foreignIn; // the search list it was found foreign in
};
