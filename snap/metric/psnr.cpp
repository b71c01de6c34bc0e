#include "snap/metric/psnr.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include <nlohmann/json.hpp>

#include "snap/metric/metric.h"

// A 32-bit sum holds 66051 squares of 255 at most; blocks of 32768 samples
// stay well inside that, and each block's sum goes into the 64-bit total.
constexpr size_t SCALAR_BLOCK = 32768;

uint64_t squareSum8Scalar(const uint8_t* a, const uint8_t* b, size_t count) {
    uint64_t total = 0;
    while (count > 0) {
        const size_t n = count < SCALAR_BLOCK ? count : SCALAR_BLOCK;
        uint32_t sum = 0;
        for (size_t i = 0; i < n; ++i) {
            const int32_t d = int32_t{a[i]} - int32_t{b[i]};
            sum += uint32_t(d * d);
        }
        total += sum;
        a += n;
        b += n;
        count -= n;
    }
    return total;
}

uint64_t squareSum16Scalar(const uint16_t* a, const uint16_t* b, size_t count) {
    uint64_t total = 0;
    for (size_t i = 0; i < count; ++i) {
        const int64_t d = int64_t{a[i]} - int64_t{b[i]};
        total += uint64_t(d * d);
    }
    return total;
}

namespace {

const PsnrSums scalarSums = {"scalar", squareSum8Scalar, squareSum16Scalar};
#if defined(__x86_64__)
const PsnrSums avx2Sums = {"avx2", squareSum8Avx2, squareSum16Avx2};
const PsnrSums* const sumsPaths[] = {&scalarSums, &avx2Sums};
#else
const PsnrSums* const sumsPaths[] = {&scalarSums};
#endif
constexpr int pathCount = int(sizeof sumsPaths / sizeof sumsPaths[0]);

uint64_t planeSquares(const PsnrSums* sums, int depth, const MetricPlane* a, const MetricPlane* b) {
    uint64_t total = 0;
    for (int32_t y = 0; y < a->height; ++y) {
        const uint8_t* rowA = a->data + y * a->stride;
        const uint8_t* rowB = b->data + y * b->stride;
        total += depth == 8 ? sums->sum8(rowA, rowB, size_t(a->width))
                            : sums->sum16(reinterpret_cast<const uint16_t*>(rowA),
                                          reinterpret_cast<const uint16_t*>(rowB), size_t(a->width));
    }
    return total;
}

const char planeLetters[3] = {'y', 'u', 'v'};

// Moves *used past what snprintf wrote, never past the end of the buffer.
void append(size_t size, int* used, int written) {
    if (written > 0) *used += written;
    if (size_t(*used) >= size) *used = size > 0 ? int(size) - 1 : 0;
}

} // namespace

const PsnrSums* psnrSumsNamed(const char* name) {
    return metricPathNamed(sumsPaths, pathCount, name);
}

const PsnrSums* fastestPsnrSums() {
    static const PsnrSums* const fastest = fastestMetricPath(sumsPaths, pathCount); // chosen once, on first use
    return fastest;
}

int psnrFrame(const MetricFrame* a, const MetricFrame* b, PsnrFrame* result) {
    return psnrFrameWith(fastestPsnrSums(), a, b, result);
}

int psnrFrameWith(const PsnrSums* sums, const MetricFrame* a, const MetricFrame* b,
                  PsnrFrame* result) {
    if (!metricFramesAgree(a, b)) return 0;
    memset(result, 0, sizeof *result);
    result->planes = a->planes;
    result->depth = a->depth;
    for (int p = 0; p < a->planes; ++p) {
        result->squares[p] = planeSquares(sums, a->depth, &a->plane[p], &b->plane[p]);
        result->samples[p] = int64_t{a->plane[p].width} * a->plane[p].height;
    }
    return 1;
}

double psnrPlaneMse(const PsnrFrame* frame, int plane) {
    const int64_t samples = frame->samples[plane];
    return samples > 0 ? double(frame->squares[plane]) / double(samples) : 0.0;
}

// Each plane's MSE weighted by its share of the frame's samples, added in
// plane order: not the same double as all squares over all samples, and on
// ties at the second decimal it is this one that FFmpeg's lines print.
double psnrFrameMse(const PsnrFrame* frame) {
    int64_t samples = 0;
    for (int p = 0; p < frame->planes; ++p) samples += frame->samples[p];
    if (samples <= 0) return 0.0;
    double mse = 0.0;
    for (int p = 0; p < frame->planes; ++p)
        mse += psnrPlaneMse(frame, p) * (double(frame->samples[p]) / double(samples));
    return mse;
}

