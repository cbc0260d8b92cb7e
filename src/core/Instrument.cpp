#include "core/Instrument.h"

const char* CInstrument::QueryError(int* code) {
    *code = 0;
    m_text.clear();
    return m_text.c_str();
}

const char* CInstrument::GetStatusText(int) {
    return nullptr;
}

const char* CInstrument::SelfTest(int* result) {
    *result = 0;
    m_text = "Self Test Passed";
    return m_text.c_str();
}

const std::int32_t* CInstrument::GetHistogram(short, short part) {
    for (int k = 0; k < static_cast<int>(m_histogram.size()); ++k) {
        switch (part) {
        case 1:
            m_histogram[k] = 250 * k;
            break;
        case 2:
            m_histogram[k] = 250 * k + 249;
            break;
        default:
            m_histogram[k] = 2 * k;
            break;
        }
    }
    return m_histogram.data();
}

void CInstrument::ResetHistory(const char*, const char*) {}

const double* CInstrument::GetLevel(int, int) {
    return m_levels.data();
}
