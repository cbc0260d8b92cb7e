#pragma once
// The requests in flight at once, in all and per client address: a slot is taken before
// a request's work is queued and given back once its answer is built, so one client
// cannot hold every slot.
#include <cstddef>
#include <map>
#include <mutex>
#include <string>

class CRequestSlots {
public:
    enum class Taken { Yes, AllBusy, ClientBusy };

    // perClient: at most total; at least 1.
    CRequestSlots(std::size_t total, std::size_t perClient)
        : m_total(total), m_perClient(perClient) {}

    Taken Take(const std::string& client);
    void Give(const std::string& client);

private:
    const std::size_t m_total;
    const std::size_t m_perClient;
    std::mutex m_mutex;
    std::size_t m_inUse = 0;
    std::map<std::string, std::size_t> m_byClient;
};
