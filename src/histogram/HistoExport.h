#pragma once
// The histogram chart in words and tables: what its context menu copies and saves, and
// what it tells assistive technologies.
#include "platform/ExportTable.h"

#include <QString>

class Chisto;

// One row per bin: lower edge, upper edge, count, then the quantity (for example
// "TEMPERATURE OUT3"), its unit and the histogram's time unit.
platform::ExportTable HistogramTable(const Chisto& histo, const QString& quantity,
                                     const QString& timeUnit);

// The title, both axes' ranges with the unit, and every bin's edges and count.
QString ChartDescription(const Chisto& histo, const QString& title);
