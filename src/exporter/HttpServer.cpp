#include "exporter/HttpServer.h"

#include "exporter/ExporterFlags.h"
#include "exporter/HttpRules.h"
#include "exporter/YamlFile.h"
#include "metrics/RackExposition.h"

#include <gnutls/gnutls.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <sstream>
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
constexpr std::size_t kPasswordThreads = 1; // bcrypt takes a core while it runs
constexpr std::size_t kPasswordQueue = 8;   // checks waiting; beyond them 503
constexpr int kListenBacklog = 128;
constexpr std::size_t kMaxTargetLength = 255; // a VISA resource descriptor's room
constexpr const char* kExposition = "text/plain; version=0.0.4; charset=utf-8";

// The requests in flight one client address may have: three quarters, so one client
// cannot take them all.
std::size_t ClientShare(int maxRequests) {
    return std::max<std::size_t>(1, static_cast<std::size_t>(maxRequests) * 3 / 4);
}

Reply Text(unsigned status, std::string body) {
    return {status, std::move(body) + '\n', "text/plain; charset=utf-8", {}, false};
}

Reply PasswordRefused() {
    Reply reply = Text(MHD_HTTP_UNAUTHORIZED, "user name or password refused");
    reply.askForPassword = true;
    return reply;
}

// A resource descriptor: printable ASCII without spaces, within the descriptor's room.
bool WellFormedTarget(const std::string& target) {
    if (target.empty() || target.size() > kMaxTargetLength) {
        return false;
    }
    return std::all_of(target.begin(), target.end(),
                       [](unsigned char c) { return c >= 0x21 && c <= 0x7e; });
}

std::string HtmlEscaped(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        switch (c) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        case '"':
            escaped += "&quot;";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

std::string UrlEncoded(const std::string& text) {
    std::string encoded;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            encoded += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            encoded += hex;
        }
    }
    return encoded;
}

std::string ListenFailure(int error) {
    switch (error) {
    case EADDRINUSE:
        return "the port is in use";
    case EADDRNOTAVAIL:
        return "not an address of this machine";
    case EACCES:
        return "a port below 1024 needs privilege";
    default:
        return std::strerror(error);
    }
}

// A listening socket for the address: every address IPv6 and IPv4 on "::" for an empty
// host (IPv4 alone where the system has no IPv6), else the host's first address.
int OpenListenSocket(const ListenAddress& where, const std::string& text) {
    const std::string port = std::to_string(where.port);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const char* host = where.host.empty() ? "::" : where.host.c_str();
    int status = getaddrinfo(host, port.c_str(), &hints, &found);
    if (status != 0 && where.host.empty()) {
        status = getaddrinfo(nullptr, port.c_str(), &hints, &found);
    }
    if (status != 0 || found == nullptr) {
        throw CServerError{"cannot listen on " + text + ": " + gai_strerror(status)};
    }
    const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owned(found, &freeaddrinfo);
    int fd = ::socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0 && where.host.empty() && errno == EAFNOSUPPORT) {
        return OpenListenSocket({"0.0.0.0", where.port}, text);
    }
    if (fd < 0) {
        throw CServerError{"cannot listen on " + text + ": " + std::strerror(errno)};
    }
    const int on = 1;
    const int off = 0;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (found->ai_family == AF_INET6 && where.host.empty()) {
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
    }
    if (::bind(fd, found->ai_addr, found->ai_addrlen) != 0 || ::listen(fd, kListenBacklog) != 0) {
        const int error = errno;
        ::close(fd);
        throw CServerError{"cannot listen on " + text + ": " + ListenFailure(error)};
    }
    return fd;
}

unsigned BoundPort(int fd) {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return 0;
    }
    return ntohs(address.ss_family == AF_INET6
                     ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                     : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
}

// Connections allowed in all: raises the soft descriptor limit towards the hard one
// where it is lower than the connections and the exporter's other files need.
std::size_t ConnectionsAllowed() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        return kMaxConnections / 4;
    }
    const rlim_t wanted = kMaxConnections + kReservedFds;
    if (limit.rlim_cur < wanted) {
        limit.rlim_cur = std::min(limit.rlim_max, wanted);
        setrlimit(RLIMIT_NOFILE, &limit);
        getrlimit(RLIMIT_NOFILE, &limit);
    }
    return limit.rlim_cur > 2 * kReservedFds
               ? std::min<std::size_t>(kMaxConnections, limit.rlim_cur - kReservedFds)
               : kMaxPerClient;
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

