#pragma once
// The mainframe's instrument driver library: its fourteen C entry points, and the table of
// the twelve that the driver-backed instrument calls.
#include "core/Library.h"
#include "core/VisaEntryPoints.h"

namespace ksm7720 {

using visa::ViBoolean;
using visa::ViInt16;
using visa::ViInt32;
using visa::ViReal64;
using visa::ViSession;
using visa::ViStatus;

// Every text the driver writes fits this many bytes, its terminating zero included.
constexpr int kMessageLen = 256;
// The driver's I/O time-out that discovery sets, in the driver's unit (milliseconds).
constexpr ViInt32 kDriverTimeOut = 12000;
constexpr ViInt32 kAttrTimeUnits = 2;
constexpr ViInt16 kNVMemSave = 1;

using InitFn = ViStatus (*)(char* resourceName, ViBoolean idQuery, ViBoolean reset, ViSession* vi);
using TimeOutFn = ViStatus (*)(ViSession vi, ViInt32 timeout);
using SelfTestFn = ViStatus (*)(ViSession vi, ViInt16* result, char message[]);
using ResetFn = ViStatus (*)(ViSession vi);
using ErrorQueryFn = ViStatus (*)(ViSession vi, ViInt32* errorCode, char message[]);
using ErrorMessageFn = ViStatus (*)(ViSession vi, ViStatus status, char message[]);
using GetHistogramFn = ViStatus (*)(ViSession vi, ViInt16 code, ViInt16 part, ViInt32 values[]);
using ResetHistoryFn = ViStatus (*)(ViSession vi, ViInt16 code);
using SetAttributeFn = ViStatus (*)(ViSession vi, ViInt32 attribute, ViInt32 value);
using GetAttributeFn = ViStatus (*)(ViSession vi, ViInt32 attribute, ViInt32* value);
using GetLevelFn = ViStatus (*)(ViSession vi, ViInt16 code, ViInt16 which, ViReal64 levels[]);
using SetLimitFn = ViStatus (*)(ViSession vi, ViInt16 code, ViReal64 limit);
using NVMemFn = ViStatus (*)(ViSession vi, ViInt16 operation);
using SetMessageFn = ViStatus (*)(ViSession vi, char* message);
using CloseFn = ViStatus (*)(ViSession vi);

// The entry points the instrument's operations call, in their lookup order.
struct DriverEntryPoints {
    SelfTestFn self_test = nullptr;
    ResetFn reset = nullptr;
    ErrorQueryFn error_query = nullptr;
    ErrorMessageFn error_message = nullptr;
    GetHistogramFn getHistogram_Q = nullptr;
    ResetHistoryFn resetHistory = nullptr;
    SetAttributeFn setAttribute = nullptr;
    GetAttributeFn getAttribute_Q = nullptr;
    GetLevelFn getLevel_Q = nullptr;
    SetLimitFn setLimit = nullptr;
    NVMemFn NVMem = nullptr;
    SetMessageFn setMessage = nullptr;
};

// Looks the twelve up by name in table order; throws CInstrumentException at the first
// one the library lacks.
DriverEntryPoints LookUpDriverEntryPoints(platform::LibraryHandle library);

} // namespace ksm7720
