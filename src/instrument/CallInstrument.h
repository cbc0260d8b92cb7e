#pragma once
// The one way a window calls the instrument: under the wait cursor, and on an
// instrument failure the cursor ended and the failure shown with ReportInstrumentError.
#include "app/SfpApp.h"
#include "instrument/Instrument.h"
#include "instrument/ReportInstrumentError.h"
#include "platform/WaitCursor.h"

// Runs call(instrument) on the application's instrument; false when it failed.
template <class Call> bool CallInstrument(Call&& call) {
    CInstrument& instrument = *GetSfpApp()->m_pInstrument;
    platform::WaitCursor wait;
    try {
        call(instrument);
        return true;
    } catch (const CInstrumentException&) {
        wait.Restore();
        ReportInstrumentError(instrument.GetLastStatus());
        return false;
    }
}
