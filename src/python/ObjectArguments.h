#pragma once
// A script's names for kinds, objects, time units and history targets, checked against the
// catalogue as the command line checks them: strings in any case, or the module's enums.
// A name the mainframe does not have throws CPythonFailure (UnknownObject).
#include "core/QuantityCatalogue.h"

#include <pybind11/pybind11.h>
#include <string>

struct ObjectArgument {
    QuantityKind kind;
    int position; // as ObjectCodeOf takes it
    ObjectCode code;
};

QuantityKind KindArgument(const pybind11::handle& kind);
ObjectArgument ObjectArguments(const pybind11::handle& kind, const pybind11::handle& name);
int TimeUnitArgument(const pybind11::handle& unit);

// The history-reset pair the driver is given: ("ALL", "") and ("Q", "") for the targets
// "all" and "queue", the kind's reset keyword and the object's reset name otherwise.
struct ResetTarget {
    std::string keyword;
    std::string name;
};
ResetTarget ResetArguments(const pybind11::handle& target, const pybind11::handle& name);

// Adds the enums Kind, Blower, Supply, Sensor and TimeUnit to the module, their members
// named and valued as the catalogue spells them (each also a str).
void RegisterNameEnums(pybind11::module_& module);
