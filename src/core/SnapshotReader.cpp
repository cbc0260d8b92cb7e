#include "core/SnapshotReader.h"

#include "core/FailureDescription.h"
#include "core/QuantityNames.h"
#include "core/SiUnits.h"

#include <algorithm>

namespace {

// The entries the queue holds now, oldest first, kept in the snapshot.
std::vector<ErrorEntry> DrainKept(CInstrument& instrument, Snapshot& snapshot) {
    std::vector<ErrorEntry> entries = DrainErrorQueue(instrument);
    snapshot.entries.insert(snapshot.entries.end(), entries.begin(), entries.end());
    return entries;
}

Verdict VerdictOf(const std::vector<ErrorEntry>& after) {
    const bool onlyExcursions = std::all_of(
        after.begin(), after.end(), [](const ErrorEntry& e) { return e.code == kLimitExcursion; });
    return !onlyExcursions ? Verdict::Unknown : after.empty() ? Verdict::False : Verdict::True;
}

// Gives up the readings: a failed or cancelled read says nothing of the rack. The entries the
// failing drain took are kept with those before it.
void Fail(Snapshot& snapshot, const FailureDescription& failure) {
    snapshot.readings.clear();
    snapshot.status = failure.status;
    snapshot.statusName = failure.statusName;
    snapshot.reason = failure.reason;
    snapshot.entries.insert(snapshot.entries.end(), failure.entries.begin(), failure.entries.end());
}

} // namespace

SnapshotReading CSnapshotReader::ReadObject(CInstrument& instrument, QuantityKind kind,
                                            int position, Snapshot& snapshot) const {
    const ObjectCode code = *ObjectCodeOf(kind, position);
    const double* levels = instrument.MeasureLevel(code, 0);
    SnapshotReading reading{
        kind, position, ObjectName(kind, position), ReadingValueCount(code),
        {},   {},       Verdict::Unknown,           std::chrono::system_clock::now()};
    for (int i = 0; i < reading.count; ++i) {
        reading.values[i] = levels[i];
        reading.siValues[i] = ToSi(kind, levels[i]);
    }
    if (m_use == ErrorQueueUse::Drain) {
        reading.objectOverLimit = VerdictOf(DrainKept(instrument, snapshot));
    }
    return reading;
}

void CSnapshotReader::Tell(const std::string& step, CInstrument& instrument,
                           const Snapshot& snapshot, std::size_t drained) const {
    if (!m_step) {
        return;
    }
    m_step(step, instrument.GetLastStatus());
    for (std::size_t i = drained; i < snapshot.entries.size(); ++i) {
        m_step("error queue entry: " + snapshot.entries[i].text, instrument.GetLastStatus());
    }
}

void CSnapshotReader::ReadAll(CInstrument& instrument, Snapshot& snapshot,
                              std::string& step) const {
    if (m_use == ErrorQueueUse::Drain) {
        // Entries queued before the first reading (left by a read cut short between a
        // reading and its queue check, or by another program) judge no reading of this one.
        step = "error queue";
        DrainKept(instrument, snapshot);
        Tell(step, instrument, snapshot, 0);
    }
    for (int k = 0; k < kQuantityKindCount; ++k) {
        const auto kind = static_cast<QuantityKind>(k);
        if (!m_kinds[k] || (m_only && m_only->first != kind)) {
            continue;
        }
        const int first = kind == BLOWER ? 1 : 0;
        for (int position = first; position < first + ObjectCount(kind); ++position) {
            if (m_only && m_only->second != position) {
                continue;
            }
            if (m_cancelled && m_cancelled()) {
                snapshot.cancelled = true;
                return;
            }
            step = m_step ? KindInfo(kind).listKeyword + (" " + ObjectName(kind, position))
                          : std::string();
            const std::size_t drained = snapshot.entries.size();
            snapshot.readings.push_back(ReadObject(instrument, kind, position, snapshot));
            Tell(step, instrument, snapshot, drained);
        }
    }
    snapshot.up = true;
}

Snapshot CSnapshotReader::Read(CInstrument& instrument) const {
    Snapshot snapshot;
    snapshot.queue = m_use;
    snapshot.time = std::chrono::system_clock::now();
    const auto start = std::chrono::steady_clock::now();
    std::string step;
    try {
        ReadAll(instrument, snapshot, step);
        if (snapshot.cancelled) {
            snapshot.readings.clear();
        }
    } catch (const CInstrumentException& failure) {
        if (m_step) {
            m_step(step + " failed", failure.Status());
        }
        Fail(snapshot, DescribeFailure(instrument, failure));
    }
    snapshot.durationSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return snapshot;
}
