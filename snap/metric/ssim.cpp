// The arithmetic follows the integer form of SSIM that FFmpeg's filter uses,
// types included, because its printed digits are what people compare with:
// 8-bit windows are worked out in int and float and summed in double; deeper
// windows in int64_t and float, summed along a window row in float, and the
// rows in double. Found by matching its listings on many clips.
#include "snap/metric/ssim.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <nlohmann/json.hpp>

#include "snap/metric/metric.h"

namespace {

// The sums of each 4x4 block along a row of blocks: the samples of a and b,
// their squares together, and their products. Sum is int32_t for 8-bit
// samples, as FFmpeg's 8-bit code keeps it, and int64_t for deeper ones.
template <typename Sample, typename Sum>
void blockRow(const Sample* a, ptrdiff_t aStride, const Sample* b, ptrdiff_t bStride, int blocks,
              Sum (*sums)[4]) {
    for (int z = 0; z < blocks; ++z) {
        Sum s1 = 0, s2 = 0, ss = 0, s12 = 0;
        for (int y = 0; y < 4; ++y) {
            const Sample* pa = a + y * aStride + 4 * z;
            const Sample* pb = b + y * bStride + 4 * z;
            for (int x = 0; x < 4; ++x) {
                const Sum p = pa[x], q = pb[x];
                s1 += p;
                s2 += q;
                ss += p * p + q * q;
                s12 += p * q;
            }
        }
        sums[z][0] = s1;
        sums[z][1] = s2;
        sums[z][2] = ss;
        sums[z][3] = s12;
    }
}

} // namespace

void ssimBlockRow8Scalar(const uint8_t* a, ptrdiff_t aStride, const uint8_t* b, ptrdiff_t bStride,
                         int blocks, int32_t (*sums)[4]) {
    blockRow(a, aStride, b, bStride, blocks, sums);
}

void ssimBlockRow16Scalar(const uint16_t* a, ptrdiff_t aStride, const uint16_t* b,
                          ptrdiff_t bStride, int blocks, int64_t (*sums)[4]) {
    blockRow(a, aStride, b, bStride, blocks, sums);
}

namespace {

const SsimRows scalarRows = {"scalar", ssimBlockRow8Scalar, ssimWindowRow8Scalar, ssimBlockRow16Scalar,
                             ssimWindowRow16Scalar, 16};
#if defined(__x86_64__)
const SsimRows avx2Rows = {"avx2", ssimBlockRow8Avx2, ssimWindowRow8Avx2, ssimBlockRow16Avx2,
                           ssimWindowRow16Avx2, 12};
const SsimRows* const rowsPaths[] = {&scalarRows, &avx2Rows};
#else
const SsimRows* const rowsPaths[] = {&scalarRows};
#endif
constexpr int pathCount = int(sizeof rowsPaths / sizeof rowsPaths[0]);

} // namespace

// One 8x8 window from its four blocks' sums (N = 64 samples). With
// mu = s / N, the published SSIM
//   (2 mu_a mu_b + C1)(2 cov + C2) / ((mu_a^2 + mu_b^2 + C1)(var_a + var_b + C2))
// multiplied through by N^2 and N(N - 1) stays in integers:
//   vars = N ss - s1^2 - s2^2, covar = N s12 - s1 s2,
//   C1 = (0.01 peak)^2 N^2 and C2 = (0.03 peak)^2 N^2 (N - 1), rounded.
float ssimWindow8(int32_t s1, int32_t s2, int32_t ss, int32_t s12) {
    // peak 255: 64 * 6.5025 and 64 * 63 * 58.5225, rounded.
    const int32_t c1 = 416, c2 = 235963;
    const int32_t vars = ss * 64 - s1 * s1 - s2 * s2;
    const int32_t covar = s12 * 64 - s1 * s2;
    return float(2 * s1 * s2 + c1) * float(2 * covar + c2) /
           (float(s1 * s1 + s2 * s2 + c1) * float(vars + c2));
}

// The same at any depth; sums of 16-bit samples need 64 bits.
float ssimWindow16(int64_t s1, int64_t s2, int64_t ss, int64_t s12, int64_t c1, int64_t c2) {
    const int64_t vars = ss * 64 - s1 * s1 - s2 * s2;
    const int64_t covar = s12 * 64 - s1 * s2;
    return float(2 * s1 * s2 + c1) * float(2 * covar + c2) /
           (float(s1 * s1 + s2 * s2 + c1) * float(vars + c2));
}

