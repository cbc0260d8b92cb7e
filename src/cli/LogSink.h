#pragma once
// What every rack's worker in a log hands its snapshots to: the output, the counts of the
// progress line, and the first failure of the output, under one lock.
#include "cli/LogOutput.h"
#include "cli/SnapshotFormat.h"

#include <mutex>
#include <optional>
#include <string>
#include <vector>

class CLogSink {
public:
    // racks: how many write here. progress: a line on standard error, when it is a terminal
    // the rows do not go to.
    CLogSink(CLogOutput& output, OutputFormat format, std::size_t racks, bool progress);

    // Writes the snapshot of rack number index; false once the output has failed.
    bool Take(std::size_t index, const Snapshot& snapshot, const RackId& rack);
    // Why the output failed, or nothing.
    std::optional<std::string> Failure();
    // Ends the progress line, so that what follows starts on a line of its own.
    void EndProgress();

private:
    void ShowProgress() const; // with m_mutex held

    CLogOutput& m_output;
    const OutputFormat m_format;
    std::mutex m_mutex;
    std::optional<std::string> m_failure;
    long m_snapshots = 0;
    std::vector<bool> m_up;
    std::string m_lastFailure;
    const bool m_progress;
};
