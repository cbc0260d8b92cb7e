#include "exporter/HttpServer.h"

#include "exporter/ExporterFlags.h"
#include "exporter/HttpTls.h"
#include "exporter/ListenSocket.h"
#include "exporter/YamlFile.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kMaxConnections = 1024; // in all, within the descriptor limit
constexpr std::size_t kMaxPerClient = 32;     // connections from one client address,
constexpr std::size_t kIdlePerClient = 16;    // or its share of the work plus these idle
constexpr std::size_t kReservedFds = 128;     // for racks, files and the log
constexpr unsigned kServerSlack = 16;         // libmicrohttpd's own limit, above ours
constexpr auto kHeaderDeadline = std::chrono::seconds(10);
constexpr auto kIdleTimeOut = std::chrono::seconds(30); // a connection that sends nothing
constexpr std::size_t kRequestMemory = 32 * 1024;
constexpr std::size_t kThreadStack = 256 * 1024;
constexpr std::size_t kPasswordThreads = 1; // bcrypt takes a core while it runs
constexpr std::size_t kPasswordQueue = 8;   // checks waiting; beyond them 503

// The requests in flight one client address may have: three quarters, so one client
// cannot take them all.
std::size_t ClientShare(int maxRequests) {
    return std::max<std::size_t>(1, static_cast<std::size_t>(maxRequests) * 3 / 4);
}

Reply PasswordRefused() {
    Reply reply = Reply::Text(MHD_HTTP_UNAUTHORIZED, "user name or password refused");
    reply.askForPassword = true;
    return reply;
}

Reply Stopping() {
    return Reply::Text(MHD_HTTP_SERVICE_UNAVAILABLE, "the exporter is stopping");
}

std::string ClientOf(MHD_Connection* connection) {
    const MHD_ConnectionInfo* address =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    return ClientKey(address != nullptr ? address->client_addr : nullptr);
}

void LogFromServer(void* log, const char* format, va_list arguments) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, arguments);
    std::string message = text;
    while (!message.empty() && message.back() == '\n') {
        message.pop_back();
    }
    static_cast<CLog*>(log)->Write(LogLevel::Debug, message, "component=http");
}

} // namespace

CHttpServer::CHttpServer(ServerOptions options, CTargetPolicy& policy, CRackSessions& sessions,
                         CExporterMetrics& metrics, const CBasicAuth& auth, CLog& log)
    : m_options(std::move(options)), m_log(log),
      m_routes(policy, sessions, metrics, log, m_options.timeOffsetSeconds, m_options.reload),
      m_refusals(metrics, log),
      m_slots(static_cast<std::size_t>(m_options.maxRequests), ClientShare(m_options.maxRequests)),
      m_auth(std::shared_ptr<const CBasicAuth>(std::shared_ptr<void>{}, &auth)) {}

CHttpServer::~CHttpServer() {
    Stop(Clock::now());
    m_workers.reset();
    m_passwordChecks.reset();
    for (const auto& identity : m_identities) {
        WithdrawTlsIdentity(identity.get());
    }
}

