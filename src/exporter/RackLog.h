#pragma once
// The log of one rack: every line names it (target=RESOURCE) before the pairs it is given,
// whose values are quoted as logfmt needs.
#include "core/InstrumentStatus.h"
#include "exporter/Log.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

class CRackLog {
public:
    CRackLog(CLog& log, std::string resource) : m_log(log), m_resource(std::move(resource)) {}

    void Write(LogLevel level, std::string_view message, const LogFields& fields = {}) const;

    // status=VI_ERROR_TMO code=0xBFFF0015 reason=...: the reason without the status name
    // that a VISA description may begin with.
    static LogFields StatusFields(InstrumentStatus status, std::string reason);

private:
    CLog& m_log;
    const std::string m_resource;
};
