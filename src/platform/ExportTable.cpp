#include "platform/ExportTable.h"

#include "core/Text.h"

namespace platform {

namespace {

// The header and every row, each made a line by line().
QString JoinLines(const ExportTable& table, QString (*line)(const QStringList&)) {
    QString text = line(table.header);
    for (const QStringList& row : table.rows) {
        text += line(row);
    }
    return text;
}

QString TabLine(const QStringList& row) {
    QString text;
    for (qsizetype i = 0; i < row.size(); ++i) {
        QString flat = row[i];
        for (QChar& c : flat) {
            if (c == u'\t' || c == u'\n' || c == u'\r') {
                c = u' ';
            }
        }
        text += (i > 0 ? QStringLiteral("\t") : QString()) + flat;
    }
    return text + u'\n';
}

QString CsvRow(const QStringList& row) {
    std::vector<std::string> fields;
    for (const QString& cell : row) {
        fields.push_back(cell.toStdString());
    }
    return QString::fromStdString(CsvLine(fields)) + QStringLiteral("\r\n");
}

} // namespace

QString ToTabSeparated(const ExportTable& table) {
    return JoinLines(table, TabLine);
}

QString ToCsv(const ExportTable& table) {
    return JoinLines(table, CsvRow);
}

QString ExactNumber(double value) {
    return QString::fromStdString(::ExactNumber(value));
}

} // namespace platform
