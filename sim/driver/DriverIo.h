#pragma once

#include "visa/visa.h"

#include <string>

// The driver's exchanges with the mainframe through VISA: one SCPI line out, one reply line
// back. A command that returns nothing is followed by "*OPC?" in the same line, so the
// driver knows the mainframe took it and its reply never lingers for a later query.
class CDriverIo {
public:
    static constexpr size_t kMaxReply = 65536;

    // Sends `command` and confirms with "*OPC?".
    static ViStatus Command(ViSession vi, const std::string& command);
    // Sends `query` and returns its reply without the line end.
    static ViStatus Query(ViSession vi, const std::string& query, std::string& reply);

private:
    static ViStatus Send(ViSession vi, const std::string& line);
    static ViStatus ReadLine(ViSession vi, std::string& reply);
};
