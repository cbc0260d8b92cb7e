// ksm7720: the KS M7720 mainframe from Python, through the same libraries, discovery,
// identification, error-queue rules and status names as the command line and the exporter.
#include "MainframeCaster.h"
#include "ObjectArguments.h"
#include "PythonErrors.h"
#include "Readings.h"
#include "core/TimeUnits.h"

#include <pybind11/stl.h>

namespace py = pybind11;

namespace {

constexpr const char* kModuleDoc = R"(The KS M7720 VXI mainframe from Python.

The same libraries, discovery, identification, error-queue rules and status names as the
ksm7720 command line and the Prometheus exporter. The VISA library and the mainframe's
driver library are loaded at run time (KSM7720_VISA_LIBRARY and KSM7720_DRIVER_LIBRARY
name them; otherwise the usual names and the VXIplug&play folder are searched).

    import ksm7720
    with ksm7720.Mainframe() as rack:          # the only mainframe found
        for reading in rack.snapshot(["VOLT"]):
            print(reading.object, reading.si_value, reading.si_unit, reading.object_over_limit)
        print(rack.errors())

Kinds and objects are given as strings in any case ("volt", "P5") or as members of the
enums Kind, Blower, Supply and Sensor. Every failure raises ksm7720.Error or one of its
subclasses; a reading over its limit is a flag on the reading, not an exception.
Instrument calls release the GIL: other threads run while a rack answers, and calls on
one Mainframe from several threads take turns.)";

constexpr const char* kMainframeDoc = R"(An open, identified mainframe.

Mainframe(resource=None, *, timeout=12.0, accept_any=False)

resource: the VISA resource ("VXI0::24::INSTR"); None opens the only mainframe the search
finds, and raises ksm7720.Error naming the candidates (its .candidates) when there are
several. timeout: seconds every call may take before InstrumentTimeoutError. accept_any:
with resource None, take any resource that opens without identifying it (the resource
given or chosen is still identified before anything else is sent to it).

A context manager: the session is closed when the with block ends. close() waits for a
call in progress on another thread, then closes; a call after close raises ksm7720.Error.)";

