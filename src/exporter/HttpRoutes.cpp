#include "exporter/HttpRoutes.h"

#include "exporter/ProbeTrace.h"
#include "exporter/RackLog.h"

#include <microhttpd.h>

#include <cctype>
#include <cstdio>
#include <sstream>

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kExposition = "text/plain; version=0.0.4; charset=utf-8";

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

} // namespace

CHttpRoutes::CHttpRoutes(CTargetPolicy& policy, CRackSessions& sessions, CExporterMetrics& metrics,
                         CLog& log, double timeOffsetSeconds, ReloadHook reload)
    : m_policy(policy), m_sessions(sessions), m_metrics(metrics), m_log(log),
      m_timeOffsetSeconds(timeOffsetSeconds), m_reload(std::move(reload)) {}

Reply CHttpRoutes::Handle(const HttpRequest& request) {
    if (request.url == "/-/reload" && m_reload) {
        return Reload(request);
    }
    if (request.url != "/" && request.url != "/metrics" && request.url != "/probe") {
        return Reply::Text(MHD_HTTP_NOT_FOUND,
                           "not found; try /, /metrics or /probe?target=RESOURCE");
    }
    if (request.method != MHD_HTTP_METHOD_GET && request.method != MHD_HTTP_METHOD_HEAD) {
        Reply reply = Reply::Text(MHD_HTTP_METHOD_NOT_ALLOWED, "only GET and HEAD");
        reply.headers.emplace_back("Allow", "GET, HEAD");
        return reply;
    }
    if (request.url == "/probe") {
        return Probe(request);
    }
    return request.url == "/metrics" ? Metrics() : LandingPage();
}

Reply CHttpRoutes::Reload(const HttpRequest& request) {
    if (request.method != MHD_HTTP_METHOD_POST) {
        Reply reply = Reply::Text(MHD_HTTP_METHOD_NOT_ALLOWED, "only POST");
        reply.headers.emplace_back("Allow", "POST");
        return reply;
    }
    switch (m_reload()) {
    case ReloadOutcome::Reloaded:
        return Reply::Text(MHD_HTTP_OK, "reloaded");
    case ReloadOutcome::InProgress:
        return Reply::Text(MHD_HTTP_CONFLICT, "a reload is in progress");
    default:
        return Reply::Text(MHD_HTTP_INTERNAL_SERVER_ERROR,
                           "configuration not reloaded; the exporter's log says why");
    }
}

Reply CHttpRoutes::Probe(const HttpRequest& request) {
    const ProbeQuery& query = request.probe;
    if (!query.error.empty()) {
        return Reply::Text(MHD_HTTP_BAD_REQUEST, query.error);
    }
    const auto budget = ScrapeBudget(
        request.scrapeTimeOut ? request.scrapeTimeOut->c_str() : nullptr, m_timeOffsetSeconds);
    if (!budget) {
        return Reply::Text(
            MHD_HTTP_BAD_REQUEST,
            "X-Prometheus-Scrape-Timeout-Seconds is not a positive number of seconds");
    }
    const auto rack = m_policy.Allowed(query.target);
    if (!rack) {
        CRackLog(m_log, query.target).Write(LogLevel::Debug, "target refused");
        return Reply::Text(MHD_HTTP_FORBIDDEN,
                           "target is not among the racks this exporter may probe");
    }
    const auto deadline = request.start + std::chrono::duration_cast<Clock::duration>(
                                              std::chrono::duration<double>(*budget));
    if (query.debug) {
        const auto session = m_sessions.Get(*rack);
        return Reply::Text(MHD_HTTP_OK,
                           TracedProbe(*session, rack->resource, request.start, deadline));
    }
    const auto session = m_sessions.Get(*rack);
    ScrapeResult scrape = session->Probe(deadline);
    scrape.durationSeconds = std::chrono::duration<double>(Clock::now() - request.start).count();
    m_metrics.CountProbe(rack->resource, scrape.up);
    const RackLabels labels{std::nullopt, rack->resource, rack->name, rack->blowers};
    return {MHD_HTTP_OK, session->Exposition(scrape, labels), kExposition, {}, false};
}

Reply CHttpRoutes::Metrics() {
    std::ostringstream out;
    m_metrics.Write(out);
    return {MHD_HTTP_OK, out.str(), kExposition, {}, false};
}

Reply CHttpRoutes::LandingPage() {
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
