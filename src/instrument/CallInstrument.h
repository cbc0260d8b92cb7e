#pragma once
// The one way a window calls the instrument: on an instrument failure, any wait cursor
// is ended and the failure shown with ReportInstrumentError.
#include "app/SfpApp.h"
#include "core/Instrument.h"
#include "instrument/ReportInstrumentError.h"
#include "platform/WaitCursor.h"

#include <optional>

// Runs call(instrument) on the application's instrument; false when it failed. With
// showWaitCursor the hourglass is up while the call runs (the histogram fill and the
// self test, which may take a while).
template <class Call> bool CallInstrument(Call&& call, bool showWaitCursor = false) {
    CInstrument& instrument = *GetSfpApp()->m_pInstrument;
    std::optional<platform::WaitCursor> wait;
    if (showWaitCursor) {
        wait.emplace();
    }
    try {
        call(instrument);
        return true;
    } catch (const CInstrumentException&) {
        wait.reset();
        ReportInstrumentError(instrument.GetLastStatus());
        return false;
    }
}

constexpr bool kShowWaitCursor = true;
