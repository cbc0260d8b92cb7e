#include "metrics/RackReader.h"

#include "core/ErrorQueue.h"
#include "core/QuantityNames.h"

#include <algorithm>

namespace {

// The entries the queue holds now, oldest first, counted in the result.
std::vector<ErrorEntry> DrainCounted(CInstrument& instrument, ScrapeResult& result) {
    std::vector<ErrorEntry> entries = DrainErrorQueue(instrument);
    for (const ErrorEntry& entry : entries) {
        ++result.entries[entry.code];
        result.entryTexts.push_back(entry.text);
    }
    return entries;
}

} // namespace

void CRackReader::ReadObject(CInstrument& instrument, ErrorQueueUse use, QuantityKind kind,
                             int position, ScrapeResult& result) {
    const ObjectCode code = *ObjectCodeOf(kind, position);
    const double* levels = instrument.MeasureLevel(code, 0);
    LevelReading reading{
        kind, position, ReadingValueCount(code), {levels[0], levels[1], levels[2]}, false};
    if (use == ErrorQueueUse::Drain) {
        const std::vector<ErrorEntry> entries = DrainCounted(instrument, result);
        const bool onlyExcursions =
            std::all_of(entries.begin(), entries.end(),
                        [](const ErrorEntry& e) { return e.code == kLimitExcursion; });
        if (!onlyExcursions) {
            ++result.dropped;
            return;
        }
        reading.overLimit = !entries.empty();
    }
    result.readings.push_back(reading);
}

void CRackReader::Tell(const std::string& step, CInstrument& instrument, const ScrapeResult& result,
                       std::size_t drained) const {
    if (m_step) {
        m_step(step, instrument.GetLastStatus());
        for (std::size_t i = drained; i < result.entryTexts.size(); ++i) {
            m_step("error queue entry: " + result.entryTexts[i], instrument.GetLastStatus());
        }
    }
}

ScrapeResult CRackReader::Read(CInstrument& instrument) const {
    ScrapeResult result;
    result.queueDrained = m_use == ErrorQueueUse::Drain;
    std::string step = "error queue";
    try {
        if (m_use == ErrorQueueUse::Drain) {
            // Entries queued before the first reading (left by a scrape cut short between a
            // reading and its queue check, or by another program) judge no reading of this
            // scrape: counted, never taken for the first reading's verdict.
            DrainCounted(instrument, result);
            Tell(step, instrument, result, 0);
        }
        for (int k = 0; k < kQuantityKindCount; ++k) {
            const auto kind = static_cast<QuantityKind>(k);
            const int first = kind == BLOWER ? 1 : 0;
            for (int position = first; position < first + ObjectCount(kind); ++position) {
                if (m_cancelled && m_cancelled()) {
                    result = ScrapeResult{};
                    result.cancelled = true;
                    return result;
                }
                step = m_step ? KindInfo(kind).listKeyword + (" " + ObjectName(kind, position))
                              : std::string();
                const std::size_t drained = result.entryTexts.size();
                ReadObject(instrument, m_use, kind, position, result);
                Tell(step, instrument, result, drained);
            }
        }
        result.up = true;
    } catch (const CInstrumentException&) {
        if (m_step) {
            m_step(step + " failed", instrument.GetLastStatus());
        }
        result = ScrapeResult{};
    }
    return result;
}
