#pragma once

#include "visa/visa.h"

#include <string>

// The driver's exchanges with the mainframe through VISA: one SCPI line out, one reply line
// back. A command that returns nothing is followed by "*OPC?" in the same line, so the
// driver knows the mainframe took it and its reply never lingers for a later query. After a
// failed exchange or a reply it cannot read, the driver clears the session (a device clear,
// which reaches the mainframe), so the next query is answered by its own reply.
class CDriverIo {
public:
    static constexpr size_t kMaxReply = 65536;

    // Sends `command` and confirms with "*OPC?".
    static ViStatus Command(ViSession vi, const std::string& command);
    // Sends `query` and returns its reply without the line end.
    static ViStatus Query(ViSession vi, const std::string& query, std::string& reply);
    // For a reply that cannot be read: clears the session, so that nothing the mainframe
    // still sends is taken for the answer to a later query; VI_ERROR_INV_RESPONSE.
    static ViStatus Unreadable(ViSession vi);

private:
    static ViStatus Send(ViSession vi, const std::string& line);
    static ViStatus ReadLine(ViSession vi, std::string& reply);
};
