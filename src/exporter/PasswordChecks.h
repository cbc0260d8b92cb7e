#pragma once
// Basic authentication for the HTTP server: the users in force, the pair a request
// carries, and the bcrypt checks of pairs not remembered, on a thread of their own with a
// bounded queue in which each client address has a share that shrinks as more clients
// wait, so a flood of guesses from some addresses leaves room for the others.
#include "exporter/BasicAuth.h"
#include "exporter/HttpRequest.h"
#include "exporter/RequestSlots.h"
#include "exporter/WorkerPool.h"

#include <functional>
#include <memory>
#include <mutex>

class CPasswordChecks {
public:
    enum class Pair { Passed, Refused, Unknown }; // Passed also when no password is asked

    // auth must outlive this, or until SetAuth replaces it.
    explicit CPasswordChecks(const CBasicAuth& auth);
    // Makes the checking thread; throws CPoolError when it cannot.
    void Start();
    // Waits for the check running; the queued ones whose request is answered are skipped.
    void Stop();

    std::shared_ptr<const CBasicAuth> Auth();
    void SetAuth(std::shared_ptr<const CBasicAuth> auth);
    // Reads the request's pair into it and judges it with the users in force, without bcrypt.
    Pair Read(HttpRequest& request);
    // Queues the bcrypt check of the request's pair; then(passed) runs on the checking
    // thread. false when the queue or the client's share of it is full.
    bool Check(const std::shared_ptr<HttpRequest>& request, std::function<void(bool)> then);

private:
    std::mutex m_mutex;
    std::shared_ptr<const CBasicAuth> m_auth;
    CRequestSlots m_slots;
    std::unique_ptr<CWorkerPool> m_pool; // last: its thread uses the above
};