void RegisterMainframe(py::module_& module) {
    py::class_<CPyMainframe>(module, "Mainframe", kMainframeDoc)
        .def(py::init([](const py::object& resource, const py::object& timeout, bool acceptAny) {
                 return std::make_unique<CPyMainframe>(
                     resource.is_none() ? std::nullopt
                                        : std::optional(TextArgument(resource, "resource")),
                     NumberArgument(timeout, "timeout"), acceptAny);
             }),
             py::arg("resource") = py::none(), py::kw_only(), py::arg("timeout") = 12.0,
             py::arg("accept_any") = false)
        .def_property_readonly("resource", &CPyMainframe::Resource,
                               "The VISA resource this session has open.")
        .def_property_readonly("timeout", &CPyMainframe::TimeOut, "Seconds each call may take.")
        .def_property_readonly("closed", &CPyMainframe::Closed, "True once close() was called.")
        .def("close", &CPyMainframe::Close,
             "Ends the driver session; waits for a call in progress on another thread. A second "
             "close does nothing.")
        .def(
            "__enter__",
            [](py::object self) {
                const CPyMainframe& mainframe = self.cast<const CPyMainframe&>();
                if (mainframe.Closed()) {
                    CPythonFailure closed;
                    closed.message = "with: " + mainframe.Resource() + " is closed";
                    throw closed;
                }
                return self;
            },
            "The mainframe itself; a closed one raises ksm7720.Error.")
        .def(
            "__exit__",
            [](CPyMainframe& mainframe, const py::args&) {
                mainframe.Close();
                return false;
            },
            "Closes the session; an exception from the with block goes on.")
        .def(
            "read",
            [](CPyMainframe& mainframe, const py::object& kind, const py::object& name) {
                const ObjectArgument object = ObjectArguments(kind, name);
                return mainframe.Read(object.kind, object.position);
            },
            py::arg("kind"), py::arg("name"),
            "The present reading of one object: a Snapshot of one Reading (three for a slot "
            "sensor: front, middle, rear). The error queue is drained before and after, so "
            "object_over_limit is the mainframe's word on the object; the entries are on the "
            "Snapshot.")
        .def(
            "snapshot",
            [](CPyMainframe& mainframe, const py::object& kinds) {
                return mainframe.TakeSnapshot(KindsArgument(kinds));
            },
            py::arg("kinds") = py::none(),
            "Every object of the rack (or of the kind or kinds given), read in one call in the "
            "panel's "
            "order: a Snapshot, a sequence of Reading with the error-queue entries met.")
        .def(
            "histogram",
            [](CPyMainframe& mainframe, const py::object& kind, const py::object& name) {
                const ObjectArgument object = ObjectArguments(kind, name);
                return mainframe.Histogram(object.kind, object.position);
            },
            py::arg("kind"), py::arg("name"),
            "One object's histogram: bin edges, counts, unit and time unit.")
        .def("errors", &CPyMainframe::Errors,
             "Takes every entry off the error queue, oldest first: a list of ErrorEntry.")
        .def(
            "time_unit",
            [](CPyMainframe& mainframe) { return core::TimeUnitName(mainframe.TimeUnits()); },
            "The histograms' time unit: 'hours', 'minutes' or 'seconds'.")
        .def(
            "set_time_unit",
            [](CPyMainframe& mainframe, const py::object& unit) {
                mainframe.SetTimeUnits(TimeUnitArgument(unit));
            },
            py::arg("unit"), "Sets the histograms' time unit: 'hours', 'minutes' or 'seconds'.")
        .def(
            "set_limit",
            [](CPyMainframe& mainframe, const py::object& kind, const py::object& name,
               const py::object& value) {
                const ObjectArgument object = ObjectArguments(kind, name);
                mainframe.SetLimit(object.code, NumberArgument(value, "value"));
            },
            py::arg("kind"), py::arg("name"), py::arg("value"),
            "Sets an object's limit, in the mainframe's unit for its kind (mV, mA, mW, tenths "
            "of a degree C, RPM). Not saved until save().")
        .def("save", &CPyMainframe::Save,
             "Saves the limits and the time unit in the mainframe's memory.")
        .def(
            "message",
            [](CPyMainframe& mainframe, const py::object& text) {
                mainframe.Message(TextArgument(text, "text"));
            },
            py::arg("text"),
            "Shows text on the mainframe's display (at most 40 printable ASCII characters).")
        .def(
            "reset_history",
            [](CPyMainframe& mainframe, const py::object& target, const py::object& name) {
                const ResetTarget reset = ResetArguments(target, name);
                mainframe.ResetHistory(reset.keyword, reset.name);
            },
            py::arg("target"), py::arg("name") = py::none(),
            "Clears a history: reset_history(kind, name) for one object, "
            "reset_history('queue') for the history queue, reset_history('all') for every "
            "one.")
        .def("reset", &CPyMainframe::Reset,
             "Resets the mainframe: limits and time unit back to the saved settings, display "
             "cleared.")
        .def("self_test", &CPyMainframe::SelfTest,
             "Runs the mainframe's self test: a SelfTest (result 0 when it passed, and text).")
        .def("__repr__", [](const CPyMainframe& mainframe) {
            return "<ksm7720.Mainframe " + mainframe.Resource() +
                   (mainframe.Closed() ? " closed>" : ">");
        });
}

} // namespace

// The extension is the package's private part, ksm7720._ksm7720, which the package
// re-exports. Its classes and functions are registered under the package's name, the one
// scripts see in reprs, help() and the type stub.
PYBIND11_MODULE(_ksm7720, module) {
    module.doc() = kModuleDoc;
    module.attr("__version__") = KSM7720_VERSION;
    const py::object extensionName = module.attr("__name__");
    module.attr("__name__") = "ksm7720";
    RegisterErrors(module);
    RegisterNameEnums(module);
    RegisterReadings(module);
    RegisterMainframe(module);
    module.def("resources", &ListResources,
               "Every VISA resource the search finds: a list of Resource (its name, its "
               "interface, whether it identified as a mainframe), as 'ksm7720 list' shows "
               "them.");
    module.attr("__name__") = extensionName;
}
