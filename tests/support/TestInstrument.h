#pragma once
// An in-process instrument for the failures a test must script exactly: a status on a
// chosen call, entries waiting in the error queue. It follows the live instrument's
// rules: a failing call keeps its status and throws; a call after which the error
// queue is not empty throws with INSTRUMENT_ERROR_DETECTED, the first entry's text
// already taken off the queue. Every call is logged as "Name(args)".
#include "core/Instrument.h"

#include <QString>
#include <QStringList>

#include <array>
#include <deque>
#include <utility>

class CTestInstrument : public CInstrument {
public:
    QStringList calls;
    std::deque<std::pair<int, std::string>> errorQueue;
    InstrumentStatus failStatus = 0; // the next failing call's status, 0 for none
    QString failOn;                  // the name of the call that fails; empty: any
    std::array<std::array<std::int32_t, 10>, 3> histogramParts{};
    std::array<double, 3> levels{};
    int timeUnits = 0;
    std::string statusText = "Driver status text";
    bool* destroyedFlag = nullptr;

    ~CTestInstrument() override;

    void Reset() override;
    const char* QueryError(int* code) override;
    const char* GetStatusText(int status) override;
    const char* SelfTest(int* result) override;
    const std::int32_t* GetHistogram(short code, short part) override;
    void SetTimeUnits(int units) override;
    int GetTimeUnits() override;
    void ResetHistory(const char* keyword, const char* name) override;
    const double* GetLevel(int code, int which) override;
    void SetLimit(int code, double limit) override;
    void SaveSettings() override;
    void SetMessage(const char* text) override;

private:
    // Logs the call, then throws as the live instrument would, before or after it.
    void Before(const QString& name, const QString& args);
    void After();
};
