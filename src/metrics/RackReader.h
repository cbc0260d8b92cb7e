#pragma once
// Reads every monitored object of one mainframe into a scrape result: a snapshot of the
// whole rack in the shape the exposition is written from.
#include "core/Instrument.h"
#include "metrics/ScrapeResult.h"

#include <functional>

class CRackReader {
public:
    // Asked between objects: true ends the read there (nobody wants its result any more).
    using CancelHook = std::function<bool()>;

    explicit CRackReader(ErrorQueueUse use, CancelHook cancelled = {})
        : m_use(use), m_cancelled(std::move(cancelled)) {}

    // Every object of every kind in catalogue order. With Drain, the whole queue is read
    // before the first reading (those entries are counted and judge nothing) and after each
    // reading: a reading followed only by limit excursions counts as over its limit, one
    // followed by anything else is dropped. A failure of the instrument gives a result that
    // is not up, with nothing in it; GetLastStatus() then says why. A read the hook
    // cancelled is not up either, and says so.
    ScrapeResult Read(CInstrument& instrument) const;

private:
    ErrorQueueUse m_use;
    CancelHook m_cancelled;
};
