#include "cli/LogSink.h"

#include "cli/SnapshotCommand.h"

#include <algorithm>
#include <iostream>
#include <sstream>

CLogSink::CLogSink(CLogOutput& output, OutputFormat format, const KindSet& kinds, std::size_t racks,
                   bool progress, std::function<void()> failed)
    : m_output(output), m_format(format), m_kinds(kinds), m_failed(std::move(failed)),
      m_states(racks, State::Unknown), m_progress(progress), m_writer([this] { Write(); }) {}

CLogSink::~CLogSink() {
    Close();
}

bool CLogSink::Take(std::size_t index, const Snapshot& snapshot, const RackId& rack) {
    std::ostringstream rows;
    WriteSnapshot(snapshot, rack, m_format, m_kinds, false, rows);
    std::string notes;
    {
        const std::lock_guard lock(m_mutex);
        if (m_failure || m_closing) {
            return false;
        }
        m_pending += rows.view();
        notes = Notes(index, snapshot, rack);
    }
    m_wake.notify_one();
    std::cerr << notes << std::flush;
    return true;
}

void CLogSink::Close() {
    {
        const std::lock_guard lock(m_mutex);
        m_closing = true;
    }
    m_wake.notify_one();
    if (m_writer.joinable()) {
        m_writer.join();
    }
}

// Hands the queued rows to the output, outside the lock, until closed with nothing queued.
void CLogSink::Write() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return !m_pending.empty() || m_closing; });
        if (m_pending.empty() || m_failure) {
            return;
        }
        const std::string rows = std::move(m_pending);
        m_pending.clear();
        lock.unlock();
        std::optional<std::string> failure;
        try {
            failure = m_output.Write(rows);
        } catch (const std::exception& error) {
            failure = std::string("could not write: ") + error.what();
        }
        lock.lock();
        if (failure) {
            m_failure = std::move(failure);
            m_failed();
        }
    }
}

std::optional<std::string> CLogSink::Failure() {
    const std::lock_guard lock(m_mutex);
    return m_failure;
}

void CLogSink::EndProgress() {
    if (m_progress && m_snapshots > 0) {
        std::cerr << '\n';
    }
}

// With m_mutex held. On a terminal the progress line is one line, redrawn: a state change
// is said above it. Nothing of the progress reaches a pipe or a file.
std::string CLogSink::Notes(std::size_t index, const Snapshot& snapshot, const RackId& rack) {
    ++m_snapshots;
    const std::string erase = m_progress ? "\r\033[K" : "";
    std::string notes;
    State& state = m_states[index];
    if (!snapshot.up && state != State::Down) {
        const std::string why = rack.reason.empty() ? snapshot.statusName : rack.reason;
        notes = erase + "ksm7720: " + RackLabel(rack) + ": not read since " +
                Rfc3339(snapshot.time) + ": " + why + '\n';
        m_lastFailure = rack.resource + " " + snapshot.statusName;
    } else if (snapshot.up && state == State::Down) {
        notes = erase + "ksm7720: " + RackLabel(rack) + ": read again from " +
                Rfc3339(snapshot.time) + '\n';
    }
    state = snapshot.up ? State::Up : State::Down;
    if (m_progress) {
        const auto up = std::count(m_states.begin(), m_states.end(), State::Up);
        notes += erase + "ksm7720 log: " + std::to_string(m_snapshots) + " snapshots, racks up " +
                 std::to_string(up) + '/' + std::to_string(m_states.size()) +
                 (m_lastFailure.empty() ? "" : ", last failure: " + m_lastFailure);
    }
    return notes;
}