// Verified by the client CA and meant for client authentication: an extended key usage
// must name it or any purpose, as Go's TLS wants (none at all passes too).
bool PeerVerified(gnutls_session_t session) {
    gnutls_typed_vdata_st purpose{
        GNUTLS_DT_KEY_PURPOSE_OID,
        reinterpret_cast<unsigned char*>(const_cast<char*>(GNUTLS_KP_TLS_WWW_CLIENT)), 0};
    unsigned status = 0;
    return gnutls_certificate_verify_peers(session, &purpose, 1, &status) == GNUTLS_E_SUCCESS &&
           status == 0;
}

bool SameTlsSettings(const TlsConfig& a, const TlsConfig& b) {
    return a.clientAuth == b.clientAuth && a.clientCaPem == b.clientCaPem &&
           a.priorities == b.priorities;
}

} // namespace

// One request's work, shared by the event loop, the pools and Stop. The event loop writes
// it before the connection is suspended; then only the answer changes, under mutex.
struct CHttpServer::Job {
    ~Job() { explicit_bzero(password.data(), password.size()); }

    MHD_Connection* connection = nullptr; // suspended until answered
    Clock::time_point start;
    std::string client;
    std::string url;
    std::string method;
    std::optional<std::string> target;
    std::optional<std::string> scrapeTimeOut;
    bool debug = false; // the probe's steps as text instead of the exposition
    TargetQuery targets = TargetQuery::Usable;
    std::shared_ptr<const CBasicAuth> auth;
    std::string user;
    std::string password;
    bool holdsSlot = false;
    std::mutex mutex;
    bool answered = false;
    Reply reply;
};

// What the server keeps of a request from its first line to its end.
struct CHttpServer::Request {
    TargetQuery targets = TargetQuery::Usable;
    bool headersSeen = false;
    std::shared_ptr<Job> job;
};

CHttpServer::CHttpServer(ServerOptions options, CTargetPolicy& policy, CRackSessions& sessions,
                         CExporterMetrics& metrics, const CBasicAuth& auth, CLog& log)
    : m_options(std::move(options)), m_policy(policy), m_sessions(sessions), m_metrics(metrics),
      m_log(log), m_refusals(metrics, log),
      m_slots(static_cast<std::size_t>(m_options.maxRequests), ClientShare(m_options.maxRequests)),
      m_auth(std::shared_ptr<const CBasicAuth>(std::shared_ptr<void>{}, &auth)) {}

CHttpServer::~CHttpServer() {
    Stop(Clock::now());
    m_workers.reset();
    m_passwordChecks.reset();
    if (m_options.tls) {
        CTlsIdentity::Offer(nullptr);
    }
}

