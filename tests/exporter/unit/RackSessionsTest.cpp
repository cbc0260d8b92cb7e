// Stopping the racks' sessions, through the real stand-in libraries and a rack that never
// answers (a port that takes the connection and stays silent); no simulator.
#include "exporter/RackSessions.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <future>
#include <optional>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

// A listening port on 127.0.0.1 that never accepts; closing it resets what waits on it.
class CSilentPort {
public:
    CSilentPort() : m_fd(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), length);
        ::listen(m_fd, 4);
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
    }
    ~CSilentPort() { ::close(m_fd); }
    int Port() const { return m_port; }

private:
    int m_fd;
    int m_port = 0;
};

// Sets an environment variable while it lives, then puts back what the process had.
class CScopedVariable {
public:
    CScopedVariable(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = std::getenv(name)) {
            m_old = old;
        }
        ::setenv(name, value.c_str(), 1);
    }
    ~CScopedVariable() {
        if (m_old) {
            ::setenv(m_name, m_old->c_str(), 1);
        } else {
            ::unsetenv(m_name);
        }
    }
    CScopedVariable(const CScopedVariable&) = delete;
    CScopedVariable& operator=(const CScopedVariable&) = delete;

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

RackConfig Rack(const char* resource) {
    RackConfig rack;
    rack.resource = resource;
    return rack;
}

} // namespace

// A probe left waiting after Stop (SIGTERM then hangs for the driver's time-out), Stop
// waiting for the worker's call in the driver, or a later probe that opens a rack.
TEST(RackSessions, StopAnswersWaitingAndLaterProbesAtOnce) {
    CLog log(LogLevel::Error);
    CRackSessions sessions({{VISA_LIBRARY}, {DRIVER_LIBRARY}}, 3000, log);
    const CSilentPort port; // closed first, which ends the worker's opening at once
    const CTempDir dir;
    const std::string bench =
        dir.File("stop.bench", "instrument rack mainframe port=" + std::to_string(port.Port()) +
                                   "\nresource VXI0::24::INSTR rack intf=VXI "
                                   "manf=3372 model=2861\n");
    const CScopedVariable benchVariable("KSM7720_BENCH", bench);
    const auto far = [] { return Clock::now() + std::chrono::seconds(20); };
    auto waiting = std::async(std::launch::async,
                              [&] { return sessions.Get(Rack("VXI0::24::INSTR"))->Probe(far()); });
    // The worker is now in the driver's opening, which waits 5 s for an identification.
    EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    sessions.Stop();
    ASSERT_EQ(waiting.wait_for(std::chrono::seconds(2)), std::future_status::ready)
        << "the waiting probe was not woken, or Stop waited for the driver's call";
    EXPECT_FALSE(waiting.get().up);
    for (const char* resource : {"VXI0::24::INSTR", "vxi0::024", "VXI0::32::INSTR"}) {
        const auto start = Clock::now();
        EXPECT_FALSE(sessions.Get(Rack(resource))->Probe(far()).up) << resource;
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(1)) << resource;
    }
}

// A probe that the policy allowed just before a reload dropped its rack making a session
// that stays open until the next reload.
TEST(RackSessions, RackDroppedByTheListGetsNoSessionKept) {
    CLog log(LogLevel::Error);
    CRackSessions sessions({{VISA_LIBRARY}, {DRIVER_LIBRARY}}, 3000, log);
    sessions.Retain({Rack("VXI0::24::INSTR")});
    const auto dropped = sessions.Get(Rack("VXI0::32::INSTR"));
    EXPECT_NE(dropped, sessions.Get(Rack("vxi0::32")));
    EXPECT_FALSE(dropped->Probe(Clock::now() + std::chrono::seconds(20)).up);
    EXPECT_TRUE(dropped->Closed()) << "it opened a session";
    EXPECT_EQ(sessions.Get(Rack("VXI0::24::INSTR")), sessions.Get(Rack("vxi0::24")));
}
