#pragma once
// Reads a snapshot of one rack. Only readings and, when the queue is drained, error queries
// go out: nothing that changes the mainframe.
#include "core/Instrument.h"
#include "core/Snapshot.h"

#include <functional>
#include <optional>
#include <utility>

class CSnapshotReader {
public:
    // Asked between objects: true ends the read there (nobody wants its result any more).
    using CancelHook = std::function<bool()>;

    explicit CSnapshotReader(ErrorQueueUse use, KindSet kinds = kAllKinds,
                             CancelHook cancelled = {})
        : m_use(use), m_kinds(kinds), m_cancelled(std::move(cancelled)) {}

    // The chosen kinds' objects in the panel's order. With Drain, the whole queue is read
    // before the first reading (those entries are kept and judge nothing) and after each
    // reading: only limit excursions after it make it over its limit, none within it, any
    // other entry leaves it unknown. A failed instrument call gives a snapshot that is not
    // up, with its status and no readings; the entries drained until then are kept.
    Snapshot Read(CInstrument& instrument) const;
    // From then on, Read takes only the one object of kind at position (as ObjectCodeOf
    // takes it), by the same rules.
    CSnapshotReader& Only(QuantityKind kind, int position) {
        m_only = {kind, position};
        return *this;
    }

private:
    SnapshotReading ReadObject(CInstrument& instrument, QuantityKind kind, int position,
                               Snapshot& snapshot) const;
    void ReadAll(CInstrument& instrument, Snapshot& snapshot) const;

    ErrorQueueUse m_use;
    KindSet m_kinds;
    CancelHook m_cancelled;
    std::optional<std::pair<QuantityKind, int>> m_only;
};
