#include "ObjectArguments.h"

#include "PythonErrors.h"
#include "core/InstrumentStatus.h"
#include "core/QuantityNames.h"
#include "core/TimeUnits.h"

namespace py = pybind11;

namespace {

std::string TypeName(const py::handle& value) {
    return py::str(py::type::of(value).attr("__name__")).cast<std::string>();
}

// The text of a str or of a str-valued enum member; anything else is a TypeError, as
// Python raises for an argument of the wrong type.
std::string NameText(const py::handle& value, const char* what) {
    if (py::isinstance<py::str>(value)) {
        return TextArgument(value, what);
    }
    py::object enumType = py::module_::import("enum").attr("Enum");
    if (py::isinstance(value, enumType)) {
        return NameText(value.attr("value"), what);
    }
    throw py::type_error(std::string(what) + " must be a str or a ksm7720 enum member, not " +
                         TypeName(value));
}

[[noreturn]] void Unknown(const std::string& message) {
    throw CPythonFailure{FailureKind::UnknownObject, message, {}, {}, {}, {}};
}

// A str-valued enum class made with Python's functional API.
void AddEnum(py::module_& module, const char* name, const std::vector<std::string>& members,
             const char* doc) {
    py::list pairs;
    for (const std::string& member : members) {
        pairs.append(py::make_tuple(AsciiUpper(member), member));
    }
    py::object type = py::module_::import("enum").attr("Enum")(
        name, pairs, py::arg("module") = "ksm7720", py::arg("type") = py::type::of(py::str()));
    type.attr("__doc__") = doc;
    module.add_object(name, type);
}

} // namespace

// The driver takes C strings: a NUL would end the text early and a lone surrogate has no
// UTF-8 form, so either is refused rather than cut or replaced.
std::string TextArgument(const py::handle& value, const char* what) {
    if (!py::isinstance<py::str>(value)) {
        throw py::type_error(std::string(what) + " must be a str, not " + TypeName(value));
    }
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(value.ptr(), &size);
    if (data == nullptr) {
        const py::error_already_set unencodable;
        throw py::value_error(std::string(what) + " cannot be encoded as UTF-8 (" +
                              py::str(unencodable.value()).cast<std::string>() + ")");
    }
    std::string text(data, static_cast<std::size_t>(size));
    if (text.find('\0') != std::string::npos) {
        throw py::value_error(std::string(what) + " must not contain a NUL character");
    }
    return text;
}

// Anything Python turns into a float (int, float, Decimal, a NumPy scalar), but not a bool:
// True is no number of seconds or millivolts.
double NumberArgument(const py::handle& value, const char* what) {
    if (!PyBool_Check(value.ptr())) {
        const double result = PyFloat_AsDouble(value.ptr());
        if (result != -1.0 || PyErr_Occurred() == nullptr) {
            return result;
        }
        if (!PyErr_ExceptionMatches(PyExc_TypeError)) {
            throw py::error_already_set(); // an int too large for a float
        }
        PyErr_Clear();
    }
    throw py::type_error(std::string(what) + " must be a real number, not " + TypeName(value));
}

QuantityKind KindArgument(const py::handle& kind) {
    const std::string text = NameText(kind, "kind");
    const auto found = KindByName(text);
    if (!found) {
        Unknown("unknown kind '" + text + "' (BLOWER, CURRENT, POWER, TEMPERATURE or VOLT)");
    }
    return *found;
}

KindSet KindsArgument(const py::handle& kinds) {
    if (kinds.is_none()) {
        return kAllKinds;
    }
    KindSet chosen{};
    if (py::isinstance<py::str>(kinds) || !py::isinstance<py::iterable>(kinds)) {
        chosen[KindArgument(kinds)] = true;
        return chosen;
    }
    for (const py::handle& kind : kinds) {
        chosen[KindArgument(kind)] = true;
    }
    if (chosen == KindSet{}) {
        throw py::value_error("kinds names no kind: give None for every kind, or one or more "
                              "of BLOWER, CURRENT, POWER, TEMPERATURE and VOLT");
    }
    return chosen;
}

ObjectArgument ObjectArguments(const py::handle& kind, const py::handle& name) {
    const QuantityKind found = KindArgument(kind);
    const std::string text = NameText(name, "name");
    const auto position = ObjectPositionByName(found, text);
    if (!position) {
        Unknown("no " + std::string(KindInfo(found).listKeyword) + " object named '" + text + "'");
    }
    return {found, *position, *ObjectCodeOf(found, *position)};
}

int TimeUnitArgument(const py::handle& unit) {
    const std::string text = NameText(unit, "unit");
    const auto units = core::TimeUnitByName(text);
    if (!units) {
        Unknown("unknown time unit '" + text + "' (hours, minutes or seconds)");
    }
    return *units;
}

ResetTarget ResetArguments(const py::handle& target, const py::handle& name) {
    if (name.is_none()) {
        const std::string text = AsciiUpper(NameText(target, "target"));
        if (text == "ALL" || text == "QUEUE") {
            return {text == "ALL" ? "ALL" : "Q", ""};
        }
        Unknown("reset_history takes a kind and a name, 'all' or 'queue', not '" + text + "'");
    }
    const ObjectArgument object = ObjectArguments(target, name);
    return {KindInfo(object.kind).resetKeyword, ResetObjectName(object.kind, object.position)};
}

void RegisterNameEnums(py::module_& module) {
    std::vector<std::string> kinds;
    for (const QuantityKindInfo& info : kQuantityKinds) {
        kinds.emplace_back(info.listKeyword);
    }
    AddEnum(module, "Kind", kinds, "The five kinds of quantity the mainframe monitors.");
    std::vector<std::string> names;
    for (int position = 1; position <= ObjectCount(BLOWER); ++position) {
        names.push_back(ObjectName(BLOWER, position));
    }
    AddEnum(module, "Blower", names, "The blowers, as objects of the kind BLOWER.");
    names.assign(kSupplyNames.begin(), kSupplyNames.end());
    AddEnum(module, "Supply", names, "The supplies, as objects of CURRENT, POWER and VOLT.");
    names.assign(kSensorNames.begin(), kSensorNames.end());
    AddEnum(module, "Sensor", names, "The slot sensors and AMBIENT, objects of TEMPERATURE.");
    AddEnum(module, "TimeUnit",
            {core::TimeUnitName(kTimeUnitHours), core::TimeUnitName(kTimeUnitMinutes),
             core::TimeUnitName(kTimeUnitSeconds)},
            "The histograms' time units.");
}