std::string CHttpServer::Start() {
    const ListenAddress where = ParseListenAddress(m_options.listenAddress);
    const auto workers = static_cast<std::size_t>(m_options.maxRequests);
    try {
        m_workers = std::make_unique<CWorkerPool>(workers, workers, kThreadStack);
        m_passwordChecks =
            std::make_unique<CWorkerPool>(kPasswordThreads, kPasswordQueue, kThreadStack);
    } catch (const CPoolError& error) {
        throw CServerError{error.message};
    }
    const std::size_t connections = ConnectionsAllowed(kMaxConnections, kReservedFds);
    // A scraper keeps a connection per request it has in flight, and some idle ones.
    const std::size_t perClient = std::min(
        connections, std::max(kMaxPerClient, ClientShare(m_options.maxRequests) + kIdlePerClient));
    try {
        m_guard = std::make_unique<CConnectionGuard>(
            ConnectionLimits{connections, perClient, kHeaderDeadline, kIdleTimeOut}, m_refusals);
    } catch (const std::system_error& error) {
        throw CServerError{std::string("cannot start the connection reaper: ") + error.what()};
    }
    if (const auto& tls = m_options.tls) {
        if (MHD_is_feature_supported(MHD_FEATURE_TLS) != MHD_YES) {
            throw CServerError{"this libmicrohttpd was built without TLS"};
        }
        auto identity = std::make_shared<CTlsIdentity>(tls->certPem, tls->keyPem);
        m_identities.push_back(identity);
        OfferTlsIdentity(identity.get());
    }
    std::string failure;
    m_listenFd = OpenListenSocket(where, failure);
    if (m_listenFd < 0) {
        throw CServerError{"cannot listen on " + m_options.listenAddress + ": " + failure};
    }
    m_daemon = StartDaemon(connections);
    if (m_daemon == nullptr) {
        ::close(m_listenFd);
        m_listenFd = -1;
        throw CServerError{"cannot start the HTTP server on " + m_options.listenAddress +
                           " (libmicrohttpd refused its settings; --log.level=debug tells why)"};
    }
    return m_options.listenAddress.substr(0, m_options.listenAddress.rfind(':') + 1) +
           std::to_string(BoundPort(m_listenFd));
}

MHD_Daemon* CHttpServer::StartDaemon(std::size_t connections) {
    unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME |
                     MHD_USE_ERROR_LOG;
    sockaddr_storage bound{};
    socklen_t boundLength = sizeof bound;
    ::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&bound), &boundLength);
    if (bound.ss_family == AF_INET6) {
        flags |= MHD_USE_IPv6;
    }
    std::vector<MHD_OptionItem> items{
        {MHD_OPTION_EXTERNAL_LOGGER, reinterpret_cast<intptr_t>(&LogFromServer), &m_log},
        {MHD_OPTION_LISTEN_SOCKET, m_listenFd, nullptr},
        {MHD_OPTION_CONNECTION_LIMIT, static_cast<intptr_t>(connections + kServerSlack), nullptr},
        {MHD_OPTION_CONNECTION_TIMEOUT, static_cast<intptr_t>(kIdleTimeOut.count()), nullptr},
        {MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<intptr_t>(kRequestMemory), nullptr},
        {MHD_OPTION_NOTIFY_CONNECTION, reinterpret_cast<intptr_t>(&CHttpServer::OnConnection),
         this},
        {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(&CHttpServer::OnCompleted), this},
        {MHD_OPTION_URI_LOG_CALLBACK, reinterpret_cast<intptr_t>(&CHttpServer::OnUri), this},
    };
    if (const auto& tls = m_options.tls) {
        flags |= MHD_USE_TLS;
        items.push_back(
            {MHD_OPTION_HTTPS_PRIORITIES, 0, const_cast<char*>(tls->priorities.c_str())});
        if (!tls->clientCaPem.empty()) {
            items.push_back(
                {MHD_OPTION_HTTPS_MEM_TRUST, 0, const_cast<char*>(tls->clientCaPem.c_str())});
        }
    }
    items.push_back({MHD_OPTION_END, 0, nullptr});
    return m_options.tls
               ? MHD_start_daemon(flags, 0, &CHttpServer::Admit, this, &CHttpServer::OnRequest,
                                  this, MHD_OPTION_ARRAY, items.data(),
                                  MHD_OPTION_HTTPS_CERT_CALLBACK, &OfferedCertificate,
                                  MHD_OPTION_END)
               : MHD_start_daemon(flags, 0, &CHttpServer::Admit, this, &CHttpServer::OnRequest,
                                  this, MHD_OPTION_ARRAY, items.data(), MHD_OPTION_END);
}

