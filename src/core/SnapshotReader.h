#pragma once
// Reads a snapshot of one rack. Only readings and, when the queue is drained, error queries
// go out: nothing that changes the mainframe.
#include "core/Instrument.h"
#include "core/Snapshot.h"

#include <functional>
#include <optional>
#include <string>
#include <utility>

class CSnapshotReader {
public:
    // Asked between objects: true ends the read there (nobody wants its result any more).
    using CancelHook = std::function<bool()>;
    // Told of each step as it ends: an object read ("TEMPERATURE OUT3") or "error queue" with
    // the instrument's status after it, "error queue entry: TEXT" for each entry drained, and
    // the step that failed (" failed" added) with its status.
    using StepHook = std::function<void(const std::string& step, InstrumentStatus status)>;
    CSnapshotReader& OnStep(StepHook step) {
        m_step = std::move(step);
        return *this;
    }

    explicit CSnapshotReader(ErrorQueueUse use, KindSet kinds = kAllKinds,
                             CancelHook cancelled = {})
        : m_use(use), m_kinds(kinds), m_cancelled(std::move(cancelled)) {}

    // The chosen kinds' objects in the panel's order. With Drain, the whole queue is read
    // before the first reading (those entries are kept and judge nothing) and after each
    // reading: only limit excursions after it make it over its limit, none within it, any
    // other entry leaves it unknown. A failed instrument call gives a snapshot that is not
    // up, with its status and no readings; the entries drained until then are kept.
    Snapshot Read(CInstrument& instrument) const;
    ErrorQueueUse Use() const { return m_use; }
    // From then on, Read takes only the one object of kind at position (as ObjectCodeOf
    // takes it), by the same rules.
    CSnapshotReader& Only(QuantityKind kind, int position) {
        m_only = {kind, position};
        return *this;
    }

private:
    SnapshotReading ReadObject(CInstrument& instrument, QuantityKind kind, int position,
                               Snapshot& snapshot) const;
    // step: the step under way, for the step hook when it fails.
    void ReadAll(CInstrument& instrument, Snapshot& snapshot, std::string& step) const;
    // Tells the step hook of step, and of the entries drained from entry number drained on.
    void Tell(const std::string& step, CInstrument& instrument, const Snapshot& snapshot,
              std::size_t drained) const;

    StepHook m_step;
    ErrorQueueUse m_use;
    KindSet m_kinds;
    CancelHook m_cancelled;
    std::optional<std::pair<QuantityKind, int>> m_only;
};
