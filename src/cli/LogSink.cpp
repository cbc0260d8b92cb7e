#include "cli/LogSink.h"

#include "cli/SnapshotCommand.h"

#include <algorithm>
#include <iostream>
#include <sstream>

CLogSink::CLogSink(CLogOutput& output, OutputFormat format, std::size_t racks, bool progress)
    : m_output(output), m_format(format), m_up(racks, false), m_progress(progress) {}

bool CLogSink::Take(std::size_t index, const Snapshot& snapshot, const RackId& rack) {
    std::ostringstream rows, notes;
    WriteSnapshot(snapshot, rack, m_format, false, rows, notes);
    const std::lock_guard lock(m_mutex);
    if (m_failure) {
        return false;
    }
    m_failure = m_output.Write(rows.str());
    std::cerr << notes.str();
    ++m_snapshots;
    m_up[index] = snapshot.up;
    if (!snapshot.up) {
        m_lastFailure = rack.resource + " " + snapshot.statusName;
    }
    ShowProgress();
    return !m_failure;
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

// One line on a terminal, redrawn: nothing of it reaches a pipe or a file.
void CLogSink::ShowProgress() const {
    if (!m_progress) {
        return;
    }
    const auto up = std::count(m_up.begin(), m_up.end(), true);
    std::cerr << "\r\033[Kksm7720 log: " << m_snapshots << " snapshots, racks up " << up << '/'
              << m_up.size() << (m_lastFailure.empty() ? "" : ", last failure: " + m_lastFailure)
              << std::flush;
}
