#pragma once
// What a command prints: named columns and rows of cells, written as aligned text, CSV or
// JSON. Numbers are written in the C locale with the fewest digits that read back to the
// same value.
#include "cli/CommandLine.h"

#include <ostream>
#include <string>
#include <vector>

struct Cell {
    enum Kind { Text, Number, Boolean }; // in JSON: a string, a number, true or false
    std::string text;
    Kind kind = Text;
};

struct Table {
    std::vector<std::string> columns;
    std::vector<std::vector<Cell>> rows;
};

Cell TextCell(std::string text);
Cell NumberCell(double value);
Cell BooleanCell(bool value); // "yes" or "no" in text and CSV

void WriteTable(const Table& table, OutputFormat format, std::ostream& out);
