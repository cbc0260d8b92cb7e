#include "histogram/HistoExport.h"

#include "histogram/Histo.h"

using platform::ExactNumber;

platform::ExportTable HistogramTable(const Chisto& histo, const QString& quantity,
                                     const QString& timeUnit) {
    platform::ExportTable table;
    table.header = {QStringLiteral("Lower edge"), QStringLiteral("Upper edge"),
                    QStringLiteral("Count"),      QStringLiteral("Quantity"),
                    QStringLiteral("Unit"),       QStringLiteral("Time unit")};
    for (const HISTOBIN& bin : histo.m_pBins) {
        table.rows.push_back({ExactNumber(bin.dLow), ExactNumber(bin.dHigh),
                              QString::number(bin.nCount), quantity, histo.Label(), timeUnit});
    }
    return table;
}

QString ChartDescription(const Chisto& histo, const QString& title) {
    QStringList bins;
    for (const HISTOBIN& bin : histo.m_pBins) {
        bins << QStringLiteral("%1 to %2: %3")
                    .arg(ExactNumber(bin.dLow), ExactNumber(bin.dHigh))
                    .arg(bin.nCount);
    }
    return QStringLiteral("%1. Horizontal axis %2 to %3 %4; vertical axis %5 to %6. Bins: %7.")
        .arg(title.trimmed(), ExactNumber(histo.XMin()), ExactNumber(histo.XMax()), histo.Label(),
             ExactNumber(histo.m_dYMin), ExactNumber(histo.m_dYMax),
             bins.isEmpty() ? QStringLiteral("none") : bins.join(QStringLiteral("; ")));
}
