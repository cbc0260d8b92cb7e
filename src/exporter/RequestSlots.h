#pragma once
// The requests in flight at once, in all and per client address: a slot is taken before
// a request's work is queued and given back once it is done. A client's share shrinks as
// more clients hold slots, so those already in cannot starve one that comes later.
#include <cstddef>
#include <map>
#include <mutex>
#include <string>

class CRequestSlots {
public:
    enum class Taken { Yes, AllBusy, ClientBusy };

    explicit CRequestSlots(std::size_t total) : m_total(total) {}

    // A client's share among so many active ones: three quarters of the slots split
    // between them, at least 1, so a quarter stays free for a client not yet in.
    static std::size_t Share(std::size_t total, std::size_t activeClients);

    Taken Take(const std::string& client);
    void Give(const std::string& client);

private:
    const std::size_t m_total;
    std::mutex m_mutex;
    std::size_t m_inUse = 0;
    std::map<std::string, std::size_t> m_byClient; // only clients holding a slot
};