std::string CHttpServer::Start() {
    const ListenAddress where = ParseListenAddress(m_options.listenAddress);
    const auto workers = static_cast<std::size_t>(m_options.maxRequests);
    try {
        m_workers = std::make_unique<CWorkerPool>(workers, workers);
        m_passwordChecks = std::make_unique<CWorkerPool>(kPasswordThreads, kPasswordQueue);
    } catch (const CPoolError& error) {
        throw CServerError{error.message};
    }
    const std::size_t connections = ConnectionsAllowed();
    // A scraper keeps a connection per request it has in flight, and some idle ones.
    const std::size_t perClient = std::min(
        connections, std::max(kMaxPerClient, ClientShare(m_options.maxRequests) + kIdlePerClient));
    try {
        m_guard = std::make_unique<CConnectionGuard>(
            ConnectionLimits{connections, perClient, kHeaderDeadline, kIdleTimeOut}, m_refusals);
    } catch (const std::system_error& error) {
        throw CServerError{std::string("cannot start the connection reaper: ") + error.what()};
    }
    for (const char* reason : {"connection_limit", "client_connection_limit", "header_timeout"}) {
        m_metrics.CountConnectionRefused(reason, 0);
    }
    for (const char* reason :
         {"in_flight_limit", "client_in_flight_limit", "password_check_queue"}) {
        m_metrics.CountRequestRefused(reason, 0);
    }
    if (const auto& tls = m_options.tls) {
        if (MHD_is_feature_supported(MHD_FEATURE_TLS) != MHD_YES) {
            throw CServerError{"this libmicrohttpd was built without TLS"};
        }
        CTlsIdentity::Offer(std::make_shared<const CTlsIdentity>(tls->certPem, tls->keyPem));
    }
    m_listenFd = OpenListenSocket(where, m_options.listenAddress);
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
    m_daemon =
        m_options.tls
            ? MHD_start_daemon(flags, 0, &CHttpServer::Admit, this, &CHttpServer::OnRequest, this,
                               MHD_OPTION_ARRAY, items.data(), MHD_OPTION_HTTPS_CERT_CALLBACK2,
                               &CTlsIdentity::Retrieve, MHD_OPTION_END)
            : MHD_start_daemon(flags, 0, &CHttpServer::Admit, this, &CHttpServer::OnRequest, this,
                               MHD_OPTION_ARRAY, items.data(), MHD_OPTION_END);
    if (m_daemon == nullptr) {
        ::close(m_listenFd);
        m_listenFd = -1;
        throw CServerError{"cannot start the HTTP server on " + m_options.listenAddress +
                           " (libmicrohttpd refused its settings; --log.level=debug tells why)"};
    }
    return m_options.listenAddress.substr(0, m_options.listenAddress.rfind(':') + 1) +
           std::to_string(BoundPort(m_listenFd));
}

void CHttpServer::SetWebConfig(const WebConfig& web) {
    if (web.tls.has_value() != m_options.tls.has_value()) {
        throw CConfigError{"turning TLS on or off needs a restart"};
    }
    if (web.tls && !SameTlsSettings(*web.tls, *m_options.tls)) {
        throw CConfigError{
            "a change of client_auth_type, client_ca_file or min_version needs a restart"};
    }
    auto auth = std::make_shared<const CBasicAuth>(web.users, *Auth());
    std::shared_ptr<const CTlsIdentity> identity;
    if (web.tls) {
        identity = std::make_shared<const CTlsIdentity>(web.tls->certPem, web.tls->keyPem);
    }
    const std::lock_guard lock(m_mutex);
    m_auth = std::move(auth);
    if (identity) {
        CTlsIdentity::Offer(std::move(identity));
    }
}

void CHttpServer::Stop(Clock::time_point deadline) {
    if (m_daemon == nullptr) {
        return;
    }
    const MHD_socket quiet = MHD_quiesce_daemon(m_daemon);
    std::vector<std::shared_ptr<Job>> late;
    {
        std::unique_lock lock(m_mutex);
        m_answered.wait_until(lock, deadline, [this] { return m_open == 0; });
        for (const auto& [key, job] : m_pending) {
            late.push_back(job);
        }
    }
    for (const auto& job : late) {
        Finish(*job, Text(MHD_HTTP_SERVICE_UNAVAILABLE, "the exporter is stopping"));
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
        const MHD_ConnectionInfo* address =
            MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
        if (fd != nullptr) {
            server.m_guard->Opened(connection, fd->connect_fd,
                                   ClientKey(address != nullptr ? address->client_addr : nullptr));
        }
    } catch (const std::exception& error) {
        server.Failed("connection notice", error.what());
    } catch (...) {
        server.Failed("connection notice", "unknown exception");
    }
}

void* CHttpServer::OnUri(void* self, const char* uri, MHD_Connection*) {
    auto& server = *static_cast<CHttpServer*>(self);
    try {
        auto* request = new Request{CheckTargetQuery(uri != nullptr ? uri : ""), false, nullptr};
        const std::lock_guard lock(server.m_mutex);
        ++server.m_open;
        return request;
    } catch (...) {
        static_cast<CHttpServer*>(self)->Failed("request start", "no memory");
        return nullptr;
    }
}