void CHttpServer::SetWebConfig(const WebConfig& web) {
    if (web.tls.has_value() != m_options.tls.has_value()) {
        throw CConfigError{"turning TLS on or off needs a restart"};
    }
    if (web.tls && !SameTlsSettings(*web.tls, *m_options.tls)) {
        throw CConfigError{
            "a change of client_auth_type, client_ca_file or min_version needs a restart"};
    }
    auto auth = std::make_shared<const CBasicAuth>(web.users);
    std::shared_ptr<CTlsIdentity> identity;
    if (web.tls) {
        identity = std::make_shared<CTlsIdentity>(web.tls->certPem, web.tls->keyPem);
    }
    const std::lock_guard lock(m_mutex);
    m_auth = std::move(auth);
    if (identity) {
        m_identities.push_back(identity);
        OfferTlsIdentity(identity.get());
    }
}

void CHttpServer::Stop(Clock::time_point deadline) {
    if (m_daemon == nullptr) {
        return;
    }
    const MHD_socket quiet = MHD_quiesce_daemon(m_daemon);
    std::vector<Request> late;
    {
        std::unique_lock lock(m_mutex);
        m_answered.wait_until(lock, deadline, [this] { return m_requests.empty(); });
        for (const auto& [key, request] : m_requests) {
            if (request->suspended) {
                late.push_back(request);
            }
        }
    }
    for (const auto& request : late) {
        Finish(*request, Stopping());
    }
    m_guard->StopReaping();
    MHD_stop_daemon(m_daemon); // closes every connection, and the listening socket unless quiesced
    m_daemon = nullptr;
    if (quiet != MHD_INVALID_SOCKET) {
        ::close(quiet);
    }
    m_listenFd = -1;
}

MHD_Result CHttpServer::Admit(void* self, const sockaddr* address, socklen_t) {
    try {
        return static_cast<CHttpServer*>(self)->m_guard->Admit(ClientKey(address)) ? MHD_YES
                                                                                   : MHD_NO;
    } catch (...) {
        return MHD_NO;
    }
}

void CHttpServer::OnConnection(void* self, MHD_Connection* connection, void**,
                               MHD_ConnectionNotificationCode code) {
    auto& server = *static_cast<CHttpServer*>(self);
    try {
        if (code == MHD_CONNECTION_NOTIFY_CLOSED) {
            server.m_guard->Closed(connection);
            return;
        }
        const MHD_ConnectionInfo* fd =
            MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
        if (fd != nullptr) {
            server.m_guard->Opened(connection, fd->connect_fd, ClientOf(connection));
        }
    } catch (const std::exception& error) {
        server.Failed("connection notice", error.what());
    } catch (...) {
        server.Failed("connection notice", "unknown exception");
    }
}

void* CHttpServer::OnUri(void* self, const char* uri, MHD_Connection* connection) {
    auto& server = *static_cast<CHttpServer*>(self);
    try {
        auto request = std::make_shared<HttpRequest>();
        request->connection = connection;
        request->probe = ParseProbeQuery(uri != nullptr ? uri : "");
        const std::lock_guard lock(server.m_mutex);
        server.m_requests[request.get()] = request;
        return request.get();
    } catch (...) {
        server.Failed("request start", "no memory");
        return nullptr;
    }
}

void CHttpServer::OnCompleted(void* self, MHD_Connection* connection, void** state,
                              MHD_RequestTerminationCode) {
    auto& server = *static_cast<CHttpServer*>(self);
    if (*state != nullptr) {
        Request ended; // freed outside the lock
        {
            const std::lock_guard lock(server.m_mutex);
            const auto found = server.m_requests.find(static_cast<HttpRequest*>(*state));
            if (found != server.m_requests.end()) {
                ended = std::move(found->second);
                server.m_requests.erase(found);
            }
        }
        server.m_answered.notify_all();
        *state = nullptr;
    }
    try {
        server.m_guard->Answered(connection);
    } catch (...) {
        server.Failed("request end", "unknown exception");
    }
}

