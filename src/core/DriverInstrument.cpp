#include "core/DriverInstrument.h"

#include "core/QuantityCatalogue.h"

#include <string>

CDriverInstrument::CDriverInstrument(std::uint32_t handle, platform::LibraryHandle library)
    : m_handle(handle), m_library(library), m_driver(ksm7720::LookUpDriverEntryPoints(library)) {}

CDriverInstrument::~CDriverInstrument() {
    platform::FreeLibrary(m_library);
}

bool CDriverInstrument::Close() {
    const auto close = platform::GetProc<ksm7720::CloseFn>(m_library, "ksm7720_close");
    if (close == nullptr || m_closed) {
        return false;
    }
    m_closed = true;
    return close(m_handle) >= 0;
}

void CDriverInstrument::Check(ksm7720::ViStatus status) {
    m_status = status;
    if (status < 0) {
        throw CInstrumentException(status);
    }
    int error = 0;
    QueryError(&error); // a failed query leaves error at 0: the call counts as clean
    if (error != 0) {
        m_status = INSTRUMENT_ERROR_DETECTED;
        throw CInstrumentException(m_status, {{error, m_errorText}});
    }
}

const char* CDriverInstrument::TakeText(TextBuffer& buffer) {
    buffer.back() = '\0';
    m_text = buffer.data();
    return m_text.c_str();
}

void CDriverInstrument::Reset() {
    Check(m_driver.reset(m_handle));
}

const char* CDriverInstrument::QueryError(int* code) {
    TextBuffer buffer{};
    ksm7720::ViInt32 error = 0;
    const ksm7720::ViStatus status = m_driver.error_query(m_handle, &error, buffer.data());
    m_queryStatus = status;
    if (status < 0) {
        return nullptr;
    }
    *code = error;
    TakeText(buffer);
    m_errorText = m_text;
    return m_text.c_str();
}

const char* CDriverInstrument::GetStatusText(int status) {
    TextBuffer buffer{};
    m_status = m_driver.error_message(m_handle, status, buffer.data());
    return m_status < 0 ? nullptr : TakeText(buffer);
}

const char* CDriverInstrument::SelfTest(int* result) {
    TextBuffer buffer{};
    ksm7720::ViInt16 outcome = 0;
    m_status = m_driver.self_test(m_handle, &outcome, buffer.data());
    if (m_status < 0) {
        throw CInstrumentException(m_status);
    }
    *result = outcome;
    return TakeText(buffer);
}

const std::int32_t* CDriverInstrument::GetHistogram(short code, short part) {
    Check(m_driver.getHistogram_Q(m_handle, code, part, m_histogram.data()));
    return m_histogram.data();
}

void CDriverInstrument::SetTimeUnits(int units) {
    Check(m_driver.setAttribute(m_handle, ksm7720::kAttrTimeUnits, units));
}

int CDriverInstrument::GetTimeUnits() {
    ksm7720::ViInt32 units = 0;
    Check(m_driver.getAttribute_Q(m_handle, ksm7720::kAttrTimeUnits, &units));
    return units;
}

void CDriverInstrument::ResetHistory(const char* keyword, const char* name) {
    const ObjectCode code =
        ResetPairCode(keyword != nullptr ? keyword : "", name != nullptr ? name : "");
    Check(m_driver.resetHistory(m_handle, static_cast<ksm7720::ViInt16>(code)));
}

const double* CDriverInstrument::GetLevel(int code, int which) {
    Check(m_driver.getLevel_Q(m_handle, static_cast<ksm7720::ViInt16>(code),
                              static_cast<ksm7720::ViInt16>(which), m_levels.data()));
    return m_levels.data();
}

const double* CDriverInstrument::MeasureLevel(int code, int which) {
    m_status = m_driver.getLevel_Q(m_handle, static_cast<ksm7720::ViInt16>(code),
                                   static_cast<ksm7720::ViInt16>(which), m_levels.data());
    if (m_status < 0) {
        throw CInstrumentException(m_status);
    }
    return m_levels.data();
}

void CDriverInstrument::SetLimit(int code, double limit) {
    Check(m_driver.setLimit(m_handle, static_cast<ksm7720::ViInt16>(code), limit));
}

void CDriverInstrument::SaveSettings() {
    Check(m_driver.NVMem(m_handle, ksm7720::kNVMemSave));
}

void CDriverInstrument::SetMessage(const char* text) {
    // The driver takes a writable text; it gets a copy, so the caller's stays as it was.
    std::string copy = text != nullptr ? text : "";
    Check(m_driver.setMessage(m_handle, text != nullptr ? copy.data() : nullptr));
}
