#pragma once
// The exporter's errors, in the program's family (CError), so whoever catches one (a worker
// included) can log its text; the kind tells the exit status and the message's prefix.
// A configuration file that cannot be used is the rack list's CConfigError.
#include "core/Error.h"
#include "racks/ConfigError.h"

#include <string>

class CExporterError : public CError {
public:
    explicit CExporterError(std::string text) : CError(text), message(std::move(text)) {}

    std::string message;
};

// A usage error on the command line: exit status 2.
struct CFlagError : CExporterError {
    using CExporterError::CExporterError;
};

// The HTTP server cannot listen or start.
struct CServerError : CExporterError {
    using CExporterError::CExporterError;
};

// A pool's threads cannot be made.
struct CPoolError : CExporterError {
    using CExporterError::CExporterError;
};
