#pragma once
// The module's exception family: ksm7720.Error, carrying the status and its name, with a
// subclass per failure a script may want to catch on its own. The core's failures are
// thrown as CPythonFailure wherever they happen (also with the interpreter released) and
// become these exceptions where pybind11 hands control back to Python.
#include "core/DriverInstrument.h"
#include "core/ErrorQueue.h"
#include "core/FailureDescription.h"
#include "core/OpenFailure.h"

#include <optional>
#include <pybind11/pybind11.h>
#include <string>
#include <vector>

enum class FailureKind {
    General,         // ksm7720.Error
    LibraryNotFound, // ksm7720.LibraryNotFoundError
    NotAMainframe,   // ksm7720.NotAMainframeError
    TimeOut,         // ksm7720.InstrumentTimeoutError, also a TimeoutError
    UnknownObject,   // ksm7720.UnknownObjectError, also a ValueError
};

struct CPythonFailure : CError {
    // In the order of the members, as a plain struct of them takes them.
    CPythonFailure(FailureKind failureKind = FailureKind::General, std::string text = {},
                   std::optional<InstrumentStatus> failing = {},
                   std::vector<std::string> tried = {}, std::vector<std::string> choices = {},
                   std::vector<ErrorEntry> drained = {})
        : CError(text), kind(failureKind), message(std::move(text)), status(failing),
          paths(std::move(tried)), candidates(std::move(choices)), entries(std::move(drained)) {}
    const char* what() const noexcept override { return message.c_str(); }

    FailureKind kind = FailureKind::General;
    std::string message;
    std::optional<InstrumentStatus> status;
    std::vector<std::string> paths;      // LibraryNotFound: every library name tried
    std::vector<std::string> candidates; // no clear choice: the resources to choose from
    std::vector<ErrorEntry> entries;     // the error queue's entries behind the failure
};

// A failed call as a script sees it: a time-out, the entries the error queue held (none
// left behind), or the reason for its status; what names the call.
CPythonFailure InstrumentFailure(const FailureDescription& described, const std::string& what);

// A rack that could not be opened, as a script sees it: its message with the details after
// it, the libraries tried or the resources to choose from.
CPythonFailure OpeningFailure(const COpenFailure& failure);

// Creates the exception classes in the module and translates CPythonFailure into them.
void RegisterErrors(pybind11::module_& module);
