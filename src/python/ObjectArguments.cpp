#include "ObjectArguments.h"

#include "PythonErrors.h"
#include "core/InstrumentStatus.h"
#include "core/QuantityNames.h"
#include "core/TimeUnits.h"

namespace py = pybind11;

namespace {

// The text of a str or of a str-valued enum member; anything else is a TypeError, as
// Python raises for an argument of the wrong type.
std::string NameText(const py::handle& value, const char* what) {
    if (py::isinstance<py::str>(value)) {
        return value.cast<std::string>();
    }
    py::object enumType = py::module_::import("enum").attr("Enum");
    if (py::isinstance(value, enumType)) {
        return NameText(value.attr("value"), what);
    }
    throw py::type_error(std::string(what) + " must be a str or a ksm7720 enum member, not " +
                         py::str(py::type::of(value).attr("__name__")).cast<std::string>());
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

QuantityKind KindArgument(const py::handle& kind) {
    const std::string text = NameText(kind, "kind");
    const auto found = KindByName(text);
    if (!found) {
        Unknown("unknown kind '" + text + "' (BLOWER, CURRENT, POWER, TEMPERATURE or VOLT)");
    }
    return *found;
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