void CHttpServer::OnCompleted(void* self, MHD_Connection* connection, void** state,
                              MHD_RequestTerminationCode) {
    auto& server = *static_cast<CHttpServer*>(self);
    if (auto* request = static_cast<Request*>(*state)) {
        {
            const std::lock_guard lock(server.m_mutex);
            --server.m_open;
            if (request->job) {
                server.m_pending.erase(request->job.get());
            }
        }
        server.m_answered.notify_all();
        delete request;
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
        return server.Respond(connection, *static_cast<Request*>(*state), url, method, *uploadSize);
    } catch (const std::exception& error) {
        server.Failed("request", error.what());
    } catch (...) {
        server.Failed("request", "unknown exception");
    }
    return server.Queue(connection, Text(MHD_HTTP_INTERNAL_SERVER_ERROR, "internal error"));
}

MHD_Result CHttpServer::Respond(MHD_Connection* connection, Request& request, const char* url,
                                const char* method, std::size_t uploadSize) {
    if (request.job) { // resumed: the answer is in
        Reply reply;
        {
            const std::lock_guard lock(request.job->mutex);
            if (!request.job->answered) {
                return MHD_YES;
            }
            reply = request.job->reply;
        }
        return Queue(connection, reply);
    }
    const bool readMethod = std::strcmp(method, MHD_HTTP_METHOD_GET) == 0 ||
                            std::strcmp(method, MHD_HTTP_METHOD_HEAD) == 0;
    // A GET or HEAD is answered once its headers are in, so the connection may be kept
    // open for the next; any other method is answered at once and the connection closed.
    // No body is ever read: a GET that sends one loses its connection unanswered.
    if (!request.headersSeen) {
        request.headersSeen = true;
        m_guard->HeadersIn(connection);
        if (readMethod) {
            return MHD_YES;
        }
    } else if (uploadSize != 0) {
        return MHD_NO;
    }
    return Dispatch(connection, request, url, method);
}

// On the event loop: what is cheap is answered here (client certificate, remembered
// passwords, limits); the rest is handed to a pool with the connection suspended.
MHD_Result CHttpServer::Dispatch(MHD_Connection* connection, Request& request, const char* url,
                                 const char* method) {
    auto job = std::make_shared<Job>();
    job->connection = connection;
    job->start = Clock::now();
    job->url = url;
    job->method = method;
    job->targets = request.targets;
    const MHD_ConnectionInfo* address =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    job->client = ClientKey(address != nullptr ? address->client_addr : nullptr);
    if (const char* target =
            MHD_lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, "target")) {
        job->target = target;
    }
    const char* debug = MHD_lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, "debug");
    job->debug = debug != nullptr && std::strcmp(debug, "true") == 0;
    if (const char* timeOut = MHD_lookup_connection_value(connection, MHD_HEADER_KIND,
                                                          "X-Prometheus-Scrape-Timeout-Seconds")) {
        job->scrapeTimeOut = timeOut;
    }
    if (!ClientCertificateAccepted(connection)) {
        return Queue(connection, Text(MHD_HTTP_FORBIDDEN, "client certificate refused"));
    }
    job->auth = Auth();
    bool needsBcrypt = false;
    if (job->auth->Enabled()) {
        char* password = nullptr;
        char* user = MHD_basic_auth_get_username_password(connection, &password);
        if (user != nullptr && password != nullptr) {
            job->user = user;
            job->password = password;
        }
        if (password != nullptr) {
            explicit_bzero(password, std::strlen(password));
        }
        MHD_free(user);
        MHD_free(password);
        if (user == nullptr || password == nullptr) {
            return Queue(connection, PasswordRefused());
        }
        const auto verdict = job->auth->Recall(job->user, job->password);
        if (verdict == CBasicAuth::Verdict::Refused) {
            return Queue(connection, PasswordRefused());
        }
        needsBcrypt = verdict == CBasicAuth::Verdict::Unknown;
    }
    if (!needsBcrypt) {
        if (auto refusal = TakeSlot(*job)) {
            return Queue(connection, *refusal);
        }
    }
    request.job = job;
    Suspend(connection, job);
    const bool queued = needsBcrypt
                            ? m_passwordChecks->TrySubmit([this, job] { CheckPassword(job); })
                            : m_workers->TrySubmit([this, job] { Work(job); });
    if (!queued) {
        if (job->holdsSlot) {
            m_slots.Give(job->client);
        } else {
            m_refusals.Count(Refused::Request, "password_check_queue");
        }
        Finish(*job, Text(MHD_HTTP_SERVICE_UNAVAILABLE, "too many password checks waiting"));
    }
    return MHD_YES;
}

