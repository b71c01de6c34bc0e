#include "snap/io/csv_read.h"

#include <cstdio>
#include <cstring>
#include <set>

#include "snap/cli/values.h"
#include "snap/io/shown_name.h"

namespace {

// Where the parse is in the text.
struct CsvCursor {
    const char* at;
    const char* end;
    int64_t row; // the number of the record being read
};

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

bool atRecordEnd(const CsvCursor* c) {
    return c->at == c->end || *c->at == '\n' || *c->at == '\r';
}

int refuse(std::string* error, int64_t row, const char* why) {
    *error = "row " + std::to_string(row) + ": " + why;
    return 0;
}

// A quoted field from its opening quote; the cursor ends past the closing one.
int readQuoted(CsvCursor* c, std::string* field, std::string* error) {
    const int64_t started = c->row;
    for (++c->at; c->at < c->end; ++c->at) {
        if (*c->at != '"') {
            field->push_back(*c->at);
            continue;
        }
        if (c->at + 1 < c->end && c->at[1] == '"') {
            field->push_back('"');
            ++c->at;
            continue;
        }
        ++c->at;
        while (c->at < c->end && isBlank(*c->at)) ++c->at;
        if (c->at < c->end && *c->at != ',' && !atRecordEnd(c))
            return refuse(error, started, "a closing quote is followed by more than a comma or the line's end");
        return 1;
    }
    return refuse(error, started, "a quoted field is not closed");
}

// One field; the cursor ends on the comma or the record's end after it.
int readField(CsvCursor* c, std::string* field, std::string* error) {
    field->clear();
    while (c->at < c->end && isBlank(*c->at)) ++c->at;
    if (c->at < c->end && *c->at == '"') return readQuoted(c, field, error);
    const char* start = c->at;
    while (c->at < c->end && *c->at != ',' && !atRecordEnd(c)) {
        if (*c->at == '"') return refuse(error, c->row, "a quote inside a field that does not begin with one");
        ++c->at;
    }
    const char* stop = c->at;
    while (stop > start && isBlank(stop[-1])) --stop;
    field->assign(start, stop);
    return 1;
}

// One record, and the line break after it.
int readRecord(CsvCursor* c, std::vector<std::string>* fields, std::string* error) {
    fields->clear();
    for (;;) {
        fields->emplace_back();
        if (!readField(c, &fields->back(), error)) return 0;
        if (c->at < c->end && *c->at == ',') {
            ++c->at;
            continue;
        }
        if (c->at < c->end && *c->at == '\r') ++c->at;
        if (c->at < c->end && *c->at == '\n') ++c->at;
        return 1;
    }
}

// Skips lines that hold nothing but blanks, counting them as rows.
void skipBlankLines(CsvCursor* c) {
    for (;;) {
        const char* p = c->at;
        while (p < c->end && isBlank(*p)) ++p;
        if (p == c->end || (*p != '\n' && *p != '\r')) return;
        c->at = p + (*p == '\r' && p + 1 < c->end && p[1] == '\n' ? 2 : 1);
        ++c->row;
    }
}

int columnIndex(const CsvTable* table, const char* name) {
    for (size_t i = 0; i < table->names.size(); ++i)
        if (table->names[i] == name) return int(i);
    return -1;
}

} // namespace

std::string numberText(double value) {
    char text[32];
    for (int digits = 6; digits <= 17; ++digits) {
        snprintf(text, sizeof text, "%.*g", digits, value);
        if (strtod(text, nullptr) == value) break;
    }
    return text;
}

int parseCsv(CsvTable* table, const char* text, size_t size, std::string* error) {
    *table = CsvTable();
    CsvCursor c = {text, text + size, 1};
    if (size >= 3 && !memcmp(text, "\xef\xbb\xbf", 3)) c.at += 3;
    skipBlankLines(&c);
    if (c.at == c.end) return refuse(error, c.row, "no header row: the table is empty");
    if (!readRecord(&c, &table->names, error)) return 0;
    std::vector<std::string> fields;
    for (;;) {
        ++c.row;
        skipBlankLines(&c);
        if (c.at == c.end) return 1;
        if (!readRecord(&c, &fields, error)) return 0;
        if (fields.size() != table->names.size())
            return refuse(error, c.row, ("holds " + std::to_string(fields.size()) +
                                         (fields.size() == 1 ? " field" : " fields") + " where the header has " +
                                         std::to_string(table->names.size())).c_str());
        table->rows.push_back(fields);
        table->rowNumbers.push_back(c.row);
    }
}

