#pragma once

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

// A ksm7720-sim process for one test: its own temporary folder with the bench, the resolved
// bench and the state files, ports picked by the system. The destructor stops it and removes
// the folder.
class CSimProcess {
public:
    // `bench` is the bench file's text; `speed` the simulated-time factor.
    explicit CSimProcess(const std::string& bench, double speed = 0.0);
    ~CSimProcess();
    CSimProcess(const CSimProcess&) = delete;
    CSimProcess& operator=(const CSimProcess&) = delete;

    // Starts the simulator and waits for its "listening" line; false on failure.
    bool Start();
    // SIGTERM and wait; the state files stay for a later Start().
    void Stop();
    void Signal(int signal);

    std::string ResolvedBench() const { return m_dir + "/resolved.bench"; }
    // Points the stand-in VISA library of this process and its children at this simulator,
    // and names the VISA and driver libraries they load.
    void ExportEnvironment(const char* visaLibrary, const char* driverLibrary) const;
    std::string Dir() const { return m_dir; }
    int Port(const std::string& instrument) const;
    std::string ListeningLine() const { return m_line; }

    // The default bench: one mainframe, a foreign GPIB instrument and a silent serial port.
    static std::string DefaultBench();

private:
    std::string m_dir;
    double m_speed;
    pid_t m_pid = -1;
    std::string m_line;
    std::map<std::string, int> m_ports;
};

// A plain TCP client for raw SCPI, as any client that is not ours would talk.
class CRawClient {
public:
    explicit CRawClient(int port);
    ~CRawClient();
    bool Connected() const { return m_fd >= 0; }
    bool Send(const std::string& bytes);
    // Sends what the link takes at once, without waiting; false when the link is gone.
    bool SendSome(const std::string& bytes);
    // One reply line without its newline; empty when none came within `timeoutMs`.
    std::string ReadLine(int timeoutMs = 2000);
    std::string Query(const std::string& line) {
        Send(line + "\n");
        return ReadLine();
    }

private:
    int m_fd = -1;
    std::string m_buffer;
};
