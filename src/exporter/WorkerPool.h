#pragma once
// A fixed set of threads, all made at start with small stacks, that run the jobs handed
// to them in turn; the queue is bounded, so a burst beyond it is refused at once instead
// of growing memory or threads. No thread is ever made after start.
#include "exporter/ExporterError.h"

#include <pthread.h>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class CWorkerPool {
public:
    // Throws CPoolError when a thread cannot be made.
    CWorkerPool(std::size_t threads, std::size_t maxQueued, std::size_t stackBytes);
    ~CWorkerPool(); // runs what is queued, then joins every thread
    CWorkerPool(const CWorkerPool&) = delete;
    CWorkerPool& operator=(const CWorkerPool&) = delete;

    // Queues job; false when the queue is full or the pool stops. job must not throw.
    bool TrySubmit(std::function<void()> job);

private:
    static void* Run(void* self);
    void Work();
    void Join();

    const std::size_t m_maxQueued;
    std::mutex m_mutex;
    std::condition_variable m_queued;
    std::deque<std::function<void()>> m_jobs;
    bool m_stopping = false;
    std::vector<pthread_t> m_threads;
};
