#include "exporter/WorkerPool.h"

#include "exporter/Log.h"

#include <exception>

#include <system_error>

CWorkerPool::CWorkerPool(std::size_t threads, std::size_t maxQueued) : m_maxQueued(maxQueued) {
    try {
        for (std::size_t i = 0; i < threads; ++i) {
            m_threads.push_back(std::make_unique<CWorkerThread>([this] { Work(); }));
        }
    } catch (const std::system_error& error) {
        Join();
        throw CPoolError{std::string("cannot start worker threads: ") + error.what()};
    }
}

CWorkerPool::~CWorkerPool() {
    Join();
}

bool CWorkerPool::TrySubmit(std::function<void()> job) {
    {
        const std::lock_guard lock(m_mutex);
        if (m_stopping || m_jobs.size() >= m_maxQueued) {
            return false;
        }
        m_jobs.push_back(std::move(job));
    }
    m_queued.notify_one();
    return true;
}

void CWorkerPool::Work() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(m_mutex);
            m_queued.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
            if (m_jobs.empty()) {
                return;
            }
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        try {
            job(); // a job must not throw; if one does, the worker goes on with the next
        } catch (const std::exception& error) {
            CLog(LogLevel::Error)
                .Write(LogLevel::Error, "worker job failed", {{"error", error.what()}});
        } catch (...) {
            CLog(LogLevel::Error)
                .Write(LogLevel::Error, "worker job failed", {{"error", "unknown exception"}});
        }
    }
}

void CWorkerPool::Join() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_queued.notify_all();
    m_threads.clear(); // each joins
}
