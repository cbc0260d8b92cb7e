#pragma once
// The reading the readings panel shows, as its context menu copies and saves it.
#include "platform/ExportTable.h"

#include <QString>
#include <QStringList>

struct ShownReading {
    QString quantity;   // the type and the object, for example "Temp OUT3"
    QStringList values; // front, middle and rear, or the one value, as the display shows them
    QString text;       // the display's text
};

// A header (Quantity, then Front, Middle and Rear, or Value) and the reading's row.
platform::ExportTable ReadingTable(const ShownReading& reading);
