#pragma once

#include "visa/visa.h"

// Why the driver last refused a call, per session: a parameter status alone ("parameter 2")
// tells the operator nothing, so the status text for it says in words what was wrong.
class CRefusals {
public:
    // Records `why` for `status` on `vi` and returns `status`.
    static ViStatus Refuse(ViSession vi, ViStatus status, const char* why);
    // The reason recorded for `status` on `vi`, or nullptr.
    static const char* Reason(ViSession vi, ViStatus status);
};
