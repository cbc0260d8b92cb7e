#pragma once
// The exposition of one scrape: whether the rack was read and how long it took, what the
// lab says about it, and when it was read, one family per quantity in base units, the
// mainframe's limit verdicts and the error-queue entries drained.
#include "metrics/ScrapeResult.h"

#include <ostream>

void WriteRackExposition(const ScrapeResult& scrape, const RackLabels& rack, std::ostream& out);
