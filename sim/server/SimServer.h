#pragma once

#include "server/SimInstrument.h"

#include <csignal>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Serves simulated instruments over TCP on the loopback interface, one listening port per
// instrument, from one thread with poll(). Each connection sends newline-terminated lines
// (LF or CR LF) and receives newline-terminated replies. Lines are bounded: a longer one is
// dropped with an "Input buffer overrun" entry. Connections are served in turn, a few lines
// each, and what one connection may hold is bounded: a client that does not read its replies
// is not read either until it does, so it can never starve the others. A connection reset by
// its client is a device clear: the lines it sent and that were not yet carried out are
// forgotten, so they are never answered.
class CSimServer {
public:
    static constexpr size_t kMaxLine = 8192;
    static constexpr size_t kMaxClients = 512;
    static constexpr size_t kInputWindow = 2 * kMaxLine;
    static constexpr size_t kMaxPendingOutput = 64 * 1024;
    static constexpr int kLinesPerTurn = 4;

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
        std::string in; // received and not yet carried out, from `start` on
        size_t start = 0;
        std::string out;
        bool discarding = false; // inside an over-long line, waiting for its end
        bool ended = false;      // the client sent its last byte
        bool closed = false;
    };

    // Whether the connection may receive more, and whether a whole line waits in it.
    static bool WantsInput(const Client& client);
    static bool HasWork(const Client& client);
    void Accept(const Listener& listener);
    void Receive(Client& client);
    // Carries out up to kLinesPerTurn of the client's lines.
    void Serve(Client& client);
    void HandleLine(Client& client, std::string_view line);
    void Flush(Client& client);
    void CloseAll();
    void RemoveClosed();

    std::vector<Listener> m_listeners;
    std::vector<std::unique_ptr<Client>> m_clients;
    bool m_dropAll = false;
};
