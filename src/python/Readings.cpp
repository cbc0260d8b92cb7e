#include "Readings.h"

#include "core/SiUnits.h"

#include <pybind11/stl.h>

namespace py = pybind11;

namespace {

py::object UtcTime(double seconds) {
    py::module_ datetime = py::module_::import("datetime");
    return datetime.attr("datetime")
        .attr("fromtimestamp")(seconds, datetime.attr("timezone").attr("utc"));
}

std::string ObjectOverLimitText(const std::optional<bool>& objectOverLimit) {
    return objectOverLimit ? (*objectOverLimit ? "True" : "False") : "None";
}

std::string ReadingRepr(const PyReading& reading) {
    const std::string position = reading.position.empty() ? "" : " " + reading.position;
    return "<Reading " + reading.kind + " " + reading.name + position + " " +
           py::repr(py::float_(reading.value)).cast<std::string>() + " " + reading.unit + " (" +
           py::repr(py::float_(reading.siValue)).cast<std::string>() + " " + reading.siUnit +
           ") object_over_limit=" + ObjectOverLimitText(reading.objectOverLimit) + ">";
}

// The object was first named "name", which in the logs' columns is the rack's name; it
// still answers there, with a DeprecationWarning.
std::string DeprecatedName(const std::string& object, const char* type) {
    const std::string message =
        std::string(type) + ".name is deprecated: use " + type + ".object (the same value)";
    if (PyErr_WarnEx(PyExc_DeprecationWarning, message.c_str(), 1) < 0) {
        throw py::error_already_set();
    }
    return object;
}

} // namespace

double EpochSeconds(WallTime time) {
    return std::chrono::duration<double>(time.time_since_epoch()).count();
}

PySnapshot SnapshotValues(const Snapshot& snapshot, const std::string& resource) {
    PySnapshot values{
        resource, EpochSeconds(snapshot.time), snapshot.durationSeconds, {}, snapshot.entries};
    for (const SnapshotReading& reading : snapshot.readings) {
        const QuantityKindInfo& info = KindInfo(reading.kind);
        const std::optional<bool> objectOverLimit =
            reading.objectOverLimit == Verdict::Unknown
                ? std::nullopt
                : std::optional<bool>(reading.objectOverLimit == Verdict::True);
        for (int i = 0; i < reading.count; ++i) {
            values.readings.push_back(
                {info.listKeyword, reading.object, reading.count > 1 ? kReadingPositions[i] : "",
                 reading.values[i], info.unit, reading.siValues[i], SiUnitOf(reading.kind).symbol,
                 objectOverLimit, EpochSeconds(reading.time)});
        }
    }
    return values;
}