MHD_Result CHttpServer::OnRequest(void* self, MHD_Connection* connection, const char* url,
                                  const char* method, const char*, const char*,
                                  std::size_t* uploadSize, void** state) {
    auto& server = *static_cast<CHttpServer*>(self);
    try {
        if (*state == nullptr) {
            throw std::runtime_error("no request state");
        }
        return server.Respond(*static_cast<HttpRequest*>(*state), url, method, *uploadSize);
    } catch (const std::exception& error) {
        server.Failed("request", error.what());
    } catch (...) {
        server.Failed("request", "unknown exception");
    }
    return server.Queue(connection, Reply::Text(MHD_HTTP_INTERNAL_SERVER_ERROR, "internal error"));
}

MHD_Result CHttpServer::Respond(HttpRequest& request, const char* url, const char* method,
                                std::size_t uploadSize) {
    if (request.suspended) { // resumed: the answer is in
        Reply reply;
        {
            const std::lock_guard lock(request.mutex);
            if (!request.answered) {
                return MHD_YES;
            }
            reply = request.reply;
        }
        return Queue(request.connection, reply);
    }
    const bool readMethod = std::strcmp(method, MHD_HTTP_METHOD_GET) == 0 ||
                            std::strcmp(method, MHD_HTTP_METHOD_HEAD) == 0;
    // A GET or HEAD is answered once its headers are in, so the connection may be kept
    // open for the next; any other method is answered at once and the connection closed.
    // No body is ever read: a GET that sends one loses its connection unanswered.
    if (!request.headersSeen) {
        request.headersSeen = true;
        m_guard->HeadersIn(request.connection);
        if (readMethod) {
            return MHD_YES;
        }
    } else if (uploadSize != 0) {
        return MHD_NO;
    }
    return Dispatch(request, url, method);
}

// On the event loop: what is cheap is answered here (client certificate, remembered
// passwords, limits); the rest is handed to a pool with the connection suspended.
MHD_Result CHttpServer::Dispatch(HttpRequest& request, const char* url, const char* method) {
    MHD_Connection* connection = request.connection;
    request.start = Clock::now();
    request.url = url;
    request.method = method;
    request.client = ClientOf(connection);
    if (const char* timeOut = MHD_lookup_connection_value(connection, MHD_HEADER_KIND,
                                                          "X-Prometheus-Scrape-Timeout-Seconds")) {
        request.scrapeTimeOut = timeOut;
    }
    if (m_options.tls && !ClientCertificateAccepted(connection, m_options.tls->clientAuth)) {
        return Queue(connection, Reply::Text(MHD_HTTP_FORBIDDEN, "client certificate refused"));
    }
    bool needsBcrypt = false;
    if (auto refusal = ReadPassword(request, needsBcrypt)) {
        return Queue(connection, *refusal);
    }
    if (!needsBcrypt) {
        if (auto refusal = TakeSlot(request)) {
            return Queue(connection, *refusal);
        }
    }
    Suspend(request);
    const Request shared = request.shared_from_this();
    const bool queued = needsBcrypt
                            ? m_passwordChecks->TrySubmit([this, shared] { CheckPassword(shared); })
                            : m_workers->TrySubmit([this, shared] { Work(shared); });
    if (!queued && request.holdsSlot) {
        // A slot for every worker: only a pool that stops refuses one.
        m_slots.Give(request.client);
        Finish(request, Stopping());
    } else if (!queued) {
        m_refusals.Count(Refusal::PasswordCheckQueue);
        Finish(request,
               Reply::Text(MHD_HTTP_SERVICE_UNAVAILABLE, "too many password checks waiting"));
    }
    return MHD_YES;
}

