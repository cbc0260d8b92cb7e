#pragma once
// A thread with a small stack, as the HTTP server's connection threads have: the
// exporter keeps one per rack, and glibc's default of 8 MiB each would reserve gigabytes
// of address space at a thousand racks.
#include <pthread.h>

#include <functional>

class CWorkerThread {
public:
    // The stack of every worker; the driver and VISA libraries keep their buffers small.
    static constexpr std::size_t kStackBytes = 256 * 1024;

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