void RegisterReadings(py::module_& module) {
    py::class_<PyReading>(module, "Reading",
                          "One value of one object, as the mainframe gave it and in base SI "
                          "units.")
        .def_readonly("kind", &PyReading::kind,
                      "The kind: 'BLOWER', 'CURRENT', 'POWER', "
                      "'TEMPERATURE' or 'VOLT'.")
        .def_readonly("object", &PyReading::name,
                      "The object: 'BLOWER1', 'P5', 'OUT3', 'AMBIENT' (the logs' object "
                      "column).")
        .def_property_readonly(
            "name",
            [](const PyReading& reading) { return DeprecatedName(reading.name, "Reading"); },
            "Deprecated: the same as object.")
        .def_readonly("position", &PyReading::position,
                      "'front', 'middle' or 'rear' for a slot sensor's three values; '' "
                      "otherwise.")
        .def_readonly("value", &PyReading::value, "The value in the mainframe's unit.")
        .def_readonly("unit", &PyReading::unit,
                      "The mainframe's unit: 'RPM', 'mA', 'mW', '.1 deg. C' or 'mV'.")
        .def_readonly("si_value", &PyReading::siValue, "The value in si_unit.")
        .def_readonly("si_unit", &PyReading::siUnit, "The base unit: 'rpm', 'A', 'W', 'degC', 'V'.")
        .def_readonly("object_over_limit", &PyReading::objectOverLimit,
                      "True when the mainframe reported the object over its limit, False when "
                      "it reported nothing, None when its error queue could not tell. A slot "
                      "sensor is judged as one object: its three positions share the verdict.")
        .def_property_readonly(
            "time", [](const PyReading& reading) { return UtcTime(reading.time); },
            "When the mainframe answered (an aware datetime in UTC).")
        .def("__repr__", &ReadingRepr);

    py::class_<ErrorEntry>(module, "ErrorEntry", "One entry of the mainframe's error queue.")
        .def_readonly("number", &ErrorEntry::code, "Its number: 201 for a limit excursion.")
        .def_readonly("text", &ErrorEntry::text, "Its text as the mainframe gives it.")
        .def("__iter__",
             [](const ErrorEntry& entry) {
                 return py::iter(py::make_tuple(entry.code, entry.text));
             })
        .def("__repr__", [](const ErrorEntry& entry) {
            return "<ErrorEntry " + std::to_string(entry.code) + " " +
                   py::repr(py::str(entry.text)).cast<std::string>() + ">";
        });

    py::class_<PySnapshot>(module, "Snapshot",
                           "Readings taken in one call: a sequence of Reading, with the "
                           "error-queue entries met on the way.")
        .def_readonly("resource", &PySnapshot::resource, "The VISA resource read.")
        .def_property_readonly(
            "time", [](const PySnapshot& snapshot) { return UtcTime(snapshot.time); },
            "When the read began (an aware datetime in UTC).")
        .def_readonly("duration", &PySnapshot::duration, "How long the read took, in seconds.")
        .def_readonly("readings", &PySnapshot::readings, "The readings, in the panel's order.")
        .def_readonly("entries", &PySnapshot::entries,
                      "Every error-queue entry drained during the read, oldest first.")
        .def("__len__", [](const PySnapshot& snapshot) { return snapshot.readings.size(); })
        .def(
            "__iter__",
            [](const PySnapshot& snapshot) {
                return py::make_iterator(snapshot.readings.begin(), snapshot.readings.end());
            },
            py::keep_alive<0, 1>())
        .def("__getitem__",
             [](const PySnapshot& snapshot, py::ssize_t index) {
                 const auto size = static_cast<py::ssize_t>(snapshot.readings.size());
                 if (index < 0) {
                     index += size;
                 }
                 if (index < 0 || index >= size) {
                     throw py::index_error("snapshot index out of range");
                 }
                 return snapshot.readings[static_cast<std::size_t>(index)];
             })
        .def("__repr__", [](const PySnapshot& snapshot) {
            return "<Snapshot " + snapshot.resource + ": " +
                   std::to_string(snapshot.readings.size()) + " readings, " +
                   std::to_string(snapshot.entries.size()) + " error entries>";
        });

    py::class_<PyHistogram>(module, "Histogram", "One object's histogram.")
        .def_readonly("kind", &PyHistogram::kind, "The kind.")
        .def_readonly("object", &PyHistogram::name, "The object.")
        .def_property_readonly(
            "name",
            [](const PyHistogram& histogram) {
                return DeprecatedName(histogram.name, "Histogram");
            },
            "Deprecated: the same as object.")
        .def_readonly("edges", &PyHistogram::edges,
                      "Each bin's (lower, upper) bounds, in unit; ten bins.")
        .def_readonly("counts", &PyHistogram::counts,
                      "The time spent in each bin, in whole time_unit.")
        .def_readonly("unit", &PyHistogram::unit, "The unit of the edges (the mainframe's).")
        .def_readonly("time_unit", &PyHistogram::timeUnit,
                      "'hours', 'minutes' or 'seconds' (a number when the mainframe gives "
                      "another).")
        .def_property_readonly(
            "time", [](const PyHistogram& histogram) { return UtcTime(histogram.time); },
            "When it was read (an aware datetime in UTC).")
        .def("__repr__", [](const PyHistogram& histogram) {
            return "<Histogram " + histogram.kind + " " + histogram.name + " in " + histogram.unit +
                   ", counts in " + histogram.timeUnit + ">";
        });

    py::class_<PyResource>(module, "Resource", "A VISA resource as the search found it.")
        .def_readonly("resource", &PyResource::resource, "Its VISA resource name.")
        .def_readonly("interface", &PyResource::interface,
                      "'VXI', 'GPIB', 'GPIB-VXI', 'ASRL', 'PXI', 'TCPIP', 'USB' or 'unknown'.")
        .def_readonly("mainframe", &PyResource::mainframe, "It identified as a mainframe.")
        .def("__repr__", [](const PyResource& resource) {
            return "<Resource " + resource.resource + " " + resource.interface +
                   (resource.mainframe ? " mainframe>" : ">");
        });

    py::class_<PySelfTest>(module, "SelfTest", "The mainframe's self-test result.")
        .def_readonly("result", &PySelfTest::result, "0 when it passed.")
        .def_readonly("text", &PySelfTest::text, "The mainframe's words for it.")
        .def_property_readonly(
            "passed", [](const PySelfTest& test) { return test.result == 0; }, "result == 0.")
        .def("__repr__", [](const PySelfTest& test) {
            return "<SelfTest " + std::to_string(test.result) + " " +
                   py::repr(py::str(test.text)).cast<std::string>() + ">";
        });
}