double psnrDecibels(double mse, int depth) {
    if (mse <= 0) return INFINITY;
    const double peak = double((1 << depth) - 1);
    return 10.0 * log10(peak * peak / mse);
}

int formatPsnrFrameLine(char* text, size_t size, int64_t n, const PsnrFrame* frame) {
    int used = 0;
    char number[40];
    const double average = psnrFrameMse(frame);
    append(size, &used, snprintf(text, size, "n:%" PRId64 " mse_avg:%.2f", n, average));
    for (int p = 0; p < frame->planes; ++p)
        append(size, &used,
               snprintf(text + used, size - used, " mse_%c:%.2f", planeLetters[p], psnrPlaneMse(frame, p)));
    formatMetricNumber(number, sizeof number, psnrDecibels(average, frame->depth), 2);
    append(size, &used, snprintf(text + used, size - used, " psnr_avg:%s", number));
    for (int p = 0; p < frame->planes; ++p) {
        formatMetricNumber(number, sizeof number, psnrDecibels(psnrPlaneMse(frame, p), frame->depth), 2);
        append(size, &used, snprintf(text + used, size - used, " psnr_%c:%s", planeLetters[p], number));
    }
    append(size, &used, snprintf(text + used, size - used, "\n"));
    return used;
}

void clearPsnrTotals(PsnrTotals* totals) {
    memset(totals, 0, sizeof *totals);
}

void addPsnrFrame(PsnrTotals* totals, const PsnrFrame* frame) {
    const double mse = psnrFrameMse(frame);
    if (totals->frames == 0 || mse > totals->worstMse) totals->worstMse = mse;
    if (totals->frames == 0 || mse < totals->bestMse) totals->bestMse = mse;
    totals->planes = frame->planes;
    totals->depth = frame->depth;
    for (int p = 0; p < frame->planes; ++p) {
        totals->squares[p] += frame->squares[p];
        totals->samples[p] = frame->samples[p];
    }
    totals->frames += 1;
}

namespace {

// The summary's figures in dB: each plane and the average over all frames,
// min from the worst frame, max from the best.
struct PsnrSummary {
    double plane[3];
    double average, min, max;
};

void summarise(const PsnrTotals* totals, PsnrSummary* out) {
    const double frames = double(totals->frames);
    uint64_t squares = 0;
    int64_t samples = 0;
    for (int p = 0; p < totals->planes; ++p) {
        const double all = double(totals->samples[p]) * frames;
        out->plane[p] = psnrDecibels(all > 0 ? double(totals->squares[p]) / all : 0.0, totals->depth);
        squares += totals->squares[p];
        samples += totals->samples[p];
    }
    const double all = double(samples) * frames;
    out->average = psnrDecibels(all > 0 ? double(squares) / all : 0.0, totals->depth);
    out->min = psnrDecibels(totals->worstMse, totals->depth);
    out->max = psnrDecibels(totals->bestMse, totals->depth);
}

} // namespace

int formatPsnrSummary(char* text, size_t size, const PsnrTotals* totals) {
    PsnrSummary summary;
    summarise(totals, &summary);
    int used = 0;
    char number[40];
    append(size, &used, snprintf(text, size, "PSNR"));
    for (int p = 0; p < totals->planes; ++p) {
        formatMetricNumber(number, sizeof number, summary.plane[p], 6);
        append(size, &used, snprintf(text + used, size - used, " %c:%s", planeLetters[p], number));
    }
    formatMetricNumber(number, sizeof number, summary.average, 6);
    append(size, &used, snprintf(text + used, size - used, " average:%s", number));
    formatMetricNumber(number, sizeof number, summary.min, 6);
    append(size, &used, snprintf(text + used, size - used, " min:%s", number));
    formatMetricNumber(number, sizeof number, summary.max, 6);
    append(size, &used, snprintf(text + used, size - used, " max:%s\n", number));
    return used;
}

