#pragma once
// The instrument used when no live mainframe could be opened: fixed answers, no failures.
#include "core/Instrument.h"

class CEmulatedInstrument : public CInstrument {
public:
    void Reset() override;
};
