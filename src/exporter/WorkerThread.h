#pragma once
// The exporter's one kind of thread, with a small stack: a worker per rack, the request and
// password pools and the connection reaper would otherwise reserve glibc's 8 MiB each.
#include <pthread.h>

#include <cstddef>
#include <functional>

class CWorkerThread {
public:
    // The driver and VISA libraries keep their buffers small.
    static constexpr std::size_t kStackBytes = std::size_t{256} * 1024;

    // Starts body on a new thread; throws std::system_error when none can be made.
    explicit CWorkerThread(std::function<void()> body);
    ~CWorkerThread(); // waits for body to return
    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;

private:
    static void* Run(void* self);

    std::function<void()> m_body;
    pthread_t m_thread{};
};
