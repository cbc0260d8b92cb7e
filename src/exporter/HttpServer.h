#pragma once
// The exporter's HTTP(S) server on libmicrohttpd: a thread per connection, so a probe that
// waits on its rack holds only its own connection; bounded connections (in all and per
// client address), idle time-out, request memory and requests in flight. Routes: GET / a
// landing page, GET /metrics the exporter's own figures, GET /probe?target=RESOURCE one
// rack's exposition; 400 for a missing or malformed target, 401 without the right
// password, 403 for a target not allowed or a client certificate refused, 404 and 405 for
// other paths and methods, 503 beyond the requests allowed in flight. With a reload
// function, POST /-/reload calls it: 200, or 500 with the reason it failed.
#include "exporter/BasicAuth.h"
#include "exporter/ExporterMetrics.h"
#include "exporter/Log.h"
#include "exporter/RackSessions.h"
#include "exporter/TargetPolicy.h"
#include "exporter/WebConfig.h"

#include <sys/socket.h>

#include <microhttpd.h>

#include <atomic>
#include <chrono>
#include <functional>
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
    // Reads the configuration again: the reason it failed, or nothing. Empty: no
    // POST /-/reload.
    std::function<std::optional<std::string>()> reload;
};

struct CServerError {
    std::string message;
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
    CHttpServer(ServerOptions options, CTargetPolicy& policy, CRackSessions& sessions,
                CExporterMetrics& metrics, const CBasicAuth& auth, CLog& log);
    ~CHttpServer();
    CHttpServer(const CHttpServer&) = delete;
    CHttpServer& operator=(const CHttpServer&) = delete;

    // Listens; throws CServerError. The address it listens on, with the port it got.
    std::string Start();
    // The users of a web configuration read again; throws CConfigError for a change of
    // its TLS settings, which needs a restart.
    void SetWebConfig(const WebConfig& web);
    // Stops accepting, gives the requests in flight until deadline to be answered, then
    // stops the server.
    void Stop(std::chrono::steady_clock::time_point deadline);

private:
    static MHD_Result OnRequest(void* self, MHD_Connection* connection, const char* url,
                         const char* method, const char* version, const char* upload,
                         std::size_t* uploadSize, void** state);
    Reply Handle(MHD_Connection* connection, const std::string& url, const std::string& method);
    Reply Probe(MHD_Connection* connection);
    Reply LandingPage();
    bool ClientCertificateAccepted(MHD_Connection* connection) const;
    bool PasswordAccepted(MHD_Connection* connection);
    Reply Reload(const std::string& method);

    const ServerOptions m_options;
    CTargetPolicy& m_policy;
    CRackSessions& m_sessions;
    CExporterMetrics& m_metrics;
    const CBasicAuth& m_auth;
    std::mutex m_authMutex;
    std::shared_ptr<const CBasicAuth> m_reloadedAuth; // replaces m_auth once set
    CLog& m_log;
    std::atomic<int> m_inFlight{0};
    sockaddr_storage m_address{};
    MHD_Daemon* m_daemon = nullptr;
};
