#pragma once
// A CHttpServer in a unit test over parts of its own: no racks, and no users unless given.
#include "exporter/HttpServer.h"

struct ServerParts {
    explicit ServerParts(std::map<std::string, std::string> users = {}) : auth(std::move(users)) {}
    CLog log{LogLevel::Error};
    CTargetPolicy policy{std::vector<RackConfig>{}};
    CRackSessions sessions{LibraryNames{}, 1000, log};
    CExporterMetrics metrics{"test"};
    CBasicAuth auth;
};

// Options for a server on a free port of 127.0.0.1 whose reload route calls hook.
inline ServerOptions Loopback(ReloadHook hook = {}, int maxRequests = 4) {
    ServerOptions options;
    options.listenAddress = "127.0.0.1:0";
    options.maxRequests = maxRequests;
    options.reload = std::move(hook);
    return options;
}

struct TestServer : ServerParts {
    explicit TestServer(ServerOptions options, std::map<std::string, std::string> users = {})
        : ServerParts(std::move(users)),
          server(std::move(options), policy, sessions, metrics, auth, log) {}
    CHttpServer server;
};
