#pragma once
// The mainframe's error queue, read the one way the command line and the exporter share.
#include "core/ErrorEntry.h"
#include "core/Instrument.h"

#include <string>
#include <vector>

// The error number of a limit excursion.
constexpr int kLimitExcursion = 201;

// Takes every entry off the queue, oldest first. Throws CInstrumentException with the
// entries taken so far: with the query's status when a query fails, with
// ERROR_QUEUE_NOT_EMPTIED when the queue still reports entries after more than any
// mainframe holds.
std::vector<ErrorEntry> DrainErrorQueue(CInstrument& instrument);
