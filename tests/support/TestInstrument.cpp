#include "TestInstrument.h"

CTestInstrument::~CTestInstrument() {
    if (destroyedFlag != nullptr) {
        *destroyedFlag = true;
    }
}

void CTestInstrument::Before(const QString& name, const QString& args) {
    calls << name + QLatin1Char('(') + args + QLatin1Char(')');
    if (failStatus != 0 && (failOn.isEmpty() || failOn == name)) {
        m_status = failStatus;
        failStatus = 0;
        throw CInstrumentException(m_status);
    }
    m_status = 0;
}

void CTestInstrument::After() {
    int code = 0;
    QueryError(&code);
    if (code != 0) {
        m_status = INSTRUMENT_ERROR_DETECTED;
        throw CInstrumentException(m_status, {{code, m_errorText}});
    }
}

void CTestInstrument::Reset() {
    Before(QStringLiteral("Reset"), {});
    After();
}

const char* CTestInstrument::QueryError(int* code) {
    if (errorQueue.empty()) {
        *code = 0;
        m_text.clear();
    } else {
        *code = errorQueue.front().first;
        m_text = errorQueue.front().second;
        errorQueue.pop_front();
    }
    m_errorText = m_text;
    return m_text.c_str();
}

const char* CTestInstrument::GetStatusText(int) {
    return statusText.empty() ? nullptr : statusText.c_str();
}

const char* CTestInstrument::SelfTest(int* result) {
    Before(QStringLiteral("SelfTest"), {});
    *result = 0;
    m_text = "Self test text";
    return m_text.c_str();
}

const std::int32_t* CTestInstrument::GetHistogram(short code, short part) {
    Before(QStringLiteral("GetHistogram"), QStringLiteral("%1,%2").arg(code).arg(part));
    m_histogram = histogramParts[static_cast<std::size_t>(part) % 3];
    After();
    return m_histogram.data();
}

void CTestInstrument::SetTimeUnits(int units) {
    Before(QStringLiteral("SetTimeUnits"), QString::number(units));
    timeUnits = units;
    After();
}

int CTestInstrument::GetTimeUnits() {
    Before(QStringLiteral("GetTimeUnits"), {});
    After();
    return timeUnits;
}

void CTestInstrument::ResetHistory(const char* keyword, const char* name) {
    Before(QStringLiteral("ResetHistory"),
           QStringLiteral("%1,%2").arg(QString::fromLatin1(keyword), QString::fromLatin1(name)));
    After();
}

const double* CTestInstrument::GetLevel(int code, int which) {
    Before(QStringLiteral("GetLevel"), QStringLiteral("%1,%2").arg(code).arg(which));
    m_levels = levels;
    After();
    return m_levels.data();
}

void CTestInstrument::SetLimit(int code, double limit) {
    Before(QStringLiteral("SetLimit"), QStringLiteral("%1,%2").arg(code).arg(limit));
    After();
}

void CTestInstrument::SaveSettings() {
    Before(QStringLiteral("SaveSettings"), {});
    After();
}

void CTestInstrument::SetMessage(const char* text) {
    Before(QStringLiteral("SetMessage"), QString::fromLatin1(text));
    After();
}