void CHttpServer::Suspend(MHD_Connection* connection, const std::shared_ptr<Job>& job) {
    MHD_suspend_connection(connection);
    const std::lock_guard lock(m_mutex);
    m_pending[job.get()] = job;
}

std::optional<Reply> CHttpServer::TakeSlot(Job& job) {
    switch (m_slots.Take(job.client)) {
    case CRequestSlots::Taken::Yes:
        job.holdsSlot = true;
        return std::nullopt;
    case CRequestSlots::Taken::AllBusy:
        m_refusals.Count(Refused::Request, "in_flight_limit");
        return Text(MHD_HTTP_SERVICE_UNAVAILABLE, "too many requests in flight");
    default:
        m_refusals.Count(Refused::Request, "client_in_flight_limit");
        return Text(MHD_HTTP_SERVICE_UNAVAILABLE, "too many requests in flight from this client");
    }
}

void CHttpServer::CheckPassword(const std::shared_ptr<Job>& job) {
    {
        const std::lock_guard lock(job->mutex);
        if (job->answered) {
            return; // the server stopped while it waited
        }
    }
    if (!job->auth->Check(job->user, job->password)) {
        Finish(*job, PasswordRefused());
        return;
    }
    if (auto refusal = TakeSlot(*job)) {
        Finish(*job, *refusal);
        return;
    }
    if (!m_workers->TrySubmit([this, job] { Work(job); })) {
        m_slots.Give(job->client);
        Finish(*job, Text(MHD_HTTP_SERVICE_UNAVAILABLE, "the exporter is stopping"));
    }
}

void CHttpServer::Work(const std::shared_ptr<Job>& job) {
    Reply reply;
    try {
        bool answered = false;
        {
            const std::lock_guard lock(job->mutex);
            answered = job->answered;
        }
        reply = answered ? Reply{} : Handle(*job);
    } catch (const std::exception& error) {
        Failed("request", error.what());
        reply = Text(MHD_HTTP_INTERNAL_SERVER_ERROR, "internal error");
    } catch (...) {
        Failed("request", "unknown exception");
        reply = Text(MHD_HTTP_INTERNAL_SERVER_ERROR, "internal error");
    }
    m_slots.Give(job->client);
    Finish(*job, std::move(reply));
}

