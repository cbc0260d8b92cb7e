#include "SimProcess.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>

CSimProcess::CSimProcess(const std::string& bench, double speed) : m_speed(speed) {
    char templ[] = "/tmp/ksm7720-simtest-XXXXXX";
    m_dir = ::mkdtemp(templ);
    std::ofstream(m_dir + "/bench.bench") << bench;
}

CSimProcess::~CSimProcess() {
    if (m_pid > 0)
        Signal(SIGCONT);
    Stop();
    std::filesystem::remove_all(m_dir);
}

bool CSimProcess::Start() {
    int out[2];
    if (::pipe(out) != 0)
        return false;
    std::string bench = m_dir + "/bench.bench", resolved = ResolvedBench();
    std::string speed = std::to_string(m_speed);
    m_pid = ::fork();
    if (m_pid == 0) {
        // A test that dies must not leave its simulator holding ctest's output open.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        ::execl(SIM_EXE, SIM_EXE, "--bench", bench.c_str(), "--resolved", resolved.c_str(),
                "--state-dir", m_dir.c_str(), "--speed", speed.c_str(), nullptr);
        ::_exit(127);
    }
    ::close(out[1]);
    m_line.clear();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    char c;
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{out[0], POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        if (::read(out[0], &c, 1) != 1 || c == '\n')
            break;
        m_line.push_back(c);
    }
    ::close(out[0]);
    std::regex pair(R"(([A-Za-z0-9_-]+)=(\d+))");
    for (std::sregex_iterator it(m_line.begin(), m_line.end(), pair), end; it != end; ++it)
        m_ports[(*it)[1]] = std::stoi((*it)[2]);
    return m_line.rfind("ksm7720-sim: listening", 0) == 0;
}

void CSimProcess::Stop() {
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGTERM);
    ::waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

void CSimProcess::Signal(int signal) {
    if (m_pid > 0)
        ::kill(m_pid, signal);
    if (signal == SIGKILL) {
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
}

int CSimProcess::Port(const std::string& instrument) const {
    auto it = m_ports.find(instrument);
    return it == m_ports.end() ? 0 : it->second;
}

void CSimProcess::ExportEnvironment(const char* visaLibrary, const char* driverLibrary) const {
    ::setenv("KSM7720_BENCH", ResolvedBench().c_str(), 1);
    ::setenv("KSM7720_VISA_LIBRARY", visaLibrary, 1);
    ::setenv("KSM7720_DRIVER_LIBRARY", driverLibrary, 1);
}

std::string CSimProcess::DefaultBench() {
    std::ifstream in(DEFAULT_BENCH);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

CRawClient::CRawClient(int port) {
    m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (::connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

CRawClient::~CRawClient() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool CRawClient::Send(const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t n = ::send(m_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

bool CRawClient::SendSome(const std::string& bytes) {
    ssize_t n = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    return n >= 0 || errno == EAGAIN || errno == EWOULDBLOCK;
}

std::string CRawClient::ReadLine(int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        size_t nl = m_buffer.find('\n');
        if (nl != std::string::npos) {
            std::string line = m_buffer.substr(0, nl);
            m_buffer.erase(0, nl + 1);
            return line;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{m_fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            return "";
        char chunk[4096];
        ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            return "";
        m_buffer.append(chunk, static_cast<size_t>(n));
    }
}
