#pragma once
// The steps of one probe as plain text, each with its time from the probe's start: what
// /probe?debug=true answers instead of the exposition.
#include <chrono>
#include <string>

class CRackSession;

class CProbeTrace {
public:
    using Clock = std::chrono::steady_clock;

    explicit CProbeTrace(Clock::time_point start) : m_start(start) {}

    void Step(const std::string& step); // not thread-safe: the rack's session serialises it
    const std::string& Text() const { return m_text; }

private:
    Clock::time_point m_start;
    std::string m_text;
};

// One probe of session by the deadline, its steps and its verdict as text.
std::string TracedProbe(CRackSession& session, const std::string& resource,
                        CProbeTrace::Clock::time_point start,
                        CProbeTrace::Clock::time_point deadline);
