#pragma once

#include "server/SimInstrument.h"

#include <csignal>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Serves simulated instruments over TCP on the loopback interface, one listening port per
// instrument, from one thread with epoll, so a turn costs what the connections with something
// to do cost, however many sit idle. Each connection sends newline-terminated lines (LF or
// CR LF) and receives newline-terminated replies. Lines are bounded: a longer one is dropped
// with an "Input buffer overrun" entry. Connections are served in turn, a few lines each, and
// what one connection may hold is bounded: a client that does not read its replies is not
// read either until it does, so it can never starve the others. A connection reset by its
// client is a device clear: the lines it sent and that were not yet carried out are
// forgotten, so they are never answered.
class CSimServer {
public:
    static constexpr size_t kMaxLine = 8192;
    // A connection per rack of a site of 1,000 racks, with room to spare; the descriptor
    // limit may cap it lower (a connection beyond it is closed at once, as beyond this).
    static constexpr size_t kMaxClients = 4096;
    static constexpr size_t kInputWindow = 2 * kMaxLine;
    static constexpr size_t kMaxPendingOutput = 64 * 1024;
    static constexpr int kLinesPerTurn = 4;

    CSimServer();
    CSimServer(const CSimServer&) = delete;
    CSimServer& operator=(const CSimServer&) = delete;
    ~CSimServer();

    // Listens for `instrument` on 127.0.0.1:port (0 picks a free port). Returns the port,
    // or 0 with `error` set.
    uint16_t Listen(std::unique_ptr<CSimInstrument> instrument, uint16_t port, std::string& error);
    // Serves until `stop` becomes nonzero (checked at least every 200 ms). Returns false when
    // the event loop could not be set up.
    bool Run(const volatile std::sig_atomic_t& stop);

private:
    struct Listener {
        int fd;
        std::unique_ptr<CSimInstrument> instrument;
    };
    struct Client {
        int fd = -1;
        uint64_t id = 0;
        CSimInstrument* instrument = nullptr;
        std::string in; // received and not yet carried out, from `start` on
        size_t start = 0;
        std::string out;
        uint32_t watched = 0;    // the epoll events asked for now
        uint64_t turn = 0;       // the last turn that served it
        bool discarding = false; // inside an over-long line, waiting for its end
        bool ended = false;      // the client sent its last byte
        bool closed = false;
    };

    // Whether the connection may receive more, and whether a whole line waits in it.
    static bool WantsInput(const Client& client);
    static bool HasWork(const Client& client);
    void Accept(const Listener& listener);
    // Takes a connection that finds no descriptor left and closes it, with the one held
    // spare for this; false if there was none to take.
    bool Refuse(const Listener& listener);
    // One turn of a client: what epoll reported for it (0 if only work was left), then up
    // to kLinesPerTurn lines, then its replies.
    void Turn(Client& client, uint32_t events);
    void Receive(Client& client);
    void Serve(Client& client);
    void HandleLine(Client& client, std::string_view line);
    void Flush(Client& client);
    void Watch(Client& client);
    void CloseAll();
    void RemoveClosed();

    int m_epoll = -1;
    int m_spare = -1; // held so that a connection can be refused when descriptors run out
    std::vector<Listener> m_listeners;
    // Keyed by an id that is never reused, so an event for a client closed earlier in the
    // same turn finds nothing. Ids below kFirstClient are listeners' indexes.
    std::unordered_map<uint64_t, std::unique_ptr<Client>> m_clients;
    static constexpr uint64_t kFirstClient = uint64_t{1} << 32;
    uint64_t m_nextId = kFirstClient;
    std::vector<uint64_t> m_busy; // clients left with whole lines after their turn
    std::vector<uint64_t> m_dead; // clients closed in this turn
    uint64_t m_turn = 0;
    bool m_dropAll = false;
};
