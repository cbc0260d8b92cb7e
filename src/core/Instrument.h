#pragma once
// The mainframe as every window sees it. The defaults here answer as the emulated
// instrument does; the driver-backed instrument overrides them with live calls that may
// throw CInstrumentException.
#include "core/InstrumentException.h"
#include "core/InstrumentStatus.h"

#include <array>
#include <cstdint>
#include <string>

class CInstrument {
public:
    CInstrument() = default;
    virtual ~CInstrument() = default;
    CInstrument(const CInstrument&) = delete;
    CInstrument& operator=(const CInstrument&) = delete;

    virtual void Reset() {}
    virtual void Reserved1(int) {}
    virtual int Reserved2() { return 0; }
    // Takes the oldest entry off the error queue: its number through code (0 when the
    // queue is empty) and its text; nullptr when the query itself failed.
    virtual const char* QueryError(int* code);
    virtual InstrumentStatus GetLastStatus() { return m_status; }
    // The status of the last QueryError, kept apart from GetLastStatus(), which the error
    // query never changes: why a drain of the queue failed.
    InstrumentStatus LastQueryStatus() const { return m_queryStatus; }
    virtual int Reserved3() { return -1; }
    virtual int Reserved4() { return -1; }
    // A text describing status, or nullptr.
    virtual const char* GetStatusText(int status);
    virtual const char* SelfTest(int* result);
    // The text of the error that the last error-queue check found.
    virtual const char* GetErrorText() { return m_errorText.c_str(); }
    virtual double Reserved5(int) { return 0.0; }
    virtual double Reserved6(int) { return 0.0; }
    // One part of an object's histogram: 0 the ten counts, 1 the lower and 2 the upper
    // bin edges. The same buffer is filled and returned on every call.
    virtual const std::int32_t* GetHistogram(short code, short part);
    virtual void SetTimeUnits(int) {}
    virtual int GetTimeUnits() { return 0; }
    virtual void ResetHistory(const char* keyword, const char* name);
    // The present reading: front, middle and rear.
    virtual const double* GetLevel(int code, int which);
    // The same reading without the look at the error queue that follows it, for a caller
    // that reads the queue itself (or leaves it to someone else).
    virtual const double* MeasureLevel(int code, int which) { return GetLevel(code, which); }
    virtual void SetLimit(int, double) {}
    virtual void SaveSettings() {}
    virtual void SetMessage(const char*) {}

protected:
    std::string m_text;
    InstrumentStatus m_status = 0;
    InstrumentStatus m_queryStatus = 0;
    std::string m_errorText;
    std::array<std::int32_t, 10> m_histogram{};
    std::array<double, 3> m_levels{};
};
