#pragma once
// Shows an instrument failure to the operator: the error queue's entries, a time-out, or
// the driver's text for the status. The auto-update timer is stopped meanwhile, and a
// failure of the auto-update pass switches auto update off before it is shown.
void ReportInstrumentError(int status);

// A driver that never reports an empty queue must not lock the operator in boxes.
constexpr int kMaxErrorBoxes = 100;
