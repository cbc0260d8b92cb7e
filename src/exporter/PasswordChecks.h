#pragma once
// Basic authentication for the HTTP server: the users in force, the pair a request
// carries, and the bcrypt checks of pairs not remembered, on a thread of their own. A
// check waits its turn within the request's deadline, the turns shared between client
// addresses as request slots are, so a flood of guesses from some addresses leaves room
// for the others.
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
    // Checks the request's pair with bcrypt when its turn comes before its deadline:
    // then(Taken, passed, waited) runs on the checking thread, or then(GaveUp or Closed,
    // false, waited) when the wait ends without a check.
    using Then = std::function<void(CRequestSlots::Outcome, bool passed,
                                    CRequestSlots::Clock::duration waited)>;
    void Check(const std::shared_ptr<HttpRequest>& request, Then then);

private:
    void RunCheck(const std::shared_ptr<HttpRequest>& request, const Then& then,
                  CRequestSlots::Clock::duration waited); // on the checking thread

    std::mutex m_mutex;
    std::shared_ptr<const CBasicAuth> m_auth;
    CRequestSlots m_turns;
    std::unique_ptr<CWorkerPool> m_pool; // last: its thread uses the above
};
