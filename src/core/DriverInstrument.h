#pragma once
// The live mainframe: each operation is one call into the instrument driver library on the
// handle that discovery opened, most of them followed by a look at the mainframe's error
// queue. Failures throw CInstrumentException with their status, also kept for
// GetLastStatus().
#include "core/DriverEntryPoints.h"
#include "core/Instrument.h"
#include "core/Library.h"

#include <array>
#include <cstdint>

class CDriverInstrument : public CInstrument {
public:
    // Looks up the driver's entry points; throws CInstrumentException at the first one the
    // library lacks, leaving the library loaded. Once built, the instrument owns library.
    CDriverInstrument(std::uint32_t handle, platform::LibraryHandle library);
    ~CDriverInstrument() override;

    void Reset() override;
    const char* QueryError(int* code) override;
    const char* GetStatusText(int status) override;
    const char* SelfTest(int* result) override;
    const std::int32_t* GetHistogram(short code, short part) override;
    void SetTimeUnits(int units) override;
    int GetTimeUnits() override;
    void ResetHistory(const char* keyword, const char* name) override;
    const double* GetLevel(int code, int which) override;
    const double* MeasureLevel(int code, int which) override;
    void SetLimit(int code, double limit) override;
    void SaveSettings() override;
    void SetMessage(const char* text) override;

    // Ends the driver's session with the driver's own close function, when the library has
    // one (the panel never calls this: it releases the library as it is); false when it has
    // none or the session is closed already. No operation may follow a close.
    bool Close();

    // The values of the last GetLevel, also when it threw because the error queue held an
    // entry after the reading itself succeeded.
    const double* LastLevels() const { return m_levels.data(); }

private:
    using TextBuffer = std::array<char, ksm7720::kMessageLen>;

    // Keeps the status of a driver call; throws on failure, then throws with
    // INSTRUMENT_ERROR_DETECTED and the entry taken when the error queue holds one.
    void Check(ksm7720::ViStatus status);
    // m_text from a driver's text buffer, cut at its last byte whether or not the driver
    // terminated it.
    const char* TakeText(TextBuffer& buffer);

    std::uint32_t m_handle;
    bool m_closed = false;
    platform::LibraryHandle m_library;
    ksm7720::DriverEntryPoints m_driver;
};
