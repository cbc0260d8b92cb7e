#pragma once
// The exporter's errors, one family under std::exception, so whoever catches one (a worker
// included) can log its text; the kind tells the exit status and the message's prefix.
#include <exception>
#include <string>

class CExporterError : public std::exception {
public:
    explicit CExporterError(std::string text) : message(std::move(text)) {}
    const char* what() const noexcept override { return message.c_str(); }

    std::string message;
};

// A usage error on the command line: exit status 2.
struct CFlagError : CExporterError {
    using CExporterError::CExporterError;
};

// A configuration file, or what it names, that cannot be used.
struct CConfigError : CExporterError {
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
