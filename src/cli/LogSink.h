#pragma once
// What every rack's worker in a log hands its snapshots to: the rows are queued under a
// short lock and written by a writer thread of the sink's own, so no lock is held across a
// blocking write or sync. A rack's failure and its recovery are said once each on standard
// error, with the rack's name.
#include "cli/LogOutput.h"
#include "cli/SnapshotFormat.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class CLogSink {
public:
    // racks: how many write here. progress: a line on standard error, when it is a terminal
    // the rows do not go to. failed: called on the writer when the output fails.
    CLogSink(CLogOutput& output, OutputFormat format, const KindSet& kinds, std::size_t racks,
             bool progress, std::function<void()> failed);
    ~CLogSink(); // Close()
    CLogSink(const CLogSink&) = delete;
    CLogSink& operator=(const CLogSink&) = delete;

    // Queues the rows of a snapshot of rack number index; false once the output has failed
    // or the sink is closed.
    bool Take(std::size_t index, const Snapshot& snapshot, const RackId& rack);
    // Writes what is queued and stops the writer: nothing is taken after it.
    void Close();
    // Why the output failed, or nothing.
    std::optional<std::string> Failure();
    // Ends the progress line, so that what follows starts on a line of its own.
    void EndProgress();

private:
    enum class State { Unknown, Up, Down };
    void Write(); // the writer thread
    // What to say of the snapshot: a change of the rack's state, the progress line.
    std::string Notes(std::size_t index, const Snapshot& snapshot, const RackId& rack);

    CLogOutput& m_output;
    const OutputFormat m_format;
    const KindSet m_kinds;
    const std::function<void()> m_failed;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::string m_pending; // rows not yet handed to the writer
    bool m_closing = false;
    std::optional<std::string> m_failure;
    long m_snapshots = 0;
    std::vector<State> m_states;
    std::string m_lastFailure;
    const bool m_progress;
    std::thread m_writer; // last: started when everything above is set
};
