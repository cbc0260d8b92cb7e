#pragma once
// What a command prints: named columns and rows of cells, written as aligned text, CSV or
// JSON. Numbers are written in the C locale with the fewest digits that read back to the
// same value.
#include "cli/CommandLine.h"
#include "core/Snapshot.h"

#include <ostream>
#include <string>
#include <vector>

struct Cell {
    // In JSON: a string, a number, true or false, and for a verdict true, false or null.
    enum Kind { Text, Number, Boolean, Verdict };
    std::string text;
    Kind kind = Text;
};

struct Table {
    std::vector<std::string> columns;
    std::vector<std::vector<Cell>> rows;
};

Cell TextCell(std::string text);
Cell NumberCell(double value);
Cell BooleanCell(bool value);    // "yes" or "no" in text and CSV
Cell VerdictCell(Verdict value); // "true", "false" or "unknown" in text and CSV

// text as a JSON string, quotes included: quote, backslash and control bytes escaped.
std::string JsonString(const std::string& text);

// One row as a JSON object on one line: {"column": value, ...}.
std::string JsonObject(const std::vector<std::string>& columns, const std::vector<Cell>& row);

void WriteTable(const Table& table, OutputFormat format, std::ostream& out);
