#pragma once
// Why a rack could not be opened, in the words every front end shares: the message first,
// then its details, one a line (a library's loader error, a resource that did not open).
#include "core/Error.h"
#include "core/InstrumentStatus.h"

#include <string>
#include <vector>

enum class OpenFailureKind {
    NoLibrary,       // no VISA or no driver library loaded: names lists every name tried
    ResourceManager, // the VISA resource manager did not open
    NoMainframe,     // none named, and the search found no mainframe
    UnclearChoice,   // none named, and the search found several: names lists them
    BadDriver,       // the driver library lacks an entry point
    NotAMainframe,   // the resource identified as another instrument
    NotOpened,       // the driver could not open the resource
    TimeOutRefused,  // the driver refused the I/O time-out
};

class COpenFailure : public CError {
public:
    COpenFailure(OpenFailureKind kind, std::vector<std::string> lines, InstrumentStatus status = 0,
                 std::string reason = {})
        : CError(lines.front()), kind(kind), status(status), reason(std::move(reason)),
          lines(std::move(lines)) {}

    OpenFailureKind kind;
    InstrumentStatus status; // the failing call's; 0 when no call said why
    std::string reason;      // the words for status, when there are any
    std::vector<std::string> lines;
    std::vector<std::string> names;
};
