#pragma once
// What the exporter answers, apart from HTTP itself (so it is tested without a socket):
// GET / a landing page, GET /metrics the exporter's own figures, GET
// /probe?target=RESOURCE one rack's exposition, POST /-/reload when there is a reload hook
// (409 while one runs); 400 for a target that cannot be probed, 403 for one not allowed,
// 404 and 405 for other paths and methods. A probe runs on a worker: it waits for its rack.
#include "exporter/ExporterMetrics.h"
#include "exporter/HttpRequest.h"
#include "exporter/Log.h"
#include "exporter/RackSessions.h"
#include "exporter/TargetPolicy.h"

#include <functional>
#include <optional>
#include <string>

// A reload's outcome; why one failed goes to the log alone (a file may be quoted there).
enum class ReloadOutcome { Reloaded, Failed, InProgress };
using ReloadHook = std::function<ReloadOutcome()>;

class CHttpRoutes {
public:
    // reload empty: no such route.
    CHttpRoutes(CTargetPolicy& policy, CRackSessions& sessions, CExporterMetrics& metrics,
                CLog& log, double timeOffsetSeconds, ReloadHook reload);

    Reply Handle(const HttpRequest& request);

private:
    Reply Probe(const HttpRequest& request);
    Reply Reload(const HttpRequest& request);
    Reply Metrics();
    Reply LandingPage();

    CTargetPolicy& m_policy;
    CRackSessions& m_sessions;
    CExporterMetrics& m_metrics;
    CLog& m_log;
    const double m_timeOffsetSeconds;
    const ReloadHook m_reload;
};
