#include "exporter/RequestSlots.h"

#include <algorithm>
#include <vector>

CRequestSlots::CRequestSlots(std::size_t total)
    : m_total(total), m_thread(std::make_unique<CWorkerThread>([this] { EndWaits(); })) {}

CRequestSlots::~CRequestSlots() {
    Close();
    m_thread.reset();
}

void CRequestSlots::Take(const std::string& client, Clock::time_point deadline, Then then) {
    bool closed = false;
    {
        const std::lock_guard lock(m_mutex);
        closed = m_closed;
        if (!closed && m_inUse >= m_total) {
            m_clients[client].waiting.push_back({Clock::now(), deadline, std::move(then)});
            m_changed.notify_all(); // perhaps an earlier deadline
            return;
        }
        if (!closed) {
            Grant(m_clients[client]);
        }
    }
    then(closed ? Outcome::Closed : Outcome::Taken, Clock::duration::zero());
}

void CRequestSlots::Grant(Client& client) {
    ++client.held;
    ++m_inUse;
    client.lastServed = ++m_grants;
}

void CRequestSlots::Give(const std::string& client) {
    Waiter next;
    {
        const std::lock_guard lock(m_mutex);
        const auto found = m_clients.find(client);
        if (found == m_clients.end() || found->second.held == 0) {
            return;
        }
        --m_inUse;
        if (--found->second.held == 0 && found->second.waiting.empty()) {
            m_clients.erase(found);
        }
        if (!NextWaiter(next)) {
            return;
        }
    }
    next.then(Outcome::Taken, Clock::now() - next.since);
}

bool CRequestSlots::NextWaiter(Waiter& next) {
    Client* chosen = nullptr;
    for (auto& [key, client] : m_clients) {
        if (!client.waiting.empty() &&
            (chosen == nullptr || client.held < chosen->held ||
             (client.held == chosen->held && client.lastServed < chosen->lastServed))) {
            chosen = &client;
        }
    }
    if (chosen == nullptr) {
        return false;
    }
    next = std::move(chosen->waiting.front());
    chosen->waiting.pop_front();
    Grant(*chosen);
    return true;
}

void CRequestSlots::Close() {
    std::vector<Waiter> ended;
    {
        const std::lock_guard lock(m_mutex);
        m_closed = true;
        for (auto& [key, client] : m_clients) {
            for (Waiter& waiter : client.waiting) {
                ended.push_back(std::move(waiter));
            }
            client.waiting.clear();
        }
    }
    m_changed.notify_all();
    for (Waiter& waiter : ended) {
        waiter.then(Outcome::Closed, Clock::now() - waiter.since);
    }
}

void CRequestSlots::EndWaits() {
    std::unique_lock lock(m_mutex);
    while (!m_closed) {
        const auto now = Clock::now();
        auto earliest = Clock::time_point::max();
        std::vector<Waiter> late;
        for (auto it = m_clients.begin(); it != m_clients.end();) {
            auto& waiting = it->second.waiting;
            for (auto w = waiting.begin(); w != waiting.end();) {
                if (w->deadline <= now) {
                    late.push_back(std::move(*w));
                    w = waiting.erase(w);
                } else {
                    earliest = std::min(earliest, w->deadline);
                    ++w;
                }
            }
            it = it->second.held == 0 && waiting.empty() ? m_clients.erase(it) : std::next(it);
        }
        if (!late.empty()) {
            lock.unlock();
            for (Waiter& waiter : late) {
                waiter.then(Outcome::GaveUp, now - waiter.since);
            }
            lock.lock();
            continue;
        }
        if (earliest == Clock::time_point::max()) {
            m_changed.wait(lock);
        } else {
            m_changed.wait_until(lock, earliest);
        }
    }
}