float ssimWindowRow16Scalar(const int64_t (*top)[4], const int64_t (*bottom)[4], int windows, int64_t c1,
                            int64_t c2) {
    float sum = 0;
    for (int i = 0; i < windows; ++i) {
        int64_t s[4];
        for (int k = 0; k < 4; ++k) s[k] = top[i][k] + top[i + 1][k] + bottom[i][k] + bottom[i + 1][k];
        sum += ssimWindow16(s[0], s[1], s[2], s[3], c1, c2);
    }
    return sum;
}

double ssimWindowRow8Scalar(const int32_t (*top)[4], const int32_t (*bottom)[4], int windows) {
    double sum = 0;
    for (int i = 0; i < windows; ++i) {
        int32_t s[4];
        for (int k = 0; k < 4; ++k) s[k] = top[i][k] + top[i + 1][k] + bottom[i][k] + bottom[i + 1][k];
        sum += ssimWindow8(s[0], s[1], s[2], s[3]);
    }
    return sum;
}

const SsimRows* ssimRowsNamed(const char* name) {
    return metricPathNamed(rowsPaths, pathCount, name);
}

const SsimRows* fastestSsimRows() {
    static const SsimRows* const fastest = fastestMetricPath(rowsPaths, pathCount); // chosen once, on first use
    return fastest;
}

int64_t ssimWindows(int32_t width, int32_t height) {
    const int64_t across = width / 4 - 1, down = height / 4 - 1;
    return across > 0 && down > 0 ? across * down : 0;
}

// Both drivers keep two block rows and swap them: window row y takes block
// rows y - 1 and y.
int ssimPlane8(const SsimRows* rows, const uint8_t* a, ptrdiff_t aStride, const uint8_t* b,
               ptrdiff_t bStride, int32_t width, int32_t height, double* ssim) {
    const int64_t windows = ssimWindows(width, height);
    if (windows == 0) {
        *ssim = NAN;
        return 1;
    }
    const int blocks = width / 4, blockRows = height / 4;
    int32_t(*buffer)[4] = static_cast<int32_t(*)[4]>(malloc(2 * sizeof(int32_t[4]) * size_t(blocks)));
    if (!buffer) return 0;
    int32_t(*top)[4] = buffer;
    int32_t(*bottom)[4] = buffer + blocks;
    rows->row8(a, aStride, b, bStride, blocks, top);
    double sum = 0;
    for (int y = 1; y < blockRows; ++y) {
        rows->row8(a + 4 * y * aStride, aStride, b + 4 * y * bStride, bStride, blocks, bottom);
        sum += rows->windows8(top, bottom, blocks - 1);
        int32_t(*swap)[4] = top;
        top = bottom;
        bottom = swap;
    }
    free(buffer);
    *ssim = sum / double(windows);
    return 1;
}

int ssimPlane16(const SsimRows* rows, const uint16_t* a, ptrdiff_t aStride, const uint16_t* b,
                ptrdiff_t bStride, int32_t width, int32_t height, int depth, double* ssim) {
    const int64_t windows = ssimWindows(width, height);
    if (windows == 0) {
        *ssim = NAN;
        return 1;
    }
    const bool deep = depth > rows->row16Depth;
    const SsimBlockRow16 row = deep ? ssimBlockRow16Scalar : rows->row16;
    const SsimWindowRow16 windowRow = deep ? ssimWindowRow16Scalar : rows->windows16;
    const double peak = double((1 << depth) - 1);
    const int64_t c1 = int64_t(.01 * .01 * peak * peak * 64 + .5);
    const int64_t c2 = int64_t(.03 * .03 * peak * peak * 64 * 63 + .5);
    const int blocks = width / 4, blockRows = height / 4;
    int64_t(*buffer)[4] = static_cast<int64_t(*)[4]>(malloc(2 * sizeof(int64_t[4]) * size_t(blocks)));
    if (!buffer) return 0;
    int64_t(*top)[4] = buffer;
    int64_t(*bottom)[4] = buffer + blocks;
    row(a, aStride, b, bStride, blocks, top);
    double sum = 0;
    for (int y = 1; y < blockRows; ++y) {
        row(a + 4 * y * aStride, aStride, b + 4 * y * bStride, bStride, blocks, bottom);
        sum += windowRow(top, bottom, blocks - 1, c1, c2);
        int64_t(*swap)[4] = top;
        top = bottom;
        bottom = swap;
    }
    free(buffer);
    *ssim = sum / double(windows);
    return 1;
}

