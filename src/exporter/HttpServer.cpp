#include "exporter/HttpServer.h"

#include "exporter/HttpTls.h"
#include "exporter/ListenSocket.h"
#include "racks/YamlFile.h"

#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <system_error>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kMaxConnections = 1024; // in all, within the descriptor limit
constexpr std::size_t kMaxPerClient = 32;     // connections from one client address, or
constexpr std::size_t kIdlePerClient = 16;    // every slot, as many waiting, and these idle
constexpr std::size_t kReservedFds = 128;     // for racks, files and the log
constexpr unsigned kServerSlack = 16;         // libmicrohttpd's own limit, above ours
constexpr auto kRequestDeadline = std::chrono::seconds(10);
constexpr auto kIdleTimeOut = std::chrono::seconds(30); // a connection that sends nothing
constexpr std::size_t kRequestMemory = std::size_t{32} * 1024;

Reply PasswordRefused() {
    Reply reply = Reply::Text(MHD_HTTP_UNAUTHORIZED, "user name or password refused");
    reply.askForPassword = true;
    return reply;
}

Reply ReloadInProgress() {
    return Reply::Text(MHD_HTTP_CONFLICT, "a reload is in progress");
}

Reply Stopping() {
    Reply reply = Reply::Text(MHD_HTTP_SERVICE_UNAVAILABLE, "the exporter is stopping");
    reply.headers.emplace_back(MHD_HTTP_HEADER_CONNECTION, "close");
    return reply;
}

// The headers that say how long a body is: how many of each, and what is wrong with them.
struct Framing {
    int contentLengths = 0;
    int transferEncodings = 0;
    bool nonZeroLength = false;
    const char* malformed = nullptr; // why the headers cannot be trusted to frame a body
};

MHD_Result CountFraming(void* framing, MHD_ValueKind, const char* key, const char* value) {
    auto& counts = *static_cast<Framing*>(framing);
    if (key == nullptr) {
        return MHD_YES;
    }
    const std::string_view name = key;
    const std::string_view text = value != nullptr ? value : "";
    if (name.find_first_of(" \t") != std::string_view::npos) {
        // "Content-Length : 5": a proxy in front may take it for the length, the server not.
        counts.malformed = "a header name holds whitespace";
    } else if (strcasecmp(key, MHD_HTTP_HEADER_CONTENT_LENGTH) == 0) {
        ++counts.contentLengths;
        if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) {
            counts.malformed = "Content-Length is not a decimal number";
        }
        counts.nonZeroLength |= text.find_first_not_of('0') != std::string_view::npos;
    } else if (strcasecmp(key, MHD_HTTP_HEADER_TRANSFER_ENCODING) == 0) {
        ++counts.transferEncodings;
    }
    return MHD_YES;
}

// No route takes a body, so a request that announces one (or frames it two ways, or in a
// header another reader may take otherwise) is refused before any of it is read, and its
// connection closed: a body can never hold a connection past the request deadline, nor
// be read as a request of its own.
std::optional<Reply> BodyRefused(MHD_Connection* connection) {
    Framing framing;
    MHD_get_connection_values(connection, MHD_HEADER_KIND, &CountFraming, &framing);
    const bool ambiguous =
        framing.contentLengths > 1 || (framing.contentLengths > 0 && framing.transferEncodings > 0);
    const char* why = framing.malformed != nullptr ? framing.malformed
                      : ambiguous                  ? "the length of the body is ambiguous"
                      : framing.transferEncodings > 0 || framing.nonZeroLength
                          ? "no request takes a body"
                          : nullptr;
    if (why == nullptr) {
        return std::nullopt;
    }
    Reply reply = Reply::Text(MHD_HTTP_BAD_REQUEST, why);
    reply.headers.emplace_back(MHD_HTTP_HEADER_CONNECTION, "close");
    return reply;
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
    static_cast<CLog*>(log)->Write(LogLevel::Debug, message, {{"component", "http"}});
}

} // namespace

CHttpServer::CHttpServer(ServerOptions options, CTargetPolicy& policy, CRackSessions& sessions,
                         CExporterMetrics& metrics, const CBasicAuth& auth, CLog& log)
    : m_options(std::move(options)), m_log(log),
      m_routes(policy, sessions, metrics, log, m_options.timeOffsetSeconds, m_options.reload),
      m_metrics(metrics), m_refusals(metrics, log),
      m_slots(static_cast<std::size_t>(m_options.maxRequests)), m_passwords(auth) {}

