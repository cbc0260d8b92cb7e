#include "PythonErrors.h"

#include "core/InstrumentStatus.h"
#include "core/StatusNames.h"

#include <array>
#include <pybind11/stl.h>

namespace py = pybind11;

namespace {

// The classes, by FailureKind; created once, in the module's initialisation, and kept for
// the process (a module is never unloaded).
std::array<PyObject*, 5> g_classes{};

PyObject* NewClass(py::module_& module, const char* name, const char* doc, PyObject* bases) {
    const std::string qualified = std::string("ksm7720.") + name;
    PyObject* type = PyErr_NewExceptionWithDoc(qualified.c_str(), doc, bases, nullptr);
    if (type == nullptr) {
        throw py::error_already_set();
    }
    module.add_object(name, py::reinterpret_borrow<py::object>(type));
    return type;
}

void Raise(const CPythonFailure& failure) {
    py::object type = py::reinterpret_borrow<py::object>(g_classes[static_cast<int>(failure.kind)]);
    py::object error = type(failure.message);
    if (failure.status) {
        error.attr("status") = *failure.status;
        error.attr("status_name") = StatusWord(*failure.status);
    }
    error.attr("paths") = failure.paths;
    error.attr("candidates") = failure.candidates;
    error.attr("entries") = py::cast(failure.entries);
    PyErr_SetObject(type.ptr(), error.ptr());
}

} // namespace

CPythonFailure InstrumentFailure(const FailureDescription& described, const std::string& what) {
    CPythonFailure failure;
    failure.status = described.status;
    failure.entries = described.entries;
    if (described.status == VI_ERROR_TMO) {
        failure.kind = FailureKind::TimeOut;
        failure.message = what + ": the mainframe did not answer within the time-out";
    } else if (described.status == INSTRUMENT_ERROR_DETECTED && !described.entries.empty()) {
        failure.message = what + ": the mainframe reports " + described.entries.front().text;
    } else {
        failure.message =
            what + ": " + described.reason + " (status " + StatusHex(described.status) + ")";
    }
    if (!described.unread.empty()) {
        failure.message +=
            " (the rest of the error queue could not be read: " + described.unread + ")";
    }
    return failure;
}

CPythonFailure OpeningFailure(const COpenFailure& failure) {
    static constexpr std::array<FailureKind, 8> kKinds{
        FailureKind::LibraryNotFound, FailureKind::General,         FailureKind::General,
        FailureKind::General,         FailureKind::LibraryNotFound, FailureKind::NotAMainframe,
        FailureKind::General,         FailureKind::General};
    CPythonFailure python;
    python.kind = failure.status == VI_ERROR_TMO ? FailureKind::TimeOut
                                                 : kKinds[static_cast<int>(failure.kind)];
    python.message = failure.lines.front();
    for (std::size_t i = 1; i < failure.lines.size(); ++i) {
        // A first line ending in ':' introduces a list.
        python.message += (i > 1                          ? ", "
                           : python.message.back() == ':' ? " "
                                                          : "; ") +
                          failure.lines[i];
    }
    if (failure.status != 0) {
        python.status = failure.status;
    }
    if (failure.kind == OpenFailureKind::NoLibrary) {
        python.paths = failure.names;
    } else if (failure.kind == OpenFailureKind::UnclearChoice) {
        python.candidates = failure.names;
    }
    return python;
}

void RegisterErrors(py::module_& module) {
    PyObject* base = NewClass(
        module, "Error",
        "A failure of the mainframe, its libraries or a call. Attributes: status (the VISA or\n"
        "driver status, or None), status_name ('VI_ERROR_TMO', or the code in hex), paths\n"
        "(libraries tried), candidates (resources to choose from when the choice was not\n"
        "clear), entries (the error queue's entries behind the failure, as ErrorEntry).",
        PyExc_Exception);
    g_classes[static_cast<int>(FailureKind::General)] = base;
    py::handle baseClass(base);
    baseClass.attr("status") = py::none();
    baseClass.attr("status_name") = py::none();
    baseClass.attr("paths") = py::list();
    baseClass.attr("candidates") = py::list();
    baseClass.attr("entries") = py::list();
    g_classes[static_cast<int>(FailureKind::LibraryNotFound)] = NewClass(
        module, "LibraryNotFoundError",
        "The VISA library or the mainframe's driver library could not be loaded; paths lists\n"
        "every name tried, in order (set KSM7720_VISA_LIBRARY or KSM7720_DRIVER_LIBRARY).",
        base);
    g_classes[static_cast<int>(FailureKind::NotAMainframe)] =
        NewClass(module, "NotAMainframeError",
                 "The resource answered, but it is not a KS M7720 mainframe (nothing else was "
                 "sent to it).",
                 base);
    py::tuple timeoutBases = py::make_tuple(py::handle(base), py::handle(PyExc_TimeoutError));
    g_classes[static_cast<int>(FailureKind::TimeOut)] =
        NewClass(module, "InstrumentTimeoutError",
                 "The mainframe did not answer within the time-out; also a TimeoutError.",
                 timeoutBases.ptr());
    py::tuple valueBases = py::make_tuple(py::handle(base), py::handle(PyExc_ValueError));
    g_classes[static_cast<int>(FailureKind::UnknownObject)] =
        NewClass(module, "UnknownObjectError",
                 "A kind, object, time unit or history target the mainframe does not have; "
                 "also a ValueError.",
                 valueBases.ptr());
    py::register_exception_translator([](std::exception_ptr thrown) {
        try {
            if (thrown) {
                std::rethrow_exception(thrown);
            }
        } catch (const CPythonFailure& failure) {
            Raise(failure);
        }
    });
}
