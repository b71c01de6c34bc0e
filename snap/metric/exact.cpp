#include "snap/metric/exact.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include <nlohmann/json.hpp>

#include "snap/metric/metric.h"

namespace {

const char planeLetters[3] = {'y', 'u', 'v'};

uint32_t sampleAt(const uint8_t* row, int32_t x, int bytes) {
    if (bytes == 1) return row[x];
    uint16_t word;
    memcpy(&word, row + 2 * size_t(x), sizeof word);
    return word;
}

// Moves *used past what snprintf wrote, never past the end of the buffer.
void append(size_t size, int* used, int written) {
    if (written > 0) *used += written;
    if (size_t(*used) >= size) *used = size > 0 ? int(size) - 1 : 0;
}

// One plane's differing samples into `out`. Planes stored without padding
// are first compared whole: one memcmp settles an equal plane.
void exactPlane(const MetricPlane* a, const MetricPlane* b, int bytes, int plane, ExactFrame* out) {
    const size_t rowBytes = size_t(a->width) * size_t(bytes);
    if (rowBytes == 0 || a->height <= 0) return;
    const bool whole = a->stride == ptrdiff_t(rowBytes) && b->stride == ptrdiff_t(rowBytes);
    if (whole && memcmp(a->data, b->data, rowBytes * size_t(a->height)) == 0) return;
    for (int32_t y = 0; y < a->height; ++y) {
        const uint8_t* rowA = a->data + y * a->stride;
        const uint8_t* rowB = b->data + y * b->stride;
        if (memcmp(rowA, rowB, rowBytes) == 0) continue;
        int32_t x;
        out->differing[plane] += exactRowDiffers(rowA, rowB, a->width, bytes, &x);
        if (out->first.plane >= 0) continue;
        out->first.plane = plane;
        out->first.x = x;
        out->first.y = y;
        out->first.input = sampleAt(rowA, x, bytes);
        out->first.other = sampleAt(rowB, x, bytes);
    }
}

} // namespace

int64_t exactRowDiffers(const uint8_t* a, const uint8_t* b, int32_t width, int bytes, int32_t* firstX) {
    int32_t x = 0;
    while (x < width && sampleAt(a, x, bytes) == sampleAt(b, x, bytes)) ++x;
    *firstX = x < width ? x : -1;
    int64_t count = 0;
    if (bytes == 1) {
        for (; x < width; ++x) count += a[x] != b[x];
    } else {
        const uint16_t* wordsA = reinterpret_cast<const uint16_t*>(a);
        const uint16_t* wordsB = reinterpret_cast<const uint16_t*>(b);
        for (; x < width; ++x) count += wordsA[x] != wordsB[x];
    }
    return count;
}

int exactFrame(const MetricFrame* a, const MetricFrame* b, int64_t frame, ExactFrame* result) {
    if (!metricFramesAgree(a, b)) return 0;
    memset(result, 0, sizeof *result);
    result->planes = a->planes;
    result->first.frame = frame;
    result->first.plane = -1;
    for (int p = 0; p < a->planes; ++p) exactPlane(&a->plane[p], &b->plane[p], a->depth > 8 ? 2 : 1, p, result);
    return 1;
}

int formatExactFrameLine(char* text, size_t size, int64_t n, const ExactFrame* frame) {
    int used = 0;
    append(size, &used, snprintf(text, size, "n:%" PRId64, n));
    for (int p = 0; p < frame->planes; ++p)
        append(size, &used, snprintf(text + used, size - used, " %c:%" PRId64, planeLetters[p], frame->differing[p]));
    const ExactSample* first = &frame->first;
    if (first->plane >= 0)
        append(size, &used,
               snprintf(text + used, size - used, " first:%c x:%d y:%d input:%u other:%u", planeLetters[first->plane],
                        first->x, first->y, first->input, first->other));
    append(size, &used, snprintf(text + used, size - used, "\n"));
    return used;
}

void clearExactTotals(ExactTotals* totals) {
    memset(totals, 0, sizeof *totals);
    totals->first.plane = -1;
}

// A differing frame joins the last run when it follows it; a new run is kept
// while there is room, and past that only counted.
void addExactFrame(ExactTotals* totals, const ExactFrame* frame) {
    int64_t all = 0;
    totals->planes = frame->planes;
    for (int p = 0; p < frame->planes; ++p) {
        totals->differing[p] += frame->differing[p];
        all += frame->differing[p];
    }
    totals->frames += 1;
    if (all == 0) return;
    totals->framesDiffering += 1;
    if (totals->first.plane < 0) totals->first = frame->first;
    const int64_t n = frame->first.frame;
    if (totals->ranges > 0 && totals->range[totals->ranges - 1][1] == n - 1) {
        totals->range[totals->ranges - 1][1] = n;
    } else if (totals->ranges < EXACT_RANGES) {
        totals->range[totals->ranges][0] = totals->range[totals->ranges][1] = n;
        totals->ranges += 1;
    }
}

