// Comma-separated tables, as RFC 4180 and spreadsheets write them: a header
// row of names, fields in double quotes where they hold commas, quotes ("")
// or line breaks, records ending in CRLF or LF, an optional UTF-8 byte order
// mark. Blank lines are skipped; unquoted fields lose the spaces and tabs
// around them. Rows are numbered as a spreadsheet shows them: every line is
// a row, blank ones too, from 1, and a quoted line break does not start one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "snap/report/bd_rate.h"

struct CsvTable {
    std::vector<std::string> names;              // the header row
    std::vector<std::vector<std::string>> rows;  // each as wide as the header
    std::vector<int64_t> rowNumbers;             // each row's number
};

// Nonzero when `text` is such a table with a header row; otherwise 0 and
// the one-line reason ("row 4: ...").
int parseCsv(CsvTable* table, const char* text, size_t size, std::string* error);

// A rate-distortion table: a "bitrate" column and quality columns (every
// named column but "bitrate" and "frame"; unnamed ones are left out).
struct RateColumn {
    std::string name;
    std::vector<RdPoint> points; // in the table's order, `row` its row number
    std::string fault;           // the first cell that is no number, as a line; empty when none
};
struct RateTable {
    std::vector<RateColumn> columns;
};

// The table in `text`, read from the file `path` (named in the messages).
// A cell that is no number in a quality column is that column's fault, so
// that a column the other table lacks does not stop the run. Nonzero, or 0
// with the one-line reason.
int parseRateTable(RateTable* table, const char* path, const char* text, size_t size, std::string* error);

// The shortest text that reads back as `value` (at least 6 digits), for messages naming a cell.
std::string numberText(double value);
