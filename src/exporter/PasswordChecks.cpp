#include "exporter/PasswordChecks.h"

#include <microhttpd.h>

#include <cstring>

namespace {

constexpr std::size_t kThreads = 1; // bcrypt takes a core while it runs

} // namespace

CPasswordChecks::CPasswordChecks(const CBasicAuth& auth)
    : m_auth(std::shared_ptr<void>{}, &auth), m_turns(kThreads) {}

void CPasswordChecks::Start() {
    m_pool = std::make_unique<CWorkerPool>(kThreads, kThreads);
}

void CPasswordChecks::Stop() {
    m_turns.Close();
    m_pool.reset();
}

std::shared_ptr<const CBasicAuth> CPasswordChecks::Auth() {
    const std::lock_guard lock(m_mutex);
    return m_auth;
}

void CPasswordChecks::SetAuth(std::shared_ptr<const CBasicAuth> auth) {
    const std::lock_guard lock(m_mutex);
    m_auth = std::move(auth);
}

CPasswordChecks::Pair CPasswordChecks::Read(HttpRequest& request) {
    request.auth = Auth();
    if (!request.auth->Enabled()) {
        return Pair::Passed;
    }
    char* password = nullptr;
    char* user = MHD_basic_auth_get_username_password(request.connection, &password);
    if (user != nullptr && password != nullptr) {
        request.user = user;
        request.password = password;
    }
    if (password != nullptr) {
        explicit_bzero(password, std::strlen(password));
    }
    MHD_free(user);
    MHD_free(password);
    if (user == nullptr || password == nullptr) {
        return Pair::Refused;
    }
    switch (request.auth->Recall(request.user, request.password)) {
    case CBasicAuth::Verdict::Passed:
        return Pair::Passed;
    case CBasicAuth::Verdict::Refused:
        return Pair::Refused;
    default:
        return Pair::Unknown;
    }
}

void CPasswordChecks::Check(const std::shared_ptr<HttpRequest>& request, Then then) {
    m_turns.Take(request->client, request->deadline,
                 [this, request, then = std::move(then)](CRequestSlots::Outcome outcome,
                                                         CRequestSlots::Clock::duration waited) {
                     if (outcome != CRequestSlots::Outcome::Taken) {
                         then(outcome, false, waited);
                     } else if (!m_pool || !m_pool->TrySubmit([this, request, then, waited] {
                                    RunCheck(request, then, waited);
                                })) {
                         m_turns.Give(request->client);
                         then(CRequestSlots::Outcome::Closed, false, waited);
                     }
                 });
}

void CPasswordChecks::RunCheck(const std::shared_ptr<HttpRequest>& request, const Then& then,
                               CRequestSlots::Clock::duration waited) {
    bool answered = false;
    {
        const std::lock_guard lock(request->mutex);
        answered = request->answered; // the server stopped while it waited
    }
    const bool passed = !answered && request->auth->Check(request->user, request->password);
    m_turns.Give(request->client);
    if (!answered) {
        then(CRequestSlots::Outcome::Taken, passed, waited);
    }
}
