#include "metrics/RackReader.h"

#include <algorithm>

namespace {

// More entries than any mainframe's queue holds: one that never reports empty is broken.
constexpr int kMaxEntriesPerReading = 64;

} // namespace

std::vector<int> CRackReader::DrainQueue(CInstrument& instrument, ScrapeResult& result) {
    std::vector<int> codes;
    for (int i = 0; i < kMaxEntriesPerReading; ++i) {
        int code = 0;
        const char* text = instrument.QueryError(&code);
        if (text == nullptr) {
            throw CInstrumentException();
        }
        if (code == 0) {
            return codes;
        }
        codes.push_back(code);
        ++result.entries[code];
        result.entryTexts.emplace_back(text);
    }
    throw CInstrumentException();
}

void CRackReader::ReadObject(CInstrument& instrument, ErrorQueueUse use, QuantityKind kind,
                             int position, ScrapeResult& result) {
    const ObjectCode code = *ObjectCodeOf(kind, position);
    const double* levels = instrument.MeasureLevel(code, 0);
    LevelReading reading{kind, position, ReadingValueCount(code),
                         {levels[0], levels[1], levels[2]}, false};
    if (use == ErrorQueueUse::Drain) {
        const std::vector<int> codes = DrainQueue(instrument, result);
        const bool onlyExcursions = std::all_of(codes.begin(), codes.end(),
                                                [](int c) { return c == kLimitExcursion; });
        if (!onlyExcursions) {
            ++result.dropped;
            return;
        }
        reading.overLimit = !codes.empty();
    }
    result.readings.push_back(reading);
}

ScrapeResult CRackReader::Read(CInstrument& instrument) const {
    ScrapeResult result;
    result.queueDrained = m_use == ErrorQueueUse::Drain;
    try {
        if (m_use == ErrorQueueUse::Drain) {
            // Entries queued before the first reading (left by a scrape cut short between a
            // reading and its queue check, or by another program) judge no reading of this
            // scrape: counted, never taken for the first reading's verdict.
            DrainQueue(instrument, result);
        }
        for (int k = 0; k < kQuantityKindCount; ++k) {
            const auto kind = static_cast<QuantityKind>(k);
            const int first = kind == BLOWER ? 1 : 0;
            for (int position = first; position < first + ObjectCount(kind); ++position) {
                ReadObject(instrument, m_use, kind, position, result);
            }
        }
        result.up = true;
    } catch (const CInstrumentException&) {
        result = ScrapeResult{};
    }
    return result;
}
