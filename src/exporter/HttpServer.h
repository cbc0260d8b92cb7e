#pragma once
// The exporter's HTTP(S) server on libmicrohttpd. One event-loop thread (epoll) holds every
// connection; once a request's headers are in, its connection is suspended and its work
// goes to a fixed pool of worker threads made at start (one per request allowed in
// flight), which builds the answer and resumes the connection, so a probe that waits on
// its rack holds only a worker and no thread is ever made for a request. A password not
// remembered is checked by bcrypt on a pool of its own with a bounded queue. Bounded:
// connections in all and per client address, the time from a connection's start to its
// request's complete headers, request memory, requests in flight in all and per client.
// Routes: GET / a landing page, GET /metrics the exporter's own figures, GET
// /probe?target=RESOURCE one rack's exposition, POST /-/reload when the server has a
// reload hook; 400 for a missing, repeated or malformed target, 401 without the right
// password, 403 for a target not allowed or a client certificate refused, 404 and 405 for
// other paths and methods, 500 when building the answer failed, 503 beyond the work
// allowed in flight. No exception ever leaves a libmicrohttpd callback.
#include "exporter/BasicAuth.h"
#include "exporter/ConnectionGuard.h"
#include "exporter/ExporterError.h"
#include "exporter/ExporterMetrics.h"
#include "exporter/Log.h"
#include "exporter/RackSessions.h"
#include "exporter/RefusalLog.h"
#include "exporter/RequestSlots.h"
#include "exporter/TargetPolicy.h"
#include "exporter/TlsIdentity.h"
#include "exporter/WebConfig.h"
#include "exporter/WorkerPool.h"

#include <microhttpd.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct ServerOptions {
    std::string listenAddress;
    int maxRequests = 40;
    double timeOffsetSeconds = 0.5;
    std::optional<TlsConfig> tls;
    // POST /-/reload calls it: nothing when reloaded, else why not. Empty: no such route.
    std::function<std::optional<std::string>()> reload;
};

struct Reply {
    unsigned status = 200;
    std::string body;
    std::string contentType = "text/plain; charset=utf-8";
    std::vector<std::pair<std::string, std::string>> headers;
    bool askForPassword = false; // 401 with a basic-auth challenge
};

class CHttpServer {
public:
    // auth must outlive the server, or until SetWebConfig replaces it.
    CHttpServer(ServerOptions options, CTargetPolicy& policy, CRackSessions& sessions,
                CExporterMetrics& metrics, const CBasicAuth& auth, CLog& log);
    ~CHttpServer(); // stops at once, then waits for the workers' probes to end
    CHttpServer(const CHttpServer&) = delete;
    CHttpServer& operator=(const CHttpServer&) = delete;

    // Listens; the address it listens on, with the port it got. Throws CFlagError for an
    // address that is not HOST:PORT, CServerError when it cannot listen (and why).
    std::string Start();
    // New users, and the certificate and key for new handshakes, both at once. Throws
    // CConfigError when the change needs a restart (TLS on or off, client CA, client_auth_type
    // or min_version changed) or the new users or files are unusable; nothing changes then.
    void SetWebConfig(const WebConfig& web);
    // Stops taking connections, lets the requests in flight be answered until deadline
    // (those still waiting then get 503), then stops the server. Returns by the deadline
    // or soon after; later calls do nothing.
    void Stop(std::chrono::steady_clock::time_point deadline);

private:
    struct Job;
    struct Request;

    static MHD_Result Admit(void* self, const sockaddr* address, socklen_t length);
    static void OnConnection(void* self, MHD_Connection* connection, void** socketState,
                             MHD_ConnectionNotificationCode code);
    static void* OnUri(void* self, const char* uri, MHD_Connection* connection);
    static void OnCompleted(void* self, MHD_Connection* connection, void** state,
                            MHD_RequestTerminationCode code);
    static MHD_Result OnRequest(void* self, MHD_Connection* connection, const char* url,
                                const char* method, const char* version, const char* upload,
                                std::size_t* uploadSize, void** state);
    MHD_Result Respond(MHD_Connection* connection, Request& request, const char* url,
                       const char* method, std::size_t uploadSize);
    MHD_Result Dispatch(MHD_Connection* connection, Request& request, const char* url,
                        const char* method);
    MHD_Result Queue(MHD_Connection* connection, const Reply& reply);
    std::optional<Reply> TakeSlot(Job& job);
    void Suspend(MHD_Connection* connection, const std::shared_ptr<Job>& job);
    void CheckPassword(const std::shared_ptr<Job>& job); // on the password pool
    void Work(const std::shared_ptr<Job>& job);          // on a worker
    void Finish(Job& job, Reply reply);                  // the answer, once; resumes
    Reply Handle(const Job& job);
    Reply Probe(const Job& job);
    Reply Reload(const Job& job);
    Reply LandingPage();
    bool ClientCertificateAccepted(MHD_Connection* connection) const;
    std::shared_ptr<const CBasicAuth> Auth();
    void Failed(const char* where, const char* what);

    const ServerOptions m_options;
    CTargetPolicy& m_policy;
    CRackSessions& m_sessions;
    CExporterMetrics& m_metrics;
    CLog& m_log;
    CRefusalLog m_refusals;
    CRequestSlots m_slots;
    std::mutex m_mutex; // for the members below
    std::condition_variable m_answered;
    std::shared_ptr<const CBasicAuth> m_auth;
    std::map<Job*, std::shared_ptr<Job>> m_pending;          // handed to a pool, not yet sent
    std::size_t m_open = 0; // requests from their first line until their answer is sent
    MHD_Daemon* m_daemon = nullptr;
    int m_listenFd = -1;
    std::unique_ptr<CConnectionGuard> m_guard;
    // Last: their threads use everything above, so they end first.
    std::unique_ptr<CWorkerPool> m_passwordChecks;
    std::unique_ptr<CWorkerPool> m_workers;
};
