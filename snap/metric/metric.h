// What --compare can measure: one record per metric, and the table the
// engine picks from by --metric. A metric turns a pair of frames into its
// figures and its figures into text, JSON, a gate's verdict and plot curves;
// the engine owns files, threads and order, and never names a metric.
#pragma once

#include <cstddef>
#include <cstdint>

#include <nlohmann/json_fwd.hpp>

#include "snap/metric/metric_planes.h"

// One frame's figures, kept in the metric's own record (PsnrFrame, SsimFrame)
// inside bytes large enough for any of them.
struct MetricFigures {
    alignas(8) unsigned char bytes[96];
    int ok; // zero when the measure could not be taken (memory ran out)
    int64_t frame; // the frame's number (from 0) as the run's JSON gives it, set by the engine before measure
};

// The frames so far, in the metric's own totals record.
struct MetricTotals {
    alignas(8) unsigned char bytes[512];
};

// The metric's own record inside the shared bytes, which must hold it.
template <typename T, size_t N> T* recordIn(unsigned char (&bytes)[N]) {
    static_assert(sizeof(T) <= N, "the metric's record fits the shared bytes");
    return reinterpret_cast<T*>(bytes);
}
template <typename T, size_t N> const T* recordIn(const unsigned char (&bytes)[N]) {
    static_assert(sizeof(T) <= N, "the metric's record fits the shared bytes");
    return reinterpret_cast<const T*>(bytes);
}
template <typename T> T* figuresAs(MetricFigures* f) { return recordIn<T>(f->bytes); }
template <typename T> const T* figuresAs(const MetricFigures* f) { return recordIn<T>(f->bytes); }
template <typename T> T* totalsAs(MetricTotals* t) { return recordIn<T>(t->bytes); }
template <typename T> const T* totalsAs(const MetricTotals* t) { return recordIn<T>(t->bytes); }

// A metric's typed functions (its Frame and Totals records) as the entries
// of its Metric record, which take the shared bytes: for example
// measureAs<PsnrFrame, psnrFrame>.
template <typename Frame, int (*measure)(const MetricFrame*, const MetricFrame*, Frame*)>
int measureAs(const MetricFrame* a, const MetricFrame* b, MetricFigures* out) {
    return measure(a, b, figuresAs<Frame>(out));
}
template <typename Frame, int (*format)(char*, size_t, int64_t, const Frame*)>
int frameLineAs(const MetricFigures* f, int64_t n, char* text, size_t size) {
    return format(text, size, n, figuresAs<Frame>(f));
}
template <typename Totals, void (*clear)(Totals*)>
void clearTotalsAs(MetricTotals* t) {
    clear(totalsAs<Totals>(t));
}
template <typename Totals, typename Frame, void (*add)(Totals*, const Frame*)>
void addFrameAs(MetricTotals* t, const MetricFigures* f) {
    add(totalsAs<Totals>(t), figuresAs<Frame>(f));
}
template <typename Totals, int (*format)(char*, size_t, const Totals*)>
int summaryLineAs(const MetricTotals* t, char* text, size_t size) {
    return format(text, size, totalsAs<Totals>(t));
}

// A curve of the plot, in dB, one value per frame.
struct MetricSeries {
    const char* label;  // "PSNR average"
    const char* colour; // "#2ca02c"
    int markWorst;      // its worst frame is marked with number and value
};

constexpr int METRIC_MAX_SERIES = 2;

// A figure a metric gives for every frame, under the one name it has in every
// output: the CSV's column, the key of the pooled figures, the report's rows.
struct MetricFigure {
    const char* name;  // "psnr_y"
    int plane;         // 1 or 2 when it needs U or V (grey frames have none); else 0
    int lowerIsWorse;  // dB and SSIM; MSE is worse the higher it is
    // A dB figure of an error (infinite for none): pooled, its mean is the
    // dB of the mean error, as the summary line gives it.
    int decibelsOfError;
    int decimals;      // shown with this many in the report (the files keep every digit)
    // A figure weighing others of the metric (YUV-PSNR: 6 Y, 1 U, 1 V, over
    // 8): pooled, its mean is the same weighting of their pooled means.
    int weighs = 0;
    int weighed[3] = {};
    double weights[3] = {};
};

constexpr int METRIC_MAX_FIGURES = 12;

struct Metric {
    const char* name;        // "psnr": the word of --metric and the key of its JSON
    const char* statsOption; // "--stats": where its per-frame lines go
    const char* gateOption;  // "--fail-below"
    const char* gateJsonKey; // "fail_below"
    // Nonzero when frames of this size can be measured; otherwise the one-line reason.
    int (*fits)(int32_t width, int32_t height, char* why, size_t size);
    // Pure: the pair in, the figures out. Zero when memory runs out.
    int (*measure)(const MetricFrame* a, const MetricFrame* b, MetricFigures* out);
    // The stats-file line of frame n (counted from 1), as snprintf.
    int (*frameLine)(const MetricFigures* f, int64_t n, char* text, size_t size);
    void (*clearTotals)(MetricTotals* t);
    void (*addFrame)(MetricTotals* t, const MetricFigures* f);
    // The summary line on standard output, as snprintf.
    int (*summaryLine)(const MetricTotals* t, char* text, size_t size);
    void (*frameJson)(const MetricFigures* f, nlohmann::json* out);
    void (*summaryJson)(const MetricTotals* t, nlohmann::json* out);
    // Nonzero when the frame falls below the gate's limit.
    int (*below)(const MetricFigures* f, double limit);
    int seriesCount;
    MetricSeries series[METRIC_MAX_SERIES];
    double (*seriesValue)(const MetricFigures* f, int series);
    int figureCount;
    MetricFigure figures[METRIC_MAX_FIGURES];
    // Figure i of the frame (NaN where it has none), by the order of `figures`.
    double (*figureValue)(const MetricFigures* f, int figure);
    int rankFigure; // the figure by which frames are ranked worst
};

extern const Metric psnrMetric;
extern const Metric ssimMetric;
extern const Metric exactMetric;

// Nonzero when frames of `planes` planes have figure i of the metric.
int metricHasFigure(const Metric* metric, int figure, int planes);

// A figure for JSON: infinities (identical frames) and NaN (no window) as null.
void metricJsonNumber(double value, nlohmann::json* out);

// How a run of corvane-snap asks for a metric: bit i of SnapJob::metrics is
// row i, and SnapJob's per-metric arrays (statsPaths, gateSet, gateLimit) are
// indexed by the row. The command line finds each row's options by the
// Metric's statsOption and gateOption.
struct MetricRow {
    const Metric* metric;
    const char* gateFigure; // the key in the metric's frame JSON of the figure its gate compares
    double gateLow, gateHigh; // the limits its gate takes
    const char* gateHelp;     // the line refusing a gate outside them
    // Nonzero when the gate is on whenever the metric is measured, at the
    // limit gateLow; the metric then has no gate option.
    int gateAlways;
    // Nonzero when measuring costs less than reading the frames.
    int readingBound;
};

// The most rows the table may hold (SnapJob's arrays are this long).
enum { METRIC_MAX = 8 };

// Row 0 is measured when --metric names none.
extern const MetricRow metricTable[];
extern const int metricCount;

// The row of --metric's word, or nullptr.
const MetricRow* findMetric(const char* name);
// The bit of SnapJob::metrics that asks for the row.
int metricBit(const MetricRow* row);
// How the row's gate shows in messages: "--fail-below 35", or "--metric exact"
// for a gate that is always on. As snprintf.
int metricGateName(const MetricRow* row, double limit, char* text, size_t size);
