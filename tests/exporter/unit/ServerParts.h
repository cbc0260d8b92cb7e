#pragma once
// What a CHttpServer in a unit test needs beside its options: no racks, no users.
#include "exporter/HttpServer.h"

struct ServerParts {
    CLog log{LogLevel::Error};
    CTargetPolicy policy{std::vector<RackConfig>{}};
    CRackSessions sessions{LibraryNames{}, 1000, log};
    CExporterMetrics metrics{"test"};
    CBasicAuth auth{{}};
};