// The request's user and password when the server asks for them: a refusal when they are
// missing or remembered as wrong; needsBcrypt when only bcrypt can tell.
std::optional<Reply> CHttpServer::ReadPassword(HttpRequest& request, bool& needsBcrypt) {
    request.auth = Auth();
    if (!request.auth->Enabled()) {
        return std::nullopt;
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
        return PasswordRefused();
    }
    const auto verdict = request.auth->Recall(request.user, request.password);
    if (verdict == CBasicAuth::Verdict::Refused) {
        return PasswordRefused();
    }
    needsBcrypt = verdict == CBasicAuth::Verdict::Unknown;
    return std::nullopt;
}

void CHttpServer::Suspend(HttpRequest& request) {
    MHD_suspend_connection(request.connection);
    const std::lock_guard lock(m_mutex);
    request.suspended = true;
}

std::optional<Reply> CHttpServer::TakeSlot(HttpRequest& request) {
    switch (m_slots.Take(request.client)) {
    case CRequestSlots::Taken::Yes:
        request.holdsSlot = true;
        return std::nullopt;
    case CRequestSlots::Taken::AllBusy:
        m_refusals.Count(Refusal::InFlightLimit);
        return Reply::Text(MHD_HTTP_SERVICE_UNAVAILABLE, "too many requests in flight");
    default:
        m_refusals.Count(Refusal::ClientInFlightLimit);
        return Reply::Text(MHD_HTTP_SERVICE_UNAVAILABLE,
                           "too many requests in flight from this client");
    }
}

void CHttpServer::CheckPassword(const Request& request) {
    {
        const std::lock_guard lock(request->mutex);
        if (request->answered) {
            return; // the server stopped while it waited
        }
    }
    if (!request->auth->Check(request->user, request->password)) {
        Finish(*request, PasswordRefused());
        return;
    }
    if (auto refusal = TakeSlot(*request)) {
        Finish(*request, *refusal);
        return;
    }
    if (!m_workers->TrySubmit([this, request] { Work(request); })) {
        m_slots.Give(request->client);
        Finish(*request, Stopping());
    }
}

void CHttpServer::Work(const Request& request) {
    Reply reply;
    try {
        bool answered = false;
        {
            const std::lock_guard lock(request->mutex);
            answered = request->answered;
        }
        reply = answered ? Reply{} : m_routes.Handle(*request);
    } catch (const std::exception& error) {
        Failed("request", error.what());
        reply = Reply::Text(MHD_HTTP_INTERNAL_SERVER_ERROR, "internal error");
    } catch (...) {
        Failed("request", "unknown exception");
        reply = Reply::Text(MHD_HTTP_INTERNAL_SERVER_ERROR, "internal error");
    }
    m_slots.Give(request->client);
    Finish(*request, std::move(reply));
}

void CHttpServer::Finish(HttpRequest& request, Reply reply) {
    const std::lock_guard lock(request.mutex);
    if (request.answered) {
        return;
    }
    request.answered = true;
    request.reply = std::move(reply);
    MHD_resume_connection(request.connection);
}

MHD_Result CHttpServer::Queue(MHD_Connection* connection, const Reply& reply) {
    MHD_Response* response = MHD_create_response_from_buffer(
        reply.body.size(), const_cast<char*>(reply.body.data()), MHD_RESPMEM_MUST_COPY);
    if (response == nullptr) {
        return MHD_NO;
    }
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, reply.contentType.c_str());
    for (const auto& [name, value] : reply.headers) {
        MHD_add_response_header(response, name.c_str(), value.c_str());
    }
    const MHD_Result queued =
        reply.askForPassword
            ? MHD_queue_basic_auth_fail_response(connection, "ksm7720 exporter", response)
            : MHD_queue_response(connection, reply.status, response);
    MHD_destroy_response(response);
    return queued;
}

std::shared_ptr<const CBasicAuth> CHttpServer::Auth() {
    const std::lock_guard lock(m_mutex);
    return m_auth;
}

void CHttpServer::Failed(const char* where, const char* what) {
    m_log.Write(LogLevel::Error, "internal error",
                std::string("where=") + CLog::Value(where) + " error=" + CLog::Value(what));
}
