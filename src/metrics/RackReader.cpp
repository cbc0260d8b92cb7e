#include "metrics/RackReader.h"

#include "core/SnapshotReader.h"

ScrapeResult CRackReader::Read(CInstrument& instrument) const {
    const Snapshot snapshot =
        CSnapshotReader(m_use, kAllKinds, m_cancelled).OnStep(m_step).Read(instrument);
    ScrapeResult result;
    if (!snapshot.up) {
        result.cancelled = snapshot.cancelled;
        return result;
    }
    result.up = true;
    result.queueDrained = m_use == ErrorQueueUse::Drain;
    for (const ErrorEntry& entry : snapshot.entries) {
        ++result.entries[entry.code];
        result.entryTexts.push_back(entry.text);
    }
    for (const SnapshotReading& reading : snapshot.readings) {
        if (result.queueDrained && reading.overLimit == Verdict::Unknown) {
            ++result.dropped; // an entry other than a limit excursion followed it
            continue;
        }
        result.readings.push_back({reading.kind, reading.position, reading.count, reading.values,
                                   reading.overLimit == Verdict::True});
    }
    return result;
}