void CHttpServer::Finish(Job& job, Reply reply) {
    {
        const std::lock_guard lock(job.mutex);
        if (job.answered) {
            return;
        }
        job.answered = true;
        job.reply = std::move(reply);
        MHD_resume_connection(job.connection);
    }
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

Reply CHttpServer::Handle(const Job& job) {
    if (job.url == "/-/reload" && m_options.reload) {
        return Reload(job);
    }
    if (job.url != "/" && job.url != "/metrics" && job.url != "/probe") {
        return Text(MHD_HTTP_NOT_FOUND, "not found; try /, /metrics or /probe?target=RESOURCE");
    }
    if (job.method != MHD_HTTP_METHOD_GET && job.method != MHD_HTTP_METHOD_HEAD) {
        Reply reply = Text(MHD_HTTP_METHOD_NOT_ALLOWED, "only GET and HEAD");
        reply.headers.emplace_back("Allow", "GET, HEAD");
        return reply;
    }
    if (job.url == "/probe") {
        return Probe(job);
    }
    if (job.url == "/metrics") {
        std::ostringstream out;
        m_metrics.Write(out);
        return {MHD_HTTP_OK, out.str(), kExposition, {}, false};
    }
    return LandingPage();
}

Reply CHttpServer::Reload(const Job& job) {
    if (job.method != MHD_HTTP_METHOD_POST) {
        Reply reply = Text(MHD_HTTP_METHOD_NOT_ALLOWED, "only POST");
        reply.headers.emplace_back("Allow", "POST");
        return reply;
    }
    const auto failure = m_options.reload();
    return failure ? Text(MHD_HTTP_INTERNAL_SERVER_ERROR, *failure) : Text(MHD_HTTP_OK, "reloaded");
}

Reply CHttpServer::Probe(const Job& job) {
    if (job.targets == TargetQuery::Repeated) {
        return Text(MHD_HTTP_BAD_REQUEST, "target is given more than once");
    }
    if (job.targets == TargetQuery::HoldsNul) {
        return Text(MHD_HTTP_BAD_REQUEST, "target holds a NUL byte");
    }
    if (!job.target || job.target->empty()) {
        return Text(MHD_HTTP_BAD_REQUEST, "target is missing: /probe?target=RESOURCE");
    }
    const std::string& target = *job.target;
    if (!WellFormedTarget(target)) {
        return Text(MHD_HTTP_BAD_REQUEST,
                    "target is not a VISA resource name (printable, no spaces, at most 255 bytes)");
    }
    const auto budget = ScrapeBudget(job.scrapeTimeOut ? job.scrapeTimeOut->c_str() : nullptr,
                                     m_options.timeOffsetSeconds);
    if (!budget) {
        return Text(MHD_HTTP_BAD_REQUEST,
                    "X-Prometheus-Scrape-Timeout-Seconds is not a positive number of seconds");
    }
    const auto rack = m_policy.Allowed(target);
    if (!rack) {
        m_log.Write(LogLevel::Debug, "target refused", "target=" + CLog::Value(target));
        return Text(MHD_HTTP_FORBIDDEN, "target is not among the racks this exporter may probe");
    }
    const auto deadline = job.start + std::chrono::duration_cast<Clock::duration>(
                                          std::chrono::duration<double>(*budget));
    if (job.debug) {
        const auto session = m_sessions.Get(*rack);
        return Text(MHD_HTTP_OK, TracedProbe(*session, rack->resource, job.start, deadline));
    }
    ScrapeResult scrape = m_sessions.Get(*rack)->Probe(deadline);
    scrape.durationSeconds = std::chrono::duration<double>(Clock::now() - job.start).count();
    m_metrics.CountProbe(rack->resource, scrape.up);
    std::ostringstream out;
    WriteRackExposition(scrape, {std::nullopt, rack->resource, rack->name, rack->blowers}, out);
    return {MHD_HTTP_OK, out.str(), kExposition, {}, false};
}

Reply CHttpServer::LandingPage() {
    std::string body = "<!DOCTYPE html>\n<html><head><title>KS M7720 exporter</title></head>"
                       "<body>\n<h1>KS M7720 exporter</h1>\n"
                       "<p><a href=\"/metrics\">The exporter's own metrics</a></p>\n"
                       "<p>Racks to probe:</p>\n<ul>\n";
    for (const RackConfig& rack : m_policy.Known()) {
        body += "<li><a href=\"/probe?target=" + UrlEncoded(rack.resource) + "\">" +
                HtmlEscaped(rack.resource) + "</a>" +
                (rack.name.empty() ? "" : " (" + HtmlEscaped(rack.name) + ")") + "</li>\n";
    }
    body += "</ul>\n</body></html>\n";
    return {MHD_HTTP_OK, body, "text/html; charset=utf-8", {}, false};
}

bool CHttpServer::ClientCertificateAccepted(MHD_Connection* connection) const {
    if (!m_options.tls) {
        return true;
    }
    const ClientAuth rule = m_options.tls->clientAuth;
    if (rule == ClientAuth::None || rule == ClientAuth::Request) {
        return true;
    }
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_GNUTLS_SESSION);
    const auto session =
        info != nullptr ? static_cast<gnutls_session_t>(info->tls_session) : nullptr;
    unsigned count = 0;
    const bool given =
        session != nullptr && gnutls_certificate_get_peers(session, &count) != nullptr && count > 0;
    switch (rule) {
    case ClientAuth::RequireAny:
        return given;
    case ClientAuth::VerifyIfGiven:
        return !given || PeerVerified(session);
    default:
        return given && PeerVerified(session);
    }
}

std::shared_ptr<const CBasicAuth> CHttpServer::Auth() {
    const std::lock_guard lock(m_mutex);
    return m_auth;
}

void CHttpServer::Failed(const char* where, const char* what) {
    m_log.Write(LogLevel::Error, "internal error",
                std::string("where=") + CLog::Value(where) + " error=" + CLog::Value(what));
}
