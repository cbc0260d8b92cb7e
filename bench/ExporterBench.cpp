// One probe of prometheus-ksm7720-exporter on loopback, as Prometheus makes it: the real
// program on the default bench (simulator at speed 1), one kept-alive HTTP connection, the
// whole answer read. The same for /metrics, which reaches no instrument. And the floor a
// probe stands on: its 103 round trips (the error queue looked at first, then 51 readings,
// each with its look) over a raw socket to the same simulator; a probe's time over the
// floor's is what the exporter, the driver and VISA add. Beside each, the CPU a probe costs
// the exporter (all its threads) and the CPU of the floor's client, in microseconds.
#include "SimBenchMain.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <regex>
#include <string>
#include <thread>

namespace {

std::unique_ptr<CSimProcess> g_sim;
pid_t g_exporter = -1;
int g_port = 0;

bool StartExporter() {
    const std::string log = g_sim->Dir() + "/exporter.log";
    g_exporter = ::fork();
    if (g_exporter == 0) {
        ::dup2(::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDERR_FILENO);
        ::execl(EXPORTER_EXE, EXPORTER_EXE, "--web.listen-address=127.0.0.1:0", nullptr);
        ::_exit(127);
    }
    const std::regex listening(R"(address=127\.0\.0\.1:(\d+))");
    for (int i = 0; i < 100; ++i) {
        std::ifstream in(log);
        const std::string text{std::istreambuf_iterator<char>(in), {}};
        std::smatch m;
        if (std::regex_search(text, m, listening)) {
            g_port = std::stoi(m[1]);
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

// One HTTP/1.1 connection kept open; Get sends a request and reads its whole answer.
class CHttpClient {
public:
    CHttpClient() {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(g_port));
        if (::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~CHttpClient() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    // The body's size, or -1.
    long Get(const std::string& path) {
        const std::string request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
        if (m_fd < 0 || ::send(m_fd, request.data(), request.size(), MSG_NOSIGNAL) < 0) {
            return -1;
        }
        std::string answer;
        std::size_t headerEnd = std::string::npos;
        long length = -1;
        char buffer[16384];
        while (headerEnd == std::string::npos || answer.size() < headerEnd + 4 + length) {
            const ssize_t got = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (got <= 0) {
                return -1;
            }
            answer.append(buffer, static_cast<std::size_t>(got));
            if (headerEnd == std::string::npos &&
                (headerEnd = answer.find("\r\n\r\n")) != std::string::npos) {
                const std::size_t at = answer.find("Content-Length: ");
                length = at < headerEnd ? std::atol(answer.c_str() + at + 16) : 0;
            }
        }
        return answer.compare(0, 12, "HTTP/1.1 200") == 0 ? length : -1;
    }

private:
    int m_fd = -1;
};

// CPU time of a whole process (every thread) or of the calling thread, in microseconds.
double CpuMicroseconds(clockid_t clock) {
    timespec now{};
    ::clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

void Run(benchmark::State& state, const std::string& path) {
    CHttpClient client;
    clockid_t exporterClock{};
    if (::clock_getcpuclockid(g_exporter, &exporterClock) != 0) {
        state.SkipWithError("no CPU clock of the exporter");
        return;
    }
    const double before = CpuMicroseconds(exporterClock);
    for (auto _ : state) {
        if (client.Get(path) <= 0) {
            state.SkipWithError("request failed");
            break;
        }
    }
    state.counters["cpu_us"] = benchmark::Counter(CpuMicroseconds(exporterClock) - before,
                                                  benchmark::Counter::kAvgIterations);
}

void BM_Probe(benchmark::State& state) {
    Run(state, "/probe?target=VXI0::24::INSTR");
}
BENCHMARK(BM_Probe)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_OwnMetrics(benchmark::State& state) {
    Run(state, "/metrics");
}
BENCHMARK(BM_OwnMetrics)->UseRealTime()->Unit(benchmark::kMillisecond);

// The cheapest client of the simulator: TCP_NODELAY, a send and a blocking receive a
// query, nothing else.
class CFloorClient {
public:
    explicit CFloorClient(int port) : m_fd(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        const int one = 1;
        ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~CFloorClient() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    CFloorClient(const CFloorClient&) = delete;
    CFloorClient& operator=(const CFloorClient&) = delete;
    // The reply line without its newline; empty when the link failed.
    std::string Query(const std::string& line) {
        const std::string message = line + "\n";
        if (m_fd < 0 || ::send(m_fd, message.data(), message.size(), MSG_NOSIGNAL) < 0) {
            return "";
        }
        std::size_t end = 0;
        while ((end = m_buffer.find('\n')) == std::string::npos) {
            char chunk[4096];
            const ssize_t got = ::recv(m_fd, chunk, sizeof chunk, 0);
            if (got <= 0) {
                return "";
            }
            m_buffer.append(chunk, static_cast<std::size_t>(got));
        }
        std::string reply = m_buffer.substr(0, end);
        m_buffer.erase(0, end + 1);
        return reply;
    }

private:
    int m_fd;
    std::string m_buffer;
};

// The mainframe's objects as a probe reads them: codes 0-33, 35-48 and 50-52.
void BM_RawSocketFloor(benchmark::State& state) {
    CFloorClient client(g_sim->Port("mainframe"));
    const double before = CpuMicroseconds(CLOCK_THREAD_CPUTIME_ID);
    for (auto _ : state) {
        if (client.Query("SYST:ERR?").compare(0, 2, "0,") != 0) {
            state.SkipWithError("round trip failed");
            return;
        }
        for (int code = 0; code <= 52; ++code) {
            if (code == 34 || code == 49) {
                continue;
            }
            if (client.Query("MEAS:LEV? " + std::to_string(code) + ",0").empty() ||
                client.Query("SYST:ERR?").compare(0, 2, "0,") != 0) {
                state.SkipWithError("round trip failed");
                return;
            }
        }
    }
    state.counters["cpu_us"] = benchmark::Counter(CpuMicroseconds(CLOCK_THREAD_CPUTIME_ID) - before,
                                                  benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_RawSocketFloor)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    const auto start = [] {
        if (!StartExporter()) {
            std::fprintf(stderr, "cannot start the exporter\n");
            return false;
        }
        return true;
    };
    const auto stop = [] {
        if (g_exporter > 0) { // never kill(-1): that would reach every process
            ::kill(g_exporter, SIGTERM);
            ::waitpid(g_exporter, nullptr, 0);
        }
    };
    return RunOnSimulatedBench(argc, argv, g_sim, start, stop);
}
