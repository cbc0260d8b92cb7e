#pragma once

#include "visa/visa.h"

// The text that describes a VISA status value, or nullptr for a value the library does not
// know.
const char* VisaStatusText(ViStatus status);
