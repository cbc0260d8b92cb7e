#pragma once
// How pybind11 hands a Python Mainframe to the methods bound on it. An object made by
// Mainframe.__new__ whose __init__ never ran (or failed) has no C++ object behind it, and
// pybind11 would give the method fresh, never-constructed memory; this caster refuses such
// an object with a TypeError before any method or property runs. Included before the
// bindings, so that every cast of a Mainframe goes through it.
#include "PyMainframe.h"

#include <pybind11/pybind11.h>

namespace pybind11::detail {

template <> class type_caster<CPyMainframe> : public type_caster_base<CPyMainframe> {
public:
    bool load(handle source, bool convert) {
        if (isinstance<CPyMainframe>(source)) {
            auto* self = reinterpret_cast<instance*>(source.ptr());
            if (!self->get_value_and_holder(get_type_info(typeid(CPyMainframe)))
                     .holder_constructed()) {
                throw type_error("this ksm7720.Mainframe was never opened: Mainframe.__init__() "
                                 "did not run or failed");
            }
        }
        return type_caster_base<CPyMainframe>::load(source, convert);
    }
};

} // namespace pybind11::detail
