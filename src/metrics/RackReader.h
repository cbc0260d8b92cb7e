#pragma once
// Reads every monitored object of one mainframe into a scrape result. Only readings and,
// when the queue is drained, error queries go out: nothing that changes the mainframe.
#include "core/Instrument.h"
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
    using StepHook = std::function<void(const std::string& step, InstrumentStatus status)>;

    explicit CRackReader(ErrorQueueUse use, CancelHook cancelled = {}, StepHook step = {})
        : m_use(use), m_cancelled(std::move(cancelled)), m_step(std::move(step)) {}

    // Every object of every kind in catalogue order. With Drain, the whole queue is read
    // before the first reading (those entries are counted and judge nothing) and after each
    // reading: a reading followed only by limit excursions counts as over its limit, one
    // followed by anything else is dropped. A failure of the instrument gives a result that
    // is not up, with nothing in it; GetLastStatus() then says why. A read the hook
    // cancelled is not up either, and says so.
    ScrapeResult Read(CInstrument& instrument) const;

private:
    static void ReadObject(CInstrument& instrument, ErrorQueueUse use, QuantityKind kind,
                           int position, ScrapeResult& result);

    void Tell(const std::string& step, CInstrument& instrument, const ScrapeResult& result,
              std::size_t drained) const; // to m_step, with the entries from drained on

    ErrorQueueUse m_use;
    CancelHook m_cancelled;
    StepHook m_step;
};
