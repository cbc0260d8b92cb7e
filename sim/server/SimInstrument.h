#pragma once

#include "common/ScpiParser.h"
#include "server/ErrorQueue.h"
#include "server/SimClock.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

// What an instrument does with one line it received.
struct SimResponse {
    std::optional<std::string> reply; // one line to send back, without its newline
    bool dropAll = false;             // close every connection of the simulator
};

// The part every simulated instrument shares: the SCPI line handling, the common commands
// (*IDN?, *RST, *CLS, *OPC?, *TST?, SYSTem:ERRor?) with the error queue, and the test-only
// SIMulate commands that inject faults. A known query always answers one reply, even when
// its parameters are wrong (then with a neutral value and an error entry), so a client
// never waits for an answer that will not come; an unknown header gives -113 and no reply.
class CSimInstrument {
public:
    explicit CSimInstrument(CSimClock& clock) : m_clock(clock) {}
    virtual ~CSimInstrument() = default;

    SimResponse Execute(std::string_view line);
    // The connection sent more than a line may hold: the line is lost.
    void ReportOverrun() { m_errors.Push(-363); }
    // Puts the non-volatile settings, present and saved, back to the factory's.
    virtual void RestoreFactory() {}

protected:
    // Runs one command the base does not know; false for an undefined header.
    virtual bool ExecuteCommand(const ScpiCommand& cmd, std::string& reply, bool& replied) = 0;
    virtual std::string Identity() const = 0;
    virtual void Reset() {}
    virtual int SelfTest(std::string& text);
    // A silent instrument drops everything but the SIMulate commands.
    virtual bool Silent() const { return false; }

    // Reads parameter `i` as an integer in [min, max]; on failure queues the error
    // (-109 missing, -104 not a number, -222 out of range) and returns false.
    bool IntArg(const ScpiCommand& cmd, size_t i, long min, long max, long& out);
    bool RealArg(const ScpiCommand& cmd, size_t i, double& out);
    bool RealInRange(const ScpiCommand& cmd, size_t i, double min, double max, double& out);
    // Queues -108 when the command has more than `count` parameters.
    bool NoMoreArgs(const ScpiCommand& cmd, size_t count);

    CSimClock& m_clock;
    CErrorQueue m_errors;

private:
    using Clock = std::chrono::steady_clock;

    bool Hung() const;
    void Dispatch(const ScpiCommand& cmd, std::string& reply, bool& replied, SimResponse& r);
    bool ExecuteCommon(const ScpiCommand& cmd, std::string& reply, bool& replied);
    bool ExecuteSimulate(const ScpiCommand& cmd, std::string& reply, bool& replied, SimResponse& r);

    bool m_hangForever = false;
    Clock::time_point m_hangUntil{};
    long m_failNext = 0;
};
