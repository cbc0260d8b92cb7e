#pragma once
// Statuses in the VISA convention: 0 success, positive success with a remark, negative
// failure. Some failures are recognised by name.
#include <cstdint>

using InstrumentStatus = std::int32_t;

// The driver call succeeded, but the mainframe's error queue was not empty afterwards.
constexpr InstrumentStatus INSTRUMENT_ERROR_DETECTED = static_cast<std::int32_t>(0xBFFC0D07u);
// The mainframe's error queue still reported entries after more than it can hold were
// read: set by the core's drain, never by the driver library.
constexpr InstrumentStatus ERROR_QUEUE_NOT_EMPTIED = static_cast<std::int32_t>(0xBFFC0D08u);
// The driver's identification query found something other than a mainframe.
constexpr InstrumentStatus VI_ERROR_FAIL_ID_QUERY = static_cast<std::int32_t>(0xBFFC0011u);
// VISA's time-out.
constexpr InstrumentStatus VI_ERROR_TMO = static_cast<std::int32_t>(0xBFFF0015u);

// Histogram time units, in driver attribute 2.
constexpr int kTimeUnitsAttribute = 2;
constexpr int kTimeUnitHours = 17;
constexpr int kTimeUnitMinutes = 18;
constexpr int kTimeUnitSeconds = 19;
