#include "platform/ExportTable.h"

#include <array>
#include <charconv>

namespace platform {

namespace {

QString JoinLines(const ExportTable& table, const QString& separator, const QString& newline,
                  QString (*cell)(const QString&)) {
    QString text;
    const auto appendRow = [&](const QStringList& row) {
        for (qsizetype i = 0; i < row.size(); ++i) {
            text += (i > 0 ? separator : QString()) + cell(row[i]);
        }
        text += newline;
    };
    appendRow(table.header);
    for (const QStringList& row : table.rows) {
        appendRow(row);
    }
    return text;
}

QString TabCell(const QString& cell) {
    QString flat = cell;
    for (QChar& c : flat) {
        if (c == u'\t' || c == u'\n' || c == u'\r') {
            c = u' ';
        }
    }
    return flat;
}

QString CsvCell(const QString& cell) {
    if (!cell.contains(u',') && !cell.contains(u'"') && !cell.contains(u'\n') &&
        !cell.contains(u'\r')) {
        return cell;
    }
    QString quoted = cell;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

} // namespace

QString ToTabSeparated(const ExportTable& table) {
    return JoinLines(table, QStringLiteral("\t"), QStringLiteral("\n"), TabCell);
}

QString ToCsv(const ExportTable& table) {
    return JoinLines(table, QStringLiteral(","), QStringLiteral("\r\n"), CsvCell);
}

QString ExactNumber(double value) {
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return QString::fromLatin1(buffer.data(), result.ptr - buffer.data());
}

} // namespace platform
