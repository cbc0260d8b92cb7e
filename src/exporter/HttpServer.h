#pragma once
// The exporter's HTTP(S) server on libmicrohttpd. One event-loop thread holds every
// connection and answers what is cheap itself (the landing page, /metrics); a probe's
// connection is suspended while it waits for a request slot, and its work handed to a
// fixed pool (CHttpRoutes builds the answer), so no thread is made per request and a probe
// that waits on its rack holds only a worker. A reload runs on a thread of its own. No
// exception leaves a libmicrohttpd callback.
#include "exporter/ConnectionGuard.h"
#include "exporter/ExporterError.h"
#include "exporter/HttpRoutes.h"
#include "exporter/PasswordChecks.h"
#include "exporter/RefusalLog.h"
#include "exporter/RequestSlots.h"
#include "exporter/TlsIdentity.h"
#include "exporter/WebConfig.h"
#include "exporter/WorkerPool.h"

#include <microhttpd.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

struct ServerOptions {
    std::string listenAddress;
    int maxRequests = 40;
    double timeOffsetSeconds = 0.5;
    std::optional<TlsConfig> tls;
    // POST /-/reload calls it on the reload thread. Empty: no such route.
    ReloadHook reload;
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
    using Request = std::shared_ptr<HttpRequest>;
    using Clock = std::chrono::steady_clock;

    MHD_Daemon* StartDaemon(std::size_t connections);
    static MHD_Result Admit(void* self, const sockaddr* address, socklen_t length);
    static void OnConnection(void* self, MHD_Connection* connection, void** socketState,
                             MHD_ConnectionNotificationCode code);
    static void* OnUri(void* self, const char* uri, MHD_Connection* connection);
    static void OnCompleted(void* self, MHD_Connection* connection, void** state,
                            MHD_RequestTerminationCode code);
    static MHD_Result OnRequest(void* self, MHD_Connection* connection, const char* url,
                                const char* method, const char* version, const char* upload,
                                std::size_t* uploadSize, void** state);
    MHD_Result Respond(HttpRequest& request, const char* url, const char* method);
    MHD_Result Dispatch(HttpRequest& request, const char* url, const char* method);
    MHD_Result Queue(MHD_Connection* connection, const Reply& reply);
    // Where a request's answer is built: at once, on a worker with a probe slot, or on the
    // reload thread.
    enum class Work { Inline, Probe, Reload };
    Work Kind(const HttpRequest& request) const;
    bool Suspend(HttpRequest& request); // false once the server stops
    void Hand(const Request& request);  // a suspended request whose password passed
    void Slotted(const Request& request, CRequestSlots::Outcome outcome, Clock::duration waited);
    void Checked(const Request& request, CRequestSlots::Outcome outcome, bool passed,
                 Clock::duration waited);
    void CountWait(const char* queue, Clock::duration waited);
    void Run(const Request& request);               // builds and sends the answer
    void Finish(HttpRequest& request, Reply reply); // the answer, once; resumes
    void Failed(const char* where, const char* what);

    const ServerOptions m_options;
    CLog& m_log;
    CHttpRoutes m_routes;
    CExporterMetrics& m_metrics;
    CRefusalLog m_refusals;
    CRequestSlots m_slots;
    CPasswordChecks m_passwords;
    std::mutex m_mutex; // for the members below
    std::condition_variable m_answered;
    bool m_stopping = false;
    // Every request from its first line until its answer is sent, by its address.
    std::map<const HttpRequest*, Request> m_requests;
    MHD_Daemon* m_daemon = nullptr;
    int m_listenFd = -1;
    std::unique_ptr<CConnectionGuard> m_guard;
    std::unique_ptr<CWorkerPool> m_reloads;
    std::unique_ptr<CWorkerPool> m_workers; // last: its threads use everything above
};
