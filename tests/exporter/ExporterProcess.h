#pragma once
// prometheus-ksm7720-exporter as a process for the tests: started with flags on 127.0.0.1,
// its address taken from its log, curl as its client, promtool as the judge of every
// exposition it answers; and the fixture of a simulator with two mainframes and a foreign
// instrument that the process tests share.
#include "Promtool.h"
#include "SimProcess.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <future>
#include <optional>
#include <regex>
#include <thread>

namespace exporter_test {

using Clock = std::chrono::steady_clock;

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), {}};
}

struct Answer {
    int status = 0;
    std::string body;
    double seconds = 0.0;
};

// The exporter as a process: started with flags, its address taken from its log.
class CExporter {
public:
    // maxFiles: the process's open file limit, soft and hard, when not 0.
    CExporter(const std::string& dir, const std::vector<std::string>& flags, rlim_t maxFiles = 0)
        : m_log(dir + "/exporter.log") {
        std::ofstream(m_log, std::ios::trunc); // no address read from an exporter before
        m_pid = ::fork();
        if (m_pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (maxFiles != 0) {
                const rlimit limit{maxFiles, maxFiles};
                ::setrlimit(RLIMIT_NOFILE, &limit);
            }
            ::dup2(::open(m_log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDERR_FILENO);
            std::vector<std::string> args{EXPORTER_EXE, "--web.listen-address=127.0.0.1:0"};
            args.insert(args.end(), flags.begin(), flags.end());
            std::vector<char*> argv;
            for (std::string& arg : args) {
                argv.push_back(arg.data());
            }
            argv.push_back(nullptr);
            ::execv(EXPORTER_EXE, argv.data());
            ::_exit(127);
        }
        const std::regex listening(R"(msg=listening address=127\.0\.0\.1:(\d+))");
        for (int i = 0; i < 100 && m_port.empty() && !m_exitStatus; ++i) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                break;
            }
            std::smatch m;
            const std::string log = ReadFile(m_log);
            if (std::regex_search(log, m, listening)) {
                m_port = m[1];
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        }
    }
    ~CExporter() {
        if (m_pid > 0 && !m_exitStatus) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    bool Listening() const { return !m_port.empty(); }
    void Signal(int signal) const { ::kill(m_pid, signal); }
    // Sends SIGTERM and waits for the end: the exit status, or 128 + the signal that killed it.
    int Stop() {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    // Whether the process still runs.
    bool Running() const { return m_pid > 0 && ::waitpid(m_pid, nullptr, WNOHANG) == 0; }
    const std::string& Port() const { return m_port; }
    pid_t Pid() const { return m_pid; }
    // The exit status when it ended before it listened.
    std::optional<int> ExitStatus() const { return m_exitStatus; }
    std::string Log() const { return ReadFile(m_log); }

    // One request with curl; path after the host, then curl's own options. Every
    // exposition answered goes to promtool.
    Answer Get(const std::string& path, const std::vector<std::string>& options = {},
               const std::string& scheme = "http") const {
        const std::string body = m_log + ".body." + std::to_string(m_requests++);
        std::string command = "curl -s -o '" + body + "' -w '%{http_code}' --max-time 20";
        for (const std::string& option : options) {
            command += " '" + option + "'";
        }
        command += " '" + scheme + "://127.0.0.1:" + m_port + path + "'";
        const auto start = Clock::now();
        FILE* pipe = ::popen(command.c_str(), "r");
        char code[8] = {};
        const std::size_t read = pipe != nullptr ? std::fread(code, 1, sizeof code - 1, pipe) : 0;
        if (pipe != nullptr) {
            ::pclose(pipe);
        }
        Answer answer{read > 0 ? std::atoi(code) : -1, ReadFile(body),
                      std::chrono::duration<double>(Clock::now() - start).count()};
        if (answer.status == 200 && path != "/" && path.rfind("/-/", 0) != 0 &&
            path.find("debug=true") == std::string::npos) {
            EXPECT_EQ(PromtoolComplaint(answer.body), "") << path;
        }
        return answer;
    }

private:
    std::string m_log;
    std::string m_port;
    pid_t m_pid = -1;
    std::optional<int> m_exitStatus;
    mutable int m_requests = 0;
};

// How many times part occurs in text.
inline int Count(const std::string& text, const std::string& part) {
    int count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

inline bool HasLine(const std::string& text, const std::string& line) {
    return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

} // namespace exporter_test

using namespace exporter_test;

class Exporter : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        sim = new CSimProcess(CSimProcess::DefaultBench() +
                              "instrument second mainframe seed=2\n"
                              "resource VXI0::32::INSTR second intf=VXI manf=3372 model=2861\n");
        ASSERT_TRUE(sim->Start()) << sim->ListeningLine();
        sim->ExportEnvironment(VISA_LIBRARY, DRIVER_LIBRARY);
    }
    static void TearDownTestSuite() {
        delete sim;
        sim = nullptr;
    }
    void TearDown() override {
        Raw("mainframe", "SIM:RES");
        Raw("mainframe", "*CLS");
    }

    // A simulator command on one instrument, carried out when this returns. A hung
    // instrument drops every line but one of simulator commands alone, so those are
    // followed by a simulator query, the others by *OPC?.
    static std::string Raw(const std::string& instrument, const std::string& line) {
        CRawClient client(sim->Port(instrument));
        const bool simulator = line.rfind("SIM:", 0) == 0 && line.find(';') == std::string::npos;
        return client.Query(line.find('?') != std::string::npos
                                ? line
                                : line + (simulator ? ";SIM:SPE?" : ";*OPC?"));
    }
    static std::string File(const std::string& name, const std::string& text) {
        const std::string path = sim->Dir() + "/" + name;
        std::ofstream(path) << text;
        return path;
    }
    static inline CSimProcess* sim = nullptr;
};
