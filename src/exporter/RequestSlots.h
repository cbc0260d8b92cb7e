#pragma once
// The requests in flight at once: a slot is taken before a request's work is queued and
// given back once it is done. A request that finds every slot taken waits for one until
// its own deadline; a slot that comes free goes to the waiting client address that holds
// fewest, and among equals to the one served least recently. So a lone client may use
// every slot, and a crowd of addresses cannot starve one that comes later: its first
// request is served as soon as any slot comes free.
#include "exporter/WorkerThread.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

class CRequestSlots {
public:
    using Clock = std::chrono::steady_clock;
    // How a wait ended: a slot is held (Taken), or none came free before the deadline
    // (GaveUp), or the slots were closed (Closed). waited: the time it waited.
    enum class Outcome { Taken, GaveUp, Closed };
    using Then = std::function<void(Outcome outcome, Clock::duration waited)>;

    // Starts the thread that ends waits at their deadline; throws std::system_error.
    explicit CRequestSlots(std::size_t total);
    ~CRequestSlots(); // Close()
    CRequestSlots(const CRequestSlots&) = delete;
    CRequestSlots& operator=(const CRequestSlots&) = delete;

    // A slot for client: then runs before Take returns when one is free, else on the
    // thread that gives one back or ends the wait. then must not throw.
    void Take(const std::string& client, Clock::time_point deadline, Then then);
    void Give(const std::string& client);
    // Every wait ends Closed, and so does every later Take.
    void Close();

private:
    struct Waiter {
        Clock::time_point since;
        Clock::time_point deadline;
        Then then;
    };
    struct Client {
        std::size_t held = 0;
        std::uint64_t lastServed = 0; // the grant number of its latest slot
        std::deque<Waiter> waiting;
    };

    // Under the lock: the waiter the next free slot goes to, taken off its queue.
    bool NextWaiter(Waiter& next);
    void Grant(Client& client); // under the lock
    void EndWaits();            // on m_thread

    const std::size_t m_total;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_closed = false;
    std::size_t m_inUse = 0;
    std::uint64_t m_grants = 0;
    std::map<std::string, Client> m_clients; // those holding a slot or waiting for one
    std::unique_ptr<CWorkerThread> m_thread; // last: starts once everything above is built
};
