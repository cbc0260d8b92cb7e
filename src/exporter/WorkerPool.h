#pragma once
// A fixed set of threads made at start that run the jobs handed to them in turn; the queue
// is bounded, so a burst beyond it is refused at once instead of growing memory or threads.
#include "exporter/ExporterError.h"
#include "exporter/WorkerThread.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class CWorkerPool {
public:
    // Throws CPoolError when a thread cannot be made.
    CWorkerPool(std::size_t threads, std::size_t maxQueued);
    ~CWorkerPool(); // runs what is queued, then joins every thread
    CWorkerPool(const CWorkerPool&) = delete;
    CWorkerPool& operator=(const CWorkerPool&) = delete;

    // Queues job; false when the queue is full or the pool stops. job must not throw.
    bool TrySubmit(std::function<void()> job);

private:
    void Work();
    void Join();

    const std::size_t m_maxQueued;
    std::mutex m_mutex;
    std::condition_variable m_queued;
    std::deque<std::function<void()>> m_jobs;
    bool m_stopping = false;
    std::vector<std::unique_ptr<CWorkerThread>> m_threads;
};
