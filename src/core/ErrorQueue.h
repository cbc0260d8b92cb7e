#pragma once
// The mainframe's error queue, read the one way the command line and the exporter share.
#include "core/Instrument.h"

#include <string>
#include <vector>

// The error number of a limit excursion.
constexpr int kLimitExcursion = 201;

struct ErrorEntry {
    int code;
    std::string text;
};

// Takes every entry off the queue, oldest first. Throws CInstrumentException when a query
// fails, or when the queue still reports entries after more than any mainframe holds.
std::vector<ErrorEntry> DrainErrorQueue(CInstrument& instrument);
