#include "exporter/WorkerThread.h"

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
    static_cast<CWorkerThread*>(self)->m_body();
    return nullptr;
}
