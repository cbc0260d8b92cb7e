#include "exporter/WorkerPool.h"

#include <cstring>

CWorkerPool::CWorkerPool(std::size_t threads, std::size_t maxQueued, std::size_t stackBytes)
    : m_maxQueued(maxQueued) {
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, stackBytes);
    int error = 0;
    for (std::size_t i = 0; i < threads && error == 0; ++i) {
        pthread_t thread{};
        error = pthread_create(&thread, &attributes, &CWorkerPool::Run, this);
        if (error == 0) {
            m_threads.push_back(thread);
        }
    }
    pthread_attr_destroy(&attributes);
    if (error != 0) {
        Join();
        throw CPoolError{std::string("cannot start worker threads: ") + std::strerror(error)};
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

void* CWorkerPool::Run(void* self) {
    static_cast<CWorkerPool*>(self)->Work();
    return nullptr;
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
        job();
    }
}

void CWorkerPool::Join() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_queued.notify_all();
    for (pthread_t thread : m_threads) {
        pthread_join(thread, nullptr);
    }
    m_threads.clear();
}
