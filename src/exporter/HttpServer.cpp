#include "exporter/HttpServer.h"

#include "exporter/YamlFile.h"
#include "metrics/RackExposition.h"

#include <gnutls/gnutls.h>
#include <netdb.h>
#include <unistd.h>

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <thread>

namespace {

constexpr unsigned kExtraConnections = 32;      // beyond the requests in flight: room for a 503
constexpr unsigned kExtraPerClient = 16;        // one client address may hold all but these
constexpr unsigned kIdleTimeOutSeconds = 30;    // a connection that sends nothing is closed
constexpr std::size_t kRequestMemory = 32 * 1024;
constexpr std::size_t kThreadStack = 256 * 1024;
constexpr double kDefaultScrapeTimeOut = 10.0;  // without Prometheus's header
constexpr double kMaxScrapeTimeOut = 120.0;
constexpr std::size_t kMaxTargetLength = 255;   // a VISA resource descriptor's room
constexpr const char* kExposition = "text/plain; version=0.0.4; charset=utf-8";

Reply Text(unsigned status, std::string body) {
    return {status, std::move(body) + '\n', "text/plain; charset=utf-8", {}, false};
}

// A resource descriptor: printable ASCII without spaces, within the descriptor's room.
bool WellFormedTarget(const std::string& target) {
    if (target.empty() || target.size() > kMaxTargetLength) {
        return false;
    }
    for (unsigned char c : target) {
        if (c < 0x21 || c > 0x7e) {
            return false;
        }
    }
    return true;
}

// Seconds the scrape may take: Prometheus's time-out less the offset; nothing when the
// header is not a number of seconds.
std::optional<double> ScrapeBudget(const char* header, double offset) {
    double timeOut = kDefaultScrapeTimeOut;
    if (header != nullptr) {
        char* end = nullptr;
        timeOut = std::strtod(header, &end);
        if (end == header || *end != '\0' || !(timeOut > 0)) {
            return std::nullopt;
        }
    }
    timeOut = std::min(timeOut, kMaxScrapeTimeOut);
    return timeOut > offset ? timeOut - offset : timeOut;
}

std::string HtmlEscaped(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        default: escaped += c;
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

// HOST:PORT as getaddrinfo finds it: [v6]:port, v4:port, name:port, or :port for every
// address.
sockaddr_storage ListenAddress(const std::string& text) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos) {
        throw CServerError{"--web.listen-address takes HOST:PORT, not '" + text + "'"};
    }
    std::string host = text.substr(0, colon);
    const std::string port = text.substr(colon + 1);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const int error = getaddrinfo(host.empty() ? nullptr : host.c_str(), port.c_str(), &hints, &found);
    if (error != 0 || found == nullptr) {
        throw CServerError{"--web.listen-address '" + text + "': " + gai_strerror(error)};
    }
    sockaddr_storage address{};
    std::memcpy(&address, found->ai_addr, found->ai_addrlen);
    freeaddrinfo(found);
    return address;
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

bool PeerVerified(gnutls_session_t session) {
    unsigned status = 0;
    return gnutls_certificate_verify_peers2(session, &status) == GNUTLS_E_SUCCESS && status == 0;
}

} // namespace

CHttpServer::CHttpServer(ServerOptions options, CTargetPolicy& policy, CRackSessions& sessions,
                         CExporterMetrics& metrics, const CBasicAuth& auth, CLog& log)
    : m_options(std::move(options)), m_policy(policy), m_sessions(sessions), m_metrics(metrics),
      m_auth(auth), m_log(log) {}

CHttpServer::~CHttpServer() {
    if (m_daemon != nullptr) {
        MHD_stop_daemon(m_daemon);
    }
}

