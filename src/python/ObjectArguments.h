#pragma once
// A script's names for kinds, objects, time units and history targets, checked against the
// catalogue as the command line checks them: strings in any case, or the module's enums.
// A name the mainframe does not have throws CPythonFailure (UnknownObject). Text and
// numbers are checked as Python checks its own: the wrong type is a TypeError, text that
// a C string cannot carry whole (a NUL, a lone surrogate) a ValueError.
#include "core/QuantityCatalogue.h"
#include "core/Snapshot.h"

#include <pybind11/pybind11.h>
#include <string>

struct ObjectArgument {
    QuantityKind kind;
    int position; // as ObjectCodeOf takes it
    ObjectCode code;
};

// A str as UTF-8; what names the argument in the message.
std::string TextArgument(const pybind11::handle& value, const char* what);
// A real number as a float (not a bool).
double NumberArgument(const pybind11::handle& value, const char* what);

QuantityKind KindArgument(const pybind11::handle& kind);
// None for every kind, one kind, or an iterable of at least one kind.
KindSet KindsArgument(const pybind11::handle& kinds);
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
