#pragma once
// Thrown by a failing live instrument operation. It carries the failing call's status, so
// that no caller has to read back a status a later call may have changed, and the entries
// taken off the mainframe's error queue before the failure, so that none is lost with it.
// The instrument also keeps the status for GetLastStatus(), as the panel reads it.
#include "core/Error.h"
#include "core/ErrorEntry.h"
#include "core/InstrumentStatus.h"
#include "core/StatusNames.h"

#include <utility>
#include <vector>

class CInstrumentException : public CError {
public:
    explicit CInstrumentException(InstrumentStatus status = 0, std::vector<ErrorEntry> entries = {})
        : CError("instrument call failed (" + StatusWord(status) + ")"), m_status(status),
          m_entries(std::move(entries)) {}

    InstrumentStatus Status() const noexcept { return m_status; }
    // The entries taken off the queue before the failure, oldest first.
    const std::vector<ErrorEntry>& Entries() const noexcept { return m_entries; }

private:
    InstrumentStatus m_status;
    std::vector<ErrorEntry> m_entries;
};