int ssimFrame(const MetricFrame* a, const MetricFrame* b, SsimFrame* result) {
    return ssimFrameWith(fastestSsimRows(), a, b, result);
}

int ssimFrameWith(const SsimRows* rows, const MetricFrame* a, const MetricFrame* b,
                  SsimFrame* result) {
    if (!metricFramesAgree(a, b)) return 0;
    result->planes = a->planes;
    int64_t samples = 0;
    for (int p = 0; p < a->planes; ++p) {
        const MetricPlane* pa = &a->plane[p];
        const MetricPlane* pb = &b->plane[p];
        double* ssim = &result->plane[p];
        const int ok = a->depth == 8
            ? ssimPlane8(rows, pa->data, pa->stride, pb->data, pb->stride, pa->width, pa->height, ssim)
            : ssimPlane16(rows, reinterpret_cast<const uint16_t*>(pa->data), pa->stride / 2,
                          reinterpret_cast<const uint16_t*>(pb->data), pb->stride / 2, pa->width,
                          pa->height, a->depth, ssim);
        if (!ok) return 0;
        samples += int64_t{pa->width} * pa->height;
    }
    // Each plane's weight is its share of the samples, added in plane order.
    // A plane without a window (chroma under 8x8) makes the whole frame's
    // figure NaN, as in FFmpeg's lines: no honest mean leaves it out.
    result->all = samples > 0 ? 0.0 : NAN;
    for (int p = 0; p < a->planes; ++p)
        result->all += double(int64_t{a->plane[p].width} * a->plane[p].height) / double(samples) *
                       result->plane[p];
    return 1;
}

namespace {

// 10 log10(weight / (weight - sum)): dB of the mean sum / weight.
double decibelsOfSum(double sum, double weight) {
    if (std::isnan(sum)) return NAN;
    return fabs(weight - sum) > 1e-9 ? 10.0 * log10(weight / (weight - sum)) : INFINITY;
}

const char planeLetters[3] = {'Y', 'U', 'V'};

// The dB figure of the text lines. FFmpeg finds no difference from 1 in a
// NaN and prints inf; JSON and the plot keep the NaN (null, a gap).
int formatSsimDecibels(char* text, size_t size, double sum, double weight) {
    return formatMetricNumber(text, size, std::isnan(sum) ? INFINITY : decibelsOfSum(sum, weight), 6);
}

// Moves *used past what snprintf wrote, never past the end of the buffer.
void append(size_t size, int* used, int written) {
    if (written > 0) *used += written;
    if (size_t(*used) >= size) *used = size > 0 ? int(size) - 1 : 0;
}

} // namespace

double ssimDecibels(double ssim) {
    return decibelsOfSum(ssim, 1.0);
}

int formatSsimFrameLine(char* text, size_t size, int64_t n, const SsimFrame* frame) {
    int used = 0;
    char number[2][40];
    append(size, &used, snprintf(text, size, "n:%" PRId64, n));
    for (int p = 0; p < frame->planes; ++p) {
        formatMetricNumber(number[0], sizeof number[0], frame->plane[p], 6);
        append(size, &used, snprintf(text + used, size - used, " %c:%s", planeLetters[p], number[0]));
    }
    formatMetricNumber(number[0], sizeof number[0], frame->all, 6);
    formatSsimDecibels(number[1], sizeof number[1], frame->all, 1.0);
    append(size, &used, snprintf(text + used, size - used, " All:%s (%s)\n", number[0], number[1]));
    return used;
}

void clearSsimTotals(SsimTotals* totals) {
    memset(totals, 0, sizeof *totals);
}

void addSsimFrame(SsimTotals* totals, const SsimFrame* frame) {
    totals->planes = frame->planes;
    for (int p = 0; p < frame->planes; ++p) totals->plane[p] += frame->plane[p];
    totals->all += frame->all;
    totals->frames += 1;
}