std::string CHttpServer::Start() {
    m_address = ListenAddress(m_options.listenAddress);
    // MHD_USE_ITC: so Stop can stop accepting before the server stops.
    unsigned flags = MHD_USE_THREAD_PER_CONNECTION | MHD_USE_INTERNAL_POLLING_THREAD |
                     MHD_USE_POLL | MHD_USE_ERROR_LOG | MHD_USE_ITC;
    if (m_address.ss_family == AF_INET6) {
        flags |= MHD_USE_IPv6;
    }
    const unsigned inFlight = static_cast<unsigned>(m_options.maxRequests);
    std::vector<MHD_OptionItem> items{
        {MHD_OPTION_EXTERNAL_LOGGER, reinterpret_cast<intptr_t>(&LogFromServer), &m_log},
        {MHD_OPTION_SOCK_ADDR, 0, &m_address},
        {MHD_OPTION_CONNECTION_LIMIT, inFlight + kExtraConnections, nullptr},
        {MHD_OPTION_PER_IP_CONNECTION_LIMIT, inFlight + kExtraConnections - kExtraPerClient, nullptr},
        {MHD_OPTION_CONNECTION_TIMEOUT, kIdleTimeOutSeconds, nullptr},
        {MHD_OPTION_CONNECTION_MEMORY_LIMIT, kRequestMemory, nullptr},
        {MHD_OPTION_THREAD_STACK_SIZE, kThreadStack, nullptr},
    };
    if (const auto& tls = m_options.tls) {
        if (MHD_is_feature_supported(MHD_FEATURE_TLS) != MHD_YES) {
            throw CServerError{"this libmicrohttpd was built without TLS"};
        }
        flags |= MHD_USE_TLS;
        items.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char*>(tls->certPem.c_str())});
        items.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char*>(tls->keyPem.c_str())});
        items.push_back({MHD_OPTION_HTTPS_PRIORITIES, 0, const_cast<char*>(tls->priorities.c_str())});
        if (!tls->clientCaPem.empty()) {
            items.push_back({MHD_OPTION_HTTPS_MEM_TRUST, 0, const_cast<char*>(tls->clientCaPem.c_str())});
        }
    }
    items.push_back({MHD_OPTION_END, 0, nullptr});
    m_daemon = MHD_start_daemon(flags, 0, nullptr, nullptr, &CHttpServer::OnRequest, this,
                                MHD_OPTION_ARRAY, items.data(), MHD_OPTION_END);
    if (m_daemon == nullptr) {
        throw CServerError{"cannot listen on " + m_options.listenAddress +
                           " (in use, not this machine's, or the TLS files are unusable)"};
    }
    const MHD_DaemonInfo* info = MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_BIND_PORT);
    const std::string port = info != nullptr ? std::to_string(info->port) : "?";
    return m_options.listenAddress.substr(0, m_options.listenAddress.rfind(':') + 1) + port;
}

void CHttpServer::SetWebConfig(const WebConfig& web) {
    if (web.tls != m_options.tls) {
        throw CConfigError{"tls_server_config changed: the change needs a restart"};
    }
    auto auth = std::make_shared<const CBasicAuth>(web.users);
    const std::lock_guard lock(m_authMutex);
    m_reloadedAuth = std::move(auth);
}

