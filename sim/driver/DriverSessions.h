#pragma once

#include "visa/visa.h"

// The sessions ksm7720_init opened, each with the resource manager it opened for it, so
// that closing a session closes both. Safe to use from any thread. What is still open when
// the library unloads is closed then.
class CDriverSessions {
public:
    static void Add(ViSession vi, ViSession rm);
    // Closes `vi`, its resource manager and what the driver remembers of it;
    // VI_ERROR_INV_OBJECT when `vi` is not a session the driver has open.
    static ViStatus Close(ViSession vi);
    static void CloseAll();
};