int formatSsimSummary(char* text, size_t size, const SsimTotals* totals) {
    const double frames = double(totals->frames);
    int used = 0;
    char number[2][40];
    append(size, &used, snprintf(text, size, "SSIM"));
    for (int p = 0; p < totals->planes; ++p) {
        formatMetricNumber(number[0], sizeof number[0], totals->plane[p] / frames, 6);
        formatSsimDecibels(number[1], sizeof number[1], totals->plane[p], frames);
        append(size, &used,
               snprintf(text + used, size - used, " %c:%s (%s)", planeLetters[p], number[0], number[1]));
    }
    formatMetricNumber(number[0], sizeof number[0], totals->all / frames, 6);
    formatSsimDecibels(number[1], sizeof number[1], totals->all, frames);
    append(size, &used, snprintf(text + used, size - used, " All:%s (%s)\n", number[0], number[1]));
    return used;
}

// SSIM as a row of the metric table.
namespace {

const char* const jsonPlanes[3] = {"y", "u", "v"};

// FFmpeg's figure for a plane without one window is meaningless; refuse rather than invent one.
int ssimFits(int32_t width, int32_t height, char* why, size_t size) {
    if (ssimWindows(width, height) > 0) return 1;
    snprintf(why, size, "SSIM needs a picture of at least 8x8, not %dx%d", width, height);
    return 0;
}

void ssimFrameJson(const MetricFigures* f, nlohmann::json* j) {
    const SsimFrame* frame = figuresAs<SsimFrame>(f);
    for (int p = 0; p < frame->planes; ++p) metricJsonNumber(frame->plane[p], &(*j)[jsonPlanes[p]]);
    metricJsonNumber(frame->all, &(*j)["all"]);
    metricJsonNumber(ssimDecibels(frame->all), &(*j)["all_db"]);
}

// The mean over frames and its dB figure, from the sum as the summary line takes it.
void ssimMeanJson(double sum, int64_t frames, nlohmann::json* j) {
    const double n = double(frames);
    metricJsonNumber(sum / n, &(*j)["ssim"]);
    metricJsonNumber(n - sum > 0 ? 10.0 * log10(n / (n - sum)) : INFINITY, &(*j)["db"]);
}

void ssimSummaryJson(const MetricTotals* totals, nlohmann::json* j) {
    const SsimTotals* t = totalsAs<SsimTotals>(totals);
    for (int p = 0; p < t->planes; ++p) ssimMeanJson(t->plane[p], t->frames, &(*j)[jsonPlanes[p]]);
    ssimMeanJson(t->all, t->frames, &(*j)["all"]);
}

// A frame without a figure (a plane without a window) cannot show that it
// reaches the limit, so it fails the gate rather than pass unmeasured.
int ssimBelow(const MetricFigures* f, double limit) {
    const double all = figuresAs<SsimFrame>(f)->all;
    return std::isnan(all) || all < limit;
}

double ssimSeries(const MetricFigures* f, int) {
    return ssimDecibels(figuresAs<SsimFrame>(f)->all);
}

// Figures 0 to 2 are Y, U and V, 3 All and 4 All in dB.
double ssimFigure(const MetricFigures* f, int figure) {
    const SsimFrame* frame = figuresAs<SsimFrame>(f);
    if (figure < 3) return figure < frame->planes ? frame->plane[figure] : NAN;
    return figure == 3 ? frame->all : ssimDecibels(frame->all);
}

} // namespace

// Pictures need a whole 8x8 window; the plot shows All in dB; frames rank by All.
const Metric ssimMetric = {
    "ssim", "--ssim-stats", "--fail-below-ssim", "fail_below_ssim", ssimFits, measureAs<SsimFrame, ssimFrame>,
    frameLineAs<SsimFrame, formatSsimFrameLine>, clearTotalsAs<SsimTotals, clearSsimTotals>,
    addFrameAs<SsimTotals, SsimFrame, addSsimFrame>, summaryLineAs<SsimTotals, formatSsimSummary>,
    ssimFrameJson, ssimSummaryJson, ssimBelow, 1, {{"SSIM All (dB)", "#d62728", 1}}, ssimSeries, 5,
    {{"ssim_y", 0, 1, 0, 6}, {"ssim_u", 1, 1, 0, 6}, {"ssim_v", 2, 1, 0, 6}, {"ssim_all", 0, 1, 0, 6},
     {"ssim_all_db", 0, 1, 1, 3}},
    ssimFigure, 3,
};
