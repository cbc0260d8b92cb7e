#pragma once

#include "visa/visa.h"

// Why the driver last refused a call, per session: a parameter status alone ("parameter 2")
// tells the operator nothing, so the status text for it says in words what was wrong.
// Safe to use from any thread; emptied when the library unloads.
class CRefusals {
public:
    // Records `why` for `status` on `vi` and returns `status`.
    static ViStatus Refuse(ViSession vi, ViStatus status, const char* why);
    // The reason recorded for `status` on `vi`, or nullptr.
    static const char* Reason(ViSession vi, ViStatus status);
    // Forgets what was recorded for `vi`, a session that closes.
    static void Forget(ViSession vi);
};
