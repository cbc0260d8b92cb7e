#pragma once
// The exporter's command line. A mistake is a CFlagError.
#include "exporter/ExporterError.h"
#include "exporter/Log.h"

#include <optional>
#include <string>
#include <vector>

struct ExporterFlags {
    bool help = false;
    bool version = false;
    bool configCheck = false;                     // check both files, then exit
    bool enableLifecycle = false;                 // POST /-/reload
    std::string listenAddress = "127.0.0.1:9772"; // loopback only unless told otherwise
    std::string webConfigFile;                    // empty: plain HTTP, no users
    std::string configFile;                       // empty: what the VISA search lists
    std::string credentialsFile;    // --config.check: a LoadCredential= drop-in to read files by
    double timeOffsetSeconds = 0.5; // taken off Prometheus's scrape time-out
    int maxRequests = 40;           // in flight at once; 503 beyond
    LogLevel logLevel = LogLevel::Info;
};

ExporterFlags ParseExporterFlags(const std::vector<std::string>& args);
const char* ExporterUsage();