CHttpServer::~CHttpServer() {
    Stop(Clock::now());
    m_passwords.Stop(); // first: a check that passed hands its request to a worker
    m_workers.reset();
    m_reloads.reset();
    if (m_options.tls) {
        CTlsIdentity::Offer(nullptr);
    }
}

std::string CHttpServer::Start() {
    const ListenAddress where = ParseListenAddress(m_options.listenAddress);
    const auto workers = static_cast<std::size_t>(m_options.maxRequests);
    try {
        m_workers = std::make_unique<CWorkerPool>(workers, workers);
        m_reloads = std::make_unique<CWorkerPool>(1, 1); // one runs, one more may wait
        m_passwords.Start();
    } catch (const CPoolError& error) {
        throw CServerError{error.message};
    }
    const std::size_t connections = ConnectionsAllowed(kMaxConnections, kReservedFds);
    // A scraper keeps a connection per request it has in flight or waiting, and idle ones.
    const std::size_t perClient =
        std::min(connections, std::max(kMaxPerClient, 2 * workers + kIdlePerClient));
    try {
        m_guard = std::make_unique<CConnectionGuard>(
            ConnectionLimits{connections, perClient, kRequestDeadline, kIdleTimeOut}, m_refusals);
    } catch (const std::system_error& error) {
        throw CServerError{std::string("cannot start the connection reaper: ") + error.what()};
    }
    if (const auto& tls = m_options.tls) {
        if (MHD_is_feature_supported(MHD_FEATURE_TLS) != MHD_YES) {
            throw CServerError{"this libmicrohttpd was built without TLS"};
        }
        CTlsIdentity::Offer(std::make_shared<const CTlsIdentity>(tls->certPem, tls->keyPem));
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
                                  MHD_OPTION_HTTPS_CERT_CALLBACK2, &CTlsIdentity::Retrieve,
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
    auto auth = std::make_shared<const CBasicAuth>(web.users, *m_passwords.Auth());
    std::shared_ptr<const CTlsIdentity> identity;
    if (web.tls) {
        identity = std::make_shared<const CTlsIdentity>(web.tls->certPem, web.tls->keyPem);
    }
    m_passwords.SetAuth(std::move(auth));
    if (identity) {
        CTlsIdentity::Offer(std::move(identity));
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
        m_stopping = true; // no request is suspended from now on
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
    m_slots.Close();
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
                                  const char* method, const char*, const char*, std::size_t*,
                                  void** state) {
    auto& server = *static_cast<CHttpServer*>(self);
    try {
        if (*state == nullptr) {
            throw std::runtime_error("no request state");
        }
        return server.Respond(*static_cast<HttpRequest*>(*state), url, method);
    } catch (const std::exception& error) {
        server.Failed("request", error.what());
    } catch (...) {
        server.Failed("request", "unknown exception");
    }
    return server.Queue(connection, Reply::Text(MHD_HTTP_INTERNAL_SERVER_ERROR, "internal error"));
}

MHD_Result CHttpServer::Respond(HttpRequest& request, const char* url, const char* method) {
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
    // Answered once the whole request is in, so the connection may be kept for the next:
    // without a body that is at the call after its headers.
    if (!request.headersSeen) {
        request.headersSeen = true;
        const auto refusal = BodyRefused(request.connection);
        if (!refusal) {
            return MHD_YES;
        }
        m_refusals.Count(Refusal::Body, ClientOf(request.connection));
        return Queue(request.connection, *refusal);
    }
    m_guard->RequestIn(request.connection);
    return Dispatch(request, url, method);
}

// On the event loop: what is cheap is answered here (client certificate, remembered
// passwords, the landing page, /metrics, paths and methods no route takes); a probe waits
// for a slot and a reload for the reload thread with the connection suspended.
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
    // A header that is not a number is the probe's 400; the wait for it is the default's.
    const auto budget =
        ScrapeBudget(request.scrapeTimeOut ? request.scrapeTimeOut->c_str() : nullptr,
                     m_options.timeOffsetSeconds)
            .value_or(*ScrapeBudget(nullptr, m_options.timeOffsetSeconds));
    request.deadline = request.start + std::chrono::duration_cast<Clock::duration>(
                                           std::chrono::duration<double>(budget));
    if (m_options.tls && !ClientCertificateAccepted(connection, m_options.tls->clientAuth)) {
        return Queue(connection, Reply::Text(MHD_HTTP_FORBIDDEN, "client certificate refused"));
    }
    const auto pair = m_passwords.Read(request);
    if (pair == CPasswordChecks::Pair::Refused) {
        return Queue(connection, PasswordRefused());
    }
    if (pair == CPasswordChecks::Pair::Passed && Kind(request) == Work::Inline) {
        return Queue(connection, m_routes.Handle(request));
    }
    if (!Suspend(request)) {
        return Queue(connection, Stopping());
    }
    const Request shared = request.shared_from_this();
    if (pair == CPasswordChecks::Pair::Unknown) {
        m_passwords.Check(shared, [this, shared](CRequestSlots::Outcome outcome, bool passed,
                                                 Clock::duration waited) {
            Checked(shared, outcome, passed, waited);
        });
    } else {
        Hand(shared);
    }
    return MHD_YES;
}

CHttpServer::Work CHttpServer::Kind(const HttpRequest& request) const {
    if (request.url == "/probe") {
        return Work::Probe;
    }
    return request.url == "/-/reload" && m_options.reload ? Work::Reload : Work::Inline;
}

void CHttpServer::Hand(const Request& request) {
    switch (Kind(*request)) {
    case Work::Inline:
        Run(request);
        break;
    case Work::Reload:
        if (!m_reloads->TrySubmit([this, request] { Run(request); })) {
            Finish(*request, ReloadInProgress());
        }
        break;
    case Work::Probe:
        m_slots.Take(request->client, request->deadline,
                     [this, request](CRequestSlots::Outcome outcome, Clock::duration waited) {
                         Slotted(request, outcome, waited);
                     });
        break;
    }
}

void CHttpServer::Slotted(const Request& request, CRequestSlots::Outcome outcome,
                          Clock::duration waited) {
    if (outcome == CRequestSlots::Outcome::Taken) {
        CountWait("probe", waited);
        request->holdsSlot = true;
        if (!m_workers->TrySubmit([this, request] { Run(request); })) {
            m_slots.Give(request->client); // a slot for every worker: only a stopping pool refuses
            Finish(*request, Stopping());
        }
    } else if (outcome == CRequestSlots::Outcome::GaveUp) {
        CountWait("probe", waited);
        m_refusals.Count(Refusal::ProbeSlotDeadline, request->client);
        Finish(*request, Reply::Text(MHD_HTTP_SERVICE_UNAVAILABLE,
                                     "no probe slot came free before the scrape's deadline"));
    } else {
        Finish(*request, Stopping());
    }
}

bool CHttpServer::Suspend(HttpRequest& request) {
    const std::lock_guard lock(m_mutex);
    if (m_stopping) {
        return false;
    }
    MHD_suspend_connection(request.connection);
    request.suspended = true;
    return true;
}

void CHttpServer::Checked(const Request& request, CRequestSlots::Outcome outcome, bool passed,
                          Clock::duration waited) {
    if (waited > Clock::duration::zero()) {
        CountWait("password_check", waited);
    }
    if (outcome == CRequestSlots::Outcome::GaveUp) {
        m_refusals.Count(Refusal::PasswordCheckDeadline, request->client);
        Finish(*request, Reply::Text(MHD_HTTP_SERVICE_UNAVAILABLE,
                                     "the password check's turn did not come before the deadline"));
    } else if (outcome == CRequestSlots::Outcome::Closed) {
        Finish(*request, Stopping());
    } else if (!passed) {
        Finish(*request, PasswordRefused());
    } else {
        Hand(request);
    }
}

void CHttpServer::CountWait(const char* queue, Clock::duration waited) {
    if (waited > Clock::duration::zero()) {
        m_metrics.CountWait(queue, std::chrono::duration<double>(waited).count());
    }
}

void CHttpServer::Run(const Request& request) {
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
    if (request->holdsSlot) {
        m_slots.Give(request->client);
    }
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

void CHttpServer::Failed(const char* where, const char* what) {
    m_log.Write(LogLevel::Error, "internal error", {{"where", where}, {"error", what}});
}
