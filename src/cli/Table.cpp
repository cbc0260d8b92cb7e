#include "cli/Table.h"

#include "core/Text.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace {

void WriteText(const Table& table, std::ostream& out) {
    std::vector<std::size_t> widths;
    for (const std::string& column : table.columns) {
        widths.push_back(column.size());
    }
    for (const auto& row : table.rows) {
        for (std::size_t c = 0; c < row.size() && c < widths.size(); ++c) {
            widths[c] = std::max(widths[c], row[c].text.size());
        }
    }
    const auto writeLine = [&](auto cellText, std::size_t count) {
        std::string line;
        for (std::size_t c = 0; c < count; ++c) {
            const std::string text = cellText(c);
            line += text;
            if (c + 1 < count) {
                line += std::string(widths[c] - text.size() + 2, ' ');
            }
        }
        out << line << '\n';
    };
    writeLine([&](std::size_t c) { return table.columns[c]; }, table.columns.size());
    for (const auto& row : table.rows) {
        writeLine([&](std::size_t c) { return row[c].text; }, row.size());
    }
}

void WriteCsv(const Table& table, std::ostream& out) {
    out << CsvLine(table.columns) << '\n';
    for (const auto& row : table.rows) {
        std::vector<std::string> fields;
        for (const Cell& cell : row) {
            fields.push_back(cell.text);
        }
        out << CsvLine(fields) << '\n';
    }
}

// A number cell as JSON: JSON has no NaN or infinities, so they become null.
std::string JsonValue(const Cell& cell) {
    if (cell.kind == Cell::Boolean) {
        return cell.text == "yes" ? "true" : "false";
    }
    if (cell.kind == Cell::Verdict) {
        return cell.text == "unknown" ? "null" : cell.text;
    }
    if (cell.kind == Cell::Text) {
        return JsonString(cell.text);
    }
    const bool finite = cell.text.find_first_of("NI") == std::string::npos;
    return finite ? cell.text : "null";
}

void WriteJson(const Table& table, std::ostream& out) {
    out << '[';
    for (std::size_t r = 0; r < table.rows.size(); ++r) {
        out << (r > 0 ? ",\n " : "\n ") << JsonObject(table.columns, table.rows[r]);
    }
    out << (table.rows.empty() ? "]\n" : "\n]\n");
}

} // namespace

std::string JsonString(const std::string& text) {
    std::string quoted = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += static_cast<char>(c);
        } else if (c < 0x20) {
            std::array<char, 8> escape{};
            std::snprintf(escape.data(), escape.size(), "\\u%04x", c);
            quoted += escape.data();
        } else {
            quoted += static_cast<char>(c);
        }
    }
    return quoted + '"';
}

std::string JsonObject(const std::vector<std::string>& columns, const std::vector<Cell>& row) {
    std::string object = "{";
    for (std::size_t c = 0; c < columns.size() && c < row.size(); ++c) {
        object += (c > 0 ? ", " : "") + JsonString(columns[c]) + ": " + JsonValue(row[c]);
    }
    return object + '}';
}

Cell TextCell(std::string text) {
    return Cell{std::move(text), Cell::Text};
}

Cell NumberCell(double value) {
    return Cell{ExactNumber(value), Cell::Number};
}

Cell BooleanCell(bool value) {
    return Cell{value ? "yes" : "no", Cell::Boolean};
}

Cell VerdictCell(Verdict value) {
    return Cell{VerdictName(value), Cell::Verdict};
}

void WriteTable(const Table& table, OutputFormat format, std::ostream& out) {
    switch (format) {
    case OutputFormat::Text:
        WriteText(table, out);
        break;
    case OutputFormat::Csv:
    case OutputFormat::Wide: // a table has no wide layout: its own rows are it
        WriteCsv(table, out);
        break;
    case OutputFormat::Json:
        WriteJson(table, out);
        break;
    case OutputFormat::JsonLines:
        for (std::size_t r = 0; r < table.rows.size(); ++r) {
            out << JsonObject(table.columns, table.rows[r]) << '\n';
        }
        break;
    }
}