void CHttpServer::Stop(std::chrono::steady_clock::time_point deadline) {
    if (m_daemon == nullptr) {
        return;
    }
    const MHD_socket listener = MHD_quiesce_daemon(m_daemon);
    while (m_inFlight > 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    MHD_stop_daemon(m_daemon);
    m_daemon = nullptr;
    if (listener != MHD_INVALID_SOCKET) {
        ::close(listener); // only now: a connection thread may use it until the stop
    }
}

MHD_Result CHttpServer::OnRequest(void* self, MHD_Connection* connection, const char* url,
                                  const char* method, const char*, const char*,
                                  std::size_t* uploadSize, void** state) {
    auto& server = *static_cast<CHttpServer*>(self);
    static int headersSeen;
    const bool readMethod =
        std::strcmp(method, MHD_HTTP_METHOD_GET) == 0 || std::strcmp(method, MHD_HTTP_METHOD_HEAD) == 0;
    // A GET or HEAD is answered once its headers are in, so the connection may be kept
    // open for the next; any other method is answered at once and the connection closed.
    // No body is ever read: a GET that sends one loses its connection unanswered.
    if (*state == nullptr && readMethod) {
        *state = &headersSeen;
        return MHD_YES;
    }
    if (*uploadSize != 0) {
        return MHD_NO;
    }
    Reply reply;
    if (++server.m_inFlight > server.m_options.maxRequests) {
        reply = Text(MHD_HTTP_SERVICE_UNAVAILABLE, "too many requests in flight");
    } else {
        reply = server.Handle(connection, url, method);
    }
    --server.m_inFlight;
    MHD_Response* response = MHD_create_response_from_buffer(
        reply.body.size(), reply.body.data(), MHD_RESPMEM_MUST_COPY);
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

Reply CHttpServer::Handle(MHD_Connection* connection, const std::string& url,
                          const std::string& method) {
    if (!ClientCertificateAccepted(connection)) {
        return Text(MHD_HTTP_FORBIDDEN, "client certificate refused");
    }
    if (!PasswordAccepted(connection)) {
        Reply reply = Text(MHD_HTTP_UNAUTHORIZED, "user name or password refused");
        reply.askForPassword = true;
        return reply;
    }
    if (url == "/-/reload" && m_options.reload) {
        return Reload(method);
    }
    if (url != "/" && url != "/metrics" && url != "/probe") {
        return Text(MHD_HTTP_NOT_FOUND, "not found; try /, /metrics or /probe?target=RESOURCE");
    }
    if (method != MHD_HTTP_METHOD_GET && method != MHD_HTTP_METHOD_HEAD) {
        Reply reply = Text(MHD_HTTP_METHOD_NOT_ALLOWED, "only GET and HEAD");
        reply.headers.emplace_back("Allow", "GET, HEAD");
        return reply;
    }
    if (url == "/probe") {
        return Probe(connection);
    }
    if (url == "/metrics") {
        std::ostringstream out;
        m_metrics.Write(out);
        return {MHD_HTTP_OK, out.str(), kExposition, {}, false};
    }
    return LandingPage();
}

Reply CHttpServer::Probe(MHD_Connection* connection) {
    const auto start = std::chrono::steady_clock::now();
    const char* target = MHD_lookup_connection_value(connection, MHD_GET_ARGUMENT_KIND, "target");
    if (target == nullptr || target[0] == '\0') {
        return Text(MHD_HTTP_BAD_REQUEST, "target is missing: /probe?target=RESOURCE");
    }
    if (!WellFormedTarget(target)) {
        return Text(MHD_HTTP_BAD_REQUEST,
                    "target is not a VISA resource name (printable, no spaces, at most 255 bytes)");
    }
    const auto budget = ScrapeBudget(
        MHD_lookup_connection_value(connection, MHD_HEADER_KIND,
                                    "X-Prometheus-Scrape-Timeout-Seconds"),
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
    const auto deadline =
        start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                    std::chrono::duration<double>(*budget));
    ScrapeResult scrape = m_sessions.Get(*rack)->Probe(deadline);
    scrape.durationSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    m_metrics.CountProbe(rack->resource, scrape.up);
    std::ostringstream out;
    WriteRackExposition(scrape, {std::nullopt, rack->resource, rack->name, rack->blowers}, out);
    return {MHD_HTTP_OK, out.str(), kExposition, {}, false};
}

Reply CHttpServer::Reload(const std::string& method) {
    if (method != MHD_HTTP_METHOD_POST) {
        Reply reply = Text(MHD_HTTP_METHOD_NOT_ALLOWED, "only POST");
        reply.headers.emplace_back("Allow", "POST");
        return reply;
    }
    const auto failure = m_options.reload();
    return failure ? Text(MHD_HTTP_INTERNAL_SERVER_ERROR, "reload failed: " + *failure)
                   : Text(MHD_HTTP_OK, "configuration reloaded");
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

bool CHttpServer::PasswordAccepted(MHD_Connection* connection) {
    std::shared_ptr<const CBasicAuth> reloaded;
    {
        const std::lock_guard lock(m_authMutex);
        reloaded = m_reloadedAuth;
    }
    const CBasicAuth& auth = reloaded ? *reloaded : m_auth;
    if (!auth.Enabled()) {
        return true;
    }
    char* password = nullptr;
    char* user = MHD_basic_auth_get_username_password(connection, &password);
    const bool accepted =
        user != nullptr && password != nullptr && auth.Check(user, password);
    if (password != nullptr) {
        std::memset(password, 0, std::strlen(password));
    }
    MHD_free(user);
    MHD_free(password);
    return accepted;
}
