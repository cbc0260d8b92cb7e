#include "metrics/ScrapeResult.h"

ScrapeResult ScrapeFrom(const Snapshot& snapshot) {
    ScrapeResult result;
    for (const ErrorEntry& entry : snapshot.entries) {
        ++result.entries[entry.code];
        result.entryTexts.push_back(entry.text);
    }
    if (!snapshot.up) {
        result.cancelled = snapshot.cancelled;
        result.status = snapshot.status;
        result.statusName = snapshot.statusName;
        result.reason = snapshot.reason;
        return result;
    }
    result.up = true;
    result.queueDrained = snapshot.queue == ErrorQueueUse::Drain;
    for (const SnapshotReading& reading : snapshot.readings) {
        if (result.queueDrained && reading.objectOverLimit == Verdict::Unknown) {
            ++result.dropped; // an entry other than a limit excursion followed it
            continue;
        }
        result.readings.push_back(reading);
    }
    return result;
}
