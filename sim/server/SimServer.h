#pragma once

#include "server/SimInstrument.h"

#include <csignal>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Serves simulated instruments over TCP on the loopback interface, one listening port per
// instrument, from one thread with poll(). Each connection sends newline-terminated lines
// (LF or CR LF) and receives newline-terminated replies. Lines are bounded: a longer one is
// dropped with an "Input buffer overrun" entry; a client that does not read its replies is
// disconnected before its backlog grows without bound.
class CSimServer {
public:
    static constexpr size_t kMaxLine = 8192;
    static constexpr size_t kMaxClients = 512;
    static constexpr size_t kMaxPendingOutput = 1 << 20;

    CSimServer() = default;
    CSimServer(const CSimServer&) = delete;
    CSimServer& operator=(const CSimServer&) = delete;
    ~CSimServer();

    // Listens for `instrument` on 127.0.0.1:port (0 picks a free port). Returns the port,
    // or 0 with `error` set.
    uint16_t Listen(std::unique_ptr<CSimInstrument> instrument, uint16_t port, std::string& error);
    // Serves until `stop` becomes nonzero (checked at least every 200 ms).
    void Run(const volatile std::sig_atomic_t& stop);

private:
    struct Listener {
        int fd;
        std::unique_ptr<CSimInstrument> instrument;
    };
    struct Client {
        int fd = -1;
        CSimInstrument* instrument = nullptr;
        std::string in;
        std::string out;
        bool discarding = false; // inside an over-long line, waiting for its end
        bool closed = false;
    };

    void Accept(const Listener& listener);
    void Receive(Client& client);
    void Consume(Client& client, const char* data, size_t size);
    void HandleLine(Client& client);
    void Flush(Client& client);
    void CloseAll();
    void RemoveClosed();

    std::vector<Listener> m_listeners;
    std::vector<std::unique_ptr<Client>> m_clients;
    bool m_dropAll = false;
};
