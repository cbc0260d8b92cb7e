#pragma once

#include "common/BenchFile.h"
#include "server/Catalogue.h"
#include "server/FileLock.h"
#include "server/History.h"
#include "server/NvSettings.h"
#include "server/SignalModel.h"
#include "server/SimInstrument.h"

#include <array>
#include <string>

// The simulated mainframe: present values, ten-bin histories in the chosen time unit,
// limits that put entries in the error queue, the history queue of limit excursions,
// non-volatile settings kept in a state file, the display text and the self test.
class CMainframe : public CSimInstrument {
public:
    static constexpr size_t kDisplayWidth = 40;
    static constexpr size_t kHistoryQueueDepth = 100;

    // `statePath` empty: the saved settings live only as long as the process. A state file
    // that does not load is reported on standard error and set aside as `statePath`.damaged.
    // While another mainframe (of this process or another) keeps the same state file, this
    // one starts from the settings saved there and keeps its own only as long as it runs.
    CMainframe(CSimClock& clock, const BenchInstrument& config, std::string statePath);

    void RestoreFactory() override;

protected:
    bool ExecuteCommand(const ScpiCommand& cmd, std::string& reply, bool& replied) override;
    std::string Identity() const override;
    void Reset() override;
    int SelfTest(std::string& text) override;

private:
    using Handler = void (CMainframe::*)(const ScpiCommand&, std::string&);
    struct Command {
        const char* pattern;
        bool query;
        Handler handler;
    };
    static const Command kCommands[];

    void Measure(const ScpiCommand& cmd, std::string& reply);
    void HistogramData(const ScpiCommand& cmd, std::string& reply);
    void HistogramReset(const ScpiCommand& cmd, std::string& reply);
    void HistoryQueueCount(const ScpiCommand& cmd, std::string& reply);
    void SetTimeUnit(const ScpiCommand& cmd, std::string& reply);
    void GetTimeUnit(const ScpiCommand& cmd, std::string& reply);
    void SetLimit(const ScpiCommand& cmd, std::string& reply);
    void GetLimit(const ScpiCommand& cmd, std::string& reply);
    void SaveSettings(const ScpiCommand& cmd, std::string& reply);
    void SetDisplay(const ScpiCommand& cmd, std::string& reply);
    void GetDisplay(const ScpiCommand& cmd, std::string& reply);
    void Diagnose(const ScpiCommand& cmd, std::string& reply);

    // Takes the state file's lock and loads it; a damaged one is reported on standard error
    // and set aside (kept under another name), so no later save replaces it.
    void LoadState();
    // Makes the present settings the saved ones, in the state file when there is one.
    void Save();
    // Reads an object code parameter; queues -222 for a code that names no object.
    bool ObjectArg(const ScpiCommand& cmd, size_t i, long& code);
    // Brings every history up to the present simulated time.
    void Accumulate();
    // Fills the histories as `seconds` of running before the present would have.
    void WarmUp(double seconds);
    // Counts one reading of every fitted object at time `t` as lasting `seconds`.
    void AddSample(double t, double seconds);
    // True when a value of the reading lies beyond the limit (in magnitude).
    bool BeyondLimit(int code, const double* values, int count) const;
    void CheckLimit(int code, const double* values, int count);
    double UnitSeconds() const;

    CSignalModel m_model;
    std::string m_serial;
    std::string m_statePath;
    CFileLock m_stateLock;
    std::array<CHistory, CCatalogue::kObjectCodes> m_histories;
    CNvSettings m_settings;
    CNvSettings m_saved;
    std::string m_display;
    size_t m_historyQueue = 0;
    double m_lastAccumulated;
};