namespace {

// "3, 7-9": the runs kept, as many as fit in `size`, then "and N more"
// for the differing frames left out.
void appendRanges(char* text, size_t size, int* used, const ExactTotals* totals) {
    const size_t budget = size_t(*used) + 240 < size ? size_t(*used) + 240 : size;
    int64_t shown = 0;
    for (int r = 0; r < totals->ranges; ++r) {
        const int64_t first = totals->range[r][0], last = totals->range[r][1];
        char run[48];
        const int length = first == last ? snprintf(run, sizeof run, "%s%" PRId64, r ? ", " : "", first)
                                         : snprintf(run, sizeof run, "%s%" PRId64 "-%" PRId64, r ? ", " : "", first, last);
        if (size_t(*used + length) + 24 >= budget) break;
        append(size, used, snprintf(text + *used, size - *used, "%s", run));
        shown += last - first + 1;
    }
    if (shown < totals->framesDiffering)
        append(size, used, snprintf(text + *used, size - *used, " and %" PRId64 " more", totals->framesDiffering - shown));
}

} // namespace

int formatExactSummary(char* text, size_t size, const ExactTotals* totals) {
    int used = 0;
    if (totals->framesDiffering == 0)
        return snprintf(text, size, "EXACT identical: %" PRId64 " frame%s compared, every sample equal\n",
                        totals->frames, totals->frames == 1 ? "" : "s");
    append(size, &used, snprintf(text, size, "EXACT %" PRId64 " of %" PRId64 " frame%s differ%s: ",
                                 totals->framesDiffering, totals->frames, totals->frames == 1 ? "" : "s",
                                 totals->framesDiffering == 1 ? "s" : ""));
    appendRanges(text, size, &used, totals);
    int64_t all = 0;
    append(size, &used, snprintf(text + used, size - used, "; samples"));
    for (int p = 0; p < totals->planes; ++p) {
        append(size, &used, snprintf(text + used, size - used, " %c:%" PRId64, planeLetters[p], totals->differing[p]));
        all += totals->differing[p];
    }
    const ExactSample* first = &totals->first;
    append(size, &used,
           snprintf(text + used, size - used,
                    ", %" PRId64 " in all; first at frame %" PRId64 " plane %c x:%d y:%d input:%u other:%u\n", all,
                    first->frame, planeLetters[first->plane], first->x, first->y, first->input, first->other));
    return used;
}

// Exact comparison as a row of the metric table.
namespace {

int exactMeasure(const MetricFrame* a, const MetricFrame* b, MetricFigures* out) {
    return exactFrame(a, b, out->frame, figuresAs<ExactFrame>(out));
}

int64_t frameDiffering(const ExactFrame* frame) {
    int64_t all = 0;
    for (int p = 0; p < frame->planes; ++p) all += frame->differing[p];
    return all;
}

void sampleJson(const ExactSample* first, bool withFrame, nlohmann::json* j) {
    if (first->plane < 0) {
        *j = nullptr;
        return;
    }
    if (withFrame) (*j)["frame"] = first->frame;
    (*j)["plane"] = std::string(1, planeLetters[first->plane]);
    (*j)["x"] = first->x;
    (*j)["y"] = first->y;
    (*j)["input"] = first->input;
    (*j)["other"] = first->other;
}

void exactFrameJson(const MetricFigures* f, nlohmann::json* j) {
    const ExactFrame* frame = figuresAs<ExactFrame>(f);
    for (int p = 0; p < frame->planes; ++p) (*j)[std::string(1, planeLetters[p])] = frame->differing[p];
    (*j)["samples"] = frameDiffering(frame);
    sampleJson(&frame->first, false, &(*j)["first"]);
}

void exactSummaryJson(const MetricTotals* totals, nlohmann::json* j) {
    const ExactTotals* t = totalsAs<ExactTotals>(totals);
    int64_t all = 0;
    for (int p = 0; p < t->planes; ++p) {
        (*j)[std::string(1, planeLetters[p])] = t->differing[p];
        all += t->differing[p];
    }
    (*j)["frames_differing"] = t->framesDiffering;
    (*j)["samples_differing"] = all;
    sampleJson(&t->first, true, &(*j)["first"]);
}

// A frame fails when more samples differ than the limit allows (none, as the
// table sets it).
int exactBelow(const MetricFigures* f, double limit) {
    return double(frameDiffering(figuresAs<ExactFrame>(f))) > limit;
}

// Figures 0 to 2 are the differing samples of Y, U and V, 3 of the frame.
double exactFigure(const MetricFigures* f, int figure) {
    const ExactFrame* frame = figuresAs<ExactFrame>(f);
    if (figure == 3) return double(frameDiffering(frame));
    return figure < frame->planes ? double(frame->differing[figure]) : NAN;
}

} // namespace

// Counts are no curve on the plot's dB axis; frames rank by the samples
// that differ, the more the worse.
const Metric exactMetric = {
    "exact", "--exact-stats", nullptr, nullptr, nullptr, exactMeasure,
    frameLineAs<ExactFrame, formatExactFrameLine>, clearTotalsAs<ExactTotals, clearExactTotals>,
    addFrameAs<ExactTotals, ExactFrame, addExactFrame>, summaryLineAs<ExactTotals, formatExactSummary>,
    exactFrameJson, exactSummaryJson, exactBelow, 0, {}, nullptr, 4,
    {{"exact_y", 0, 0, 0, 0}, {"exact_u", 1, 0, 0, 0}, {"exact_v", 2, 0, 0, 0}, {"exact_all", 0, 0, 0, 0}},
    exactFigure, 3,
};
