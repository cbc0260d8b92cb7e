#pragma once
// Reads every monitored object of one mainframe into a scrape result. Only readings and,
// when the queue is drained, error queries go out: nothing that changes the mainframe.
#include "core/Instrument.h"
#include "metrics/ScrapeResult.h"

class CRackReader {
public:
    explicit CRackReader(ErrorQueueUse use) : m_use(use) {}

    // Every object of every kind in catalogue order. With Drain, the whole queue is read
    // before the first reading (those entries are counted and judge nothing) and after each
    // reading: a reading followed only by limit excursions counts as over its limit, one
    // followed by anything else is dropped. A failure of the instrument gives a
    // result that is not up, with nothing in it; GetLastStatus() then says why.
    ScrapeResult Read(CInstrument& instrument) const;

    // The error number of a limit excursion.
    static constexpr int kLimitExcursion = 201;

private:
    // The codes of the entries the queue holds now, oldest first; throws
    // CInstrumentException when a query fails or the queue never reports empty.
    static std::vector<int> DrainQueue(CInstrument& instrument, ScrapeResult& result);
    static void ReadObject(CInstrument& instrument, ErrorQueueUse use, QuantityKind kind,
                           int position, ScrapeResult& result);

    ErrorQueueUse m_use;
};