// PSNR as a row of the metric table.
namespace {

// YUV-PSNR, (6 Y + U + V) / 8 of the planes' PSNR, as encoder tests report
// it; NaN for grey, which has no U or V.
double psnrYuv(const PsnrFrame* frame) {
    if (frame->planes < 3) return NAN;
    double db[3];
    for (int p = 0; p < 3; ++p) db[p] = psnrDecibels(psnrPlaneMse(frame, p), frame->depth);
    return (6 * db[0] + db[1] + db[2]) / 8;
}

void psnrFrameJson(const MetricFigures* f, nlohmann::json* j) {
    const PsnrFrame* frame = figuresAs<PsnrFrame>(f);
    const double average = psnrFrameMse(frame);
    (*j)["mse_avg"] = average;
    for (int p = 0; p < frame->planes; ++p)
        (*j)[std::string("mse_") + planeLetters[p]] = psnrPlaneMse(frame, p);
    metricJsonNumber(psnrDecibels(average, frame->depth), &(*j)["psnr_avg"]);
    for (int p = 0; p < frame->planes; ++p)
        metricJsonNumber(psnrDecibels(psnrPlaneMse(frame, p), frame->depth),
                         &(*j)[std::string("psnr_") + planeLetters[p]]);
    if (frame->planes == 3) metricJsonNumber(psnrYuv(frame), &(*j)["psnr_yuv"]);
}

void psnrSummaryJson(const MetricTotals* totals, nlohmann::json* j) {
    const PsnrTotals* t = totalsAs<PsnrTotals>(totals);
    PsnrSummary summary;
    summarise(t, &summary);
    for (int p = 0; p < t->planes; ++p) metricJsonNumber(summary.plane[p], &(*j)[std::string(1, planeLetters[p])]);
    metricJsonNumber(summary.average, &(*j)["average"]);
    // The same weighting of the clip's plane figures: not FFmpeg's average,
    // which weighs the planes' squared errors by their sample counts.
    if (t->planes == 3)
        metricJsonNumber((6 * summary.plane[0] + summary.plane[1] + summary.plane[2]) / 8, &(*j)["psnr_yuv"]);
    metricJsonNumber(summary.min, &(*j)["min"]);
    metricJsonNumber(summary.max, &(*j)["max"]);
}

// Identical frames (MSE 0) are never below any limit.
int psnrBelow(const MetricFigures* f, double limit) {
    const PsnrFrame* frame = figuresAs<PsnrFrame>(f);
    const double mse = psnrFrameMse(frame);
    return mse > 0 && psnrDecibels(mse, frame->depth) < limit;
}

// Series 0 is Y, series 1 the frame's average.
double psnrSeries(const MetricFigures* f, int series) {
    const PsnrFrame* frame = figuresAs<PsnrFrame>(f);
    return psnrDecibels(series == 0 ? psnrPlaneMse(frame, 0) : psnrFrameMse(frame), frame->depth);
}

// Figures 0 to 3 are PSNR of Y, U, V and the average, 4 to 7 their MSE, 8
// YUV-PSNR.
double psnrFigure(const MetricFigures* f, int figure) {
    const PsnrFrame* frame = figuresAs<PsnrFrame>(f);
    if (figure == 8) return psnrYuv(frame);
    const int plane = figure % 4;
    if (plane < 3 && plane >= frame->planes) return NAN;
    const double mse = plane == 3 ? psnrFrameMse(frame) : psnrPlaneMse(frame, plane);
    return figure < 4 ? psnrDecibels(mse, frame->depth) : mse;
}

} // namespace

// Any size can be measured; the plot shows Y and the frame's average, each
// with its worst frame marked; frames rank by the average's PSNR.
const Metric psnrMetric = {
    "psnr", "--stats", "--fail-below", "fail_below", nullptr, measureAs<PsnrFrame, psnrFrame>,
    frameLineAs<PsnrFrame, formatPsnrFrameLine>, clearTotalsAs<PsnrTotals, clearPsnrTotals>,
    addFrameAs<PsnrTotals, PsnrFrame, addPsnrFrame>, summaryLineAs<PsnrTotals, formatPsnrSummary>,
    psnrFrameJson, psnrSummaryJson, psnrBelow, 2, {{"PSNR Y", "#1f77b4", 1}, {"PSNR average", "#2ca02c", 1}},
    psnrSeries, 9,
    {{"psnr_y", 0, 1, 1, 2}, {"psnr_u", 1, 1, 1, 2}, {"psnr_v", 2, 1, 1, 2}, {"psnr_avg", 0, 1, 1, 2},
     {"mse_y", 0, 0, 0, 2}, {"mse_u", 1, 0, 0, 2}, {"mse_v", 2, 0, 0, 2}, {"mse_avg", 0, 0, 0, 2},
     {"psnr_yuv", 2, 1, 0, 2, 3, {0, 1, 2}, {6.0 / 8, 1.0 / 8, 1.0 / 8}}},
    psnrFigure, 3,
};