namespace {

int failWith(std::string* error, const std::string& line) {
    *error = line;
    return 0;
}

// A cell as a message quotes it: at most 40 bytes of it.
std::string quotedCell(const std::string& cell) {
    return cell.size() <= 40 ? quotedName(cell.c_str()) : quotedName((cell.substr(0, 40) + "...").c_str());
}

// Each name once: a quality named twice would be measured twice, differently.
int namesOnce(const CsvTable* csv, const std::string& file, std::string* error) {
    std::set<std::string> seen;
    for (const std::string& name : csv->names)
        if (!name.empty() && !seen.insert(name).second)
            return failWith(error, file + ": the column " + quotedCell(name) + " appears twice");
    return 1;
}

// A cell's number: a quoted one may keep blanks around it.
int readCell(const std::string& cell, double* value) {
    size_t start = 0, stop = cell.size();
    while (start < stop && isBlank(cell[start])) ++start;
    while (stop > start && isBlank(cell[stop - 1])) --stop;
    return readDecimalIn(cell.data() + start, cell.data() + stop, value);
}

// The rates, each a number above 0.
int readRates(const CsvTable* csv, int column, const std::string& file, std::vector<double>* rates,
              std::string* error) {
    for (size_t r = 0; r < csv->rows.size(); ++r) {
        const std::string& cell = csv->rows[r][size_t(column)];
        double rate;
        const std::string where = file + " row " + std::to_string(csv->rowNumbers[r]) + ": bitrate ";
        if (!readCell(cell, &rate))
            return failWith(error, where + quotedCell(cell) + " is not a number");
        if (!(rate > 0)) return failWith(error, where + numberText(rate) + " is not above 0");
        rates->push_back(rate);
    }
    return 1;
}

// One quality column's points, or the first cell that is no number.
void readQualities(const CsvTable* csv, int column, const std::string& file, const std::vector<double>& rates,
                   RateColumn* out) {
    out->name = csv->names[size_t(column)];
    for (size_t r = 0; r < csv->rows.size(); ++r) {
        const std::string& cell = csv->rows[r][size_t(column)];
        double quality;
        if (readCell(cell, &quality)) {
            out->points.push_back({rates[r], quality, csv->rowNumbers[r]});
        } else if (out->fault.empty()) {
            out->fault = file + " row " + std::to_string(csv->rowNumbers[r]) + ": " + shownName(out->name.c_str()) +
                         " " + quotedCell(cell) + " is not a number";
        }
    }
}

} // namespace

int parseRateTable(RateTable* table, const char* path, const char* text, size_t size, std::string* error) {
    *table = RateTable();
    CsvTable csv;
    const std::string file = quotedName(path);
    if (!parseCsv(&csv, text, size, error)) return failWith(error, file + " " + *error);
    const int rate = columnIndex(&csv, "bitrate");
    if (rate < 0 && csv.names.size() == 1)
        return failWith(error,
                        file + " has no bitrate column: its header is one field (the fields are separated by commas)");
    if (rate < 0) return failWith(error, file + " has no bitrate column");
    std::vector<double> rates;
    if (!namesOnce(&csv, file, error) || !readRates(&csv, rate, file, &rates, error)) return 0;
    for (size_t i = 0; i < csv.names.size(); ++i) {
        if (int(i) == rate || csv.names[i] == "frame" || csv.names[i].empty()) continue;
        table->columns.emplace_back();
        readQualities(&csv, int(i), file, rates, &table->columns.back());
    }
    if (table->columns.empty()) return failWith(error, file + " has no quality column beside bitrate");
    return 1;
}
