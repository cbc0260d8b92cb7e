#include "exporter/WorkerThread.h"

#include "exporter/Log.h"

#include <exception>

#include <system_error>

CWorkerThread::CWorkerThread(std::function<void()> body) : m_body(std::move(body)) {
    pthread_attr_t attributes;
    int error = pthread_attr_init(&attributes);
    if (error == 0) {
        error = pthread_attr_setstacksize(&attributes, kStackBytes);
        if (error == 0) {
            error = pthread_create(&m_thread, &attributes, &CWorkerThread::Run, this);
        }
        pthread_attr_destroy(&attributes);
    }
    if (error != 0) {
        throw std::system_error(error, std::generic_category(), "worker thread");
    }
}

CWorkerThread::~CWorkerThread() {
    pthread_join(m_thread, nullptr);
}

void* CWorkerThread::Run(void* self) {
    // The last guard of every exporter thread: what escapes its body is logged, and the
    // thread ends instead of the process.
    try {
        static_cast<CWorkerThread*>(self)->m_body();
    } catch (const std::exception& error) {
        CLog(LogLevel::Error)
            .Write(LogLevel::Error, "thread ended by an error", {{"error", error.what()}});
    } catch (...) {
        CLog(LogLevel::Error)
            .Write(LogLevel::Error, "thread ended by an error", {{"error", "unknown exception"}});
    }
    return nullptr;
}
