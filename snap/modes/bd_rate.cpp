#include "snap/modes/bd_rate.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "snap/io/csv_read.h"
#include "snap/io/files.h"
#include "snap/io/messages.h"
#include "snap/io/output.h"
#include "snap/io/shown_name.h"
#include "snap/report/bd_rate.h"

namespace {

const char* const methodNames[] = {"pchip", "poly"}; // by BD_PCHIP, BD_POLY

// The most bytes a rate table may hold: a thousand points take some 50 KiB,
// and the cells of a table this size stay within some 60 MB.
const size_t tableBytesLimit = 1 << 20;

// Reads `path` (a file, or "-" or a FIFO as a stream) whole and parses it.
int readRateTable(RateTable* table, const char* path, std::string* error) {
    FILE* file = openInputFile(path, error);
    if (!file) return 0;
    std::string text;
    char buffer[65536];
    size_t got;
    while (text.size() <= tableBytesLimit && (got = fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, got);
    const int reason = !ferror(file) ? 0 : errno ? errno : EIO;
    fclose(file);
    if (reason || text.size() > tableBytesLimit) {
        *error = reason ? "cannot read " + quotedName(path) + ": " + strerror(reason)
                        : quotedName(path) + " is over 1 MiB: too large for a table of rates";
        return 0;
    }
    return parseRateTable(table, path, text.data(), text.size(), error);
}

struct BdFigure {
    std::string name;
    BdResult result;
};

// "row 7 (bitrate 1500, psnr_y 33.2)"
std::string pointText(const RdPoint& p, const std::string& column) {
    return "row " + std::to_string(p.row) + " (bitrate " + numberText(p.rate) + ", " + column + " " +
           numberText(p.quality) + ")";
}

// The line saying why a curve of `file`, or the pair, gives no figure for `column`.
std::string faultText(const RdFault& f, const std::string& column, const char* file) {
    const std::string where = quotedName(file) + " ";
    switch (f.kind) {
    case RD_TOO_FEW:
        return where + "holds " + std::to_string(f.points) + " distinct points of " + column +
               ": a BD-rate needs at least " + std::to_string(BD_MIN_POINTS);
    case RD_RATE_NOT_ABOVE_0: return where + pointText(f.point, column) + ": the rate is not above 0";
    case RD_NOT_A_NUMBER: return where + pointText(f.point, column) + ": not a finite number";
    case RD_NOT_RISING:
        if (f.point.rate == f.previous.rate)
            return where + pointText(f.previous, column) + " and " + pointText(f.point, column) +
                   ": two qualities at one rate";
        return where + pointText(f.point, column) + ": " + column + " does not rise with the rate: " +
               pointText(f.previous, column) + " has less rate and as much quality or more";
    default: return column + ": the BD-rate is out of range (the rates differ by a factor past 10^308)";
    }
}

const RateColumn* findColumn(const RateTable* table, const std::string& name) {
    for (const RateColumn& column : table->columns)
        if (column.name == name) return &column;
    return nullptr;
}

// Says which quality columns one table has and the other lacks.
void noteUnshared(const RateTable* table, const char* path, const RateTable* other) {
    for (const RateColumn& column : table->columns)
        if (!findColumn(other, column.name))
            snapNote("%s is in %s only: left out", shownName(column.name.c_str()).c_str(), quotedName(path).c_str());
}

// One column's BD-rate: nonzero, or 0 with the line saying why not.
int measureColumn(const SnapJob* job, const RateColumn* anchor, const RateColumn* test, BdFigure* out,
                  std::string* error) {
    const std::string column = shownName(anchor->name.c_str());
    const RateColumn* sides[2] = {anchor, test};
    const char* files[2] = {job->input, job->other};
    std::vector<RdPoint> curves[2];
    RdFault fault;
    for (int s = 0; s < 2; ++s) {
        if (!sides[s]->fault.empty()) return (*error = sides[s]->fault, 0);
        curves[s] = sides[s]->points;
        if (!prepareRdCurve(&curves[s], &fault)) return (*error = faultText(fault, column, files[s]), 0);
    }
    out->name = anchor->name;
    if (bdRate(curves[0], curves[1], job->bdMethod, &out->result, &fault)) return 1;
    if (fault.kind != RD_NO_OVERLAP) return (*error = faultText(fault, column, nullptr), 0);
    *error = column + ": the curves do not overlap: " + quotedName(files[0]) + " spans " +
             numberText(curves[0].front().quality) + " to " + numberText(curves[0].back().quality) + ", " +
             quotedName(files[1]) + " " + numberText(curves[1].front().quality) + " to " +
             numberText(curves[1].back().quality);
    return 0;
}

std::string jsonText(const SnapJob* job, const std::vector<BdFigure>& figures) {
    nlohmann::ordered_json j;
    for (const BdFigure& f : figures) j["bd_rate"][f.name] = f.result.percent;
    j["method"] = methodNames[job->bdMethod];
    j["anchor"] = job->input;
    j["test"] = job->other;
    for (const BdFigure& f : figures) j["quality_range"][f.name] = {{"low", f.result.low}, {"high", f.result.high}};
    return j.dump(1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

} // namespace

int runBdRate(const SnapJob* job) {
    RateTable anchor, test;
    std::string error;
    if (!readRateTable(&anchor, job->input, &error) || !readRateTable(&test, job->other, &error))
        return snapFail("%s", error.c_str());
    noteUnshared(&anchor, job->input, &test);
    noteUnshared(&test, job->other, &anchor);
    std::vector<BdFigure> figures;
    for (const RateColumn& column : anchor.columns) {
        const RateColumn* other = findColumn(&test, column.name);
        if (!other) continue;
        figures.emplace_back();
        if (!measureColumn(job, &column, other, &figures.back(), &error)) return snapFail("%s", error.c_str());
    }
    if (figures.empty())
        return snapFail("%s and %s share no quality column", quotedName(job->input).c_str(),
                        quotedName(job->other).c_str());
    if (job->jsonPath) {
        OutputGuard guard;
        clearGuard(&guard);
        guardFile(&guard, job->input, "ANCHOR");
        guardFile(&guard, job->other, "TEST");
        if (!writeDocument(job->jsonPath, jsonText(job, figures), &guard, "--json")) return 2;
        if (isStandardStream(job->jsonPath)) return 0;
    }
    std::string lines;
    char line[400]; // room for 10^308 per cent, every digit
    for (const BdFigure& f : figures) {
        snprintf(line, sizeof line, ": %.6f %%\n", f.result.percent);
        lines += "BD-rate " + shownName(f.name.c_str()) + line;
    }
    return writeDocument("-", lines, nullptr, nullptr) ? 0 : 2;
}
