#include "panels/ReadingExport.h"

platform::ExportTable ReadingTable(const ShownReading& reading) {
    platform::ExportTable table;
    table.header << QStringLiteral("Quantity");
    if (reading.values.size() == 3) {
        table.header << QStringLiteral("Front") << QStringLiteral("Middle")
                     << QStringLiteral("Rear");
    } else {
        table.header << QStringLiteral("Value");
    }
    table.rows.push_back(QStringList{reading.quantity} + reading.values);
    return table;
}
