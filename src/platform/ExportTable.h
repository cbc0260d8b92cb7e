#pragma once
// What a display shows, as a table for the clipboard and for files: a header row and data
// rows of texts, numbers already written in the C locale.
#include <QString>
#include <QStringList>

#include <vector>

namespace platform {

struct ExportTable {
    QStringList header;
    std::vector<QStringList> rows;

    bool operator==(const ExportTable&) const = default;
};

// Tab-separated lines, each ended by a newline; tabs and line breaks inside a cell become
// blanks, so every line keeps its columns.
QString ToTabSeparated(const ExportTable& table);
// Comma-separated lines ended by CRLF; a cell with a comma, a quote or a line break is
// quoted, its quotes doubled.
QString ToCsv(const ExportTable& table);
// A number as the shortest text that reads back to the same value ("200", "0.1", "1e+30").
QString ExactNumber(double value);

} // namespace platform
