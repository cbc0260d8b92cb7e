#pragma once
// Reads every monitored object of one mainframe into a scrape result: a snapshot of the
// whole rack in the shape the exposition is written from.
#include "core/Instrument.h"
#include "core/SnapshotReader.h"
#include "metrics/ScrapeResult.h"

#include <functional>
#include <string>

class CRackReader {
public:
    // Asked between objects: true ends the read there (nobody wants its result any more).
    using CancelHook = std::function<bool()>;

    // Told of each step as it ends: an object read ("TEMPERATURE OUT3") or "error queue" with the
    // instrument's status after it, "error queue entry: TEXT" for each entry drained, and the
    // step that failed (" failed" added) with its status.
    using StepHook = CSnapshotReader::StepHook;

    explicit CRackReader(ErrorQueueUse use, CancelHook cancelled = {}, StepHook step = {})
        : m_use(use), m_cancelled(std::move(cancelled)), m_step(std::move(step)) {}

    // Every object of every kind in catalogue order. With Drain, the whole queue is read
    // before the first reading (those entries are counted and judge nothing) and after each
    // reading: a reading followed only by limit excursions counts as over its limit, one
    // followed by anything else is dropped. A failure of the instrument gives a result that
    // is not up, with no readings, its status and reason, and the entries drained before
    // it. A read the hook cancelled is not up either, and says so.
    ScrapeResult Read(CInstrument& instrument) const;

private:
    ErrorQueueUse m_use;
    CancelHook m_cancelled;
    StepHook m_step;
};
