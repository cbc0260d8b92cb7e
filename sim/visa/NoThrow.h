#pragma once

#include "visa/visa.h"

// Runs the body of an exported entry point so that no exception leaves it: its callers are
// C, through which nothing may unwind. Whatever the body throws (memory it could not get,
// mostly; a lock the system refused) becomes VI_ERROR_ALLOC.
template <typename Body> ViStatus NoThrow(Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return VI_ERROR_ALLOC;
    }
}
