#include "core/ErrorQueue.h"

namespace {

// More entries than a mainframe's queue holds (30): one that never reports empty is broken.
constexpr std::size_t kMaxEntries = 100;

} // namespace

std::vector<ErrorEntry> DrainErrorQueue(CInstrument& instrument) {
    std::vector<ErrorEntry> entries;
    while (entries.size() < kMaxEntries) {
        int code = 0;
        const char* text = instrument.QueryError(&code);
        if (text == nullptr) {
            throw CInstrumentException(instrument.LastQueryStatus(), std::move(entries));
        }
        if (code == 0) {
            return entries;
        }
        entries.push_back({code, text});
    }
    throw CInstrumentException(ERROR_QUEUE_NOT_EMPTIED, std::move(entries));
}
