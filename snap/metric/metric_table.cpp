// The metrics --compare offers. Row i answers bit i of SnapJob::metrics and
// index i of the job's per-metric settings; a new metric is its own file and
// one row here (the command line reads its options from its Metric record).
#include "snap/metric/metric.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>

#include <nlohmann/json.hpp>

const MetricRow metricTable[] = {
    {&psnrMetric, "psnr_avg", -DBL_MAX, DBL_MAX, "--fail-below takes a PSNR in dB, for example 35", 0, 0},
    {&ssimMetric, "all", 0, 1, "--fail-below-ssim takes an SSIM from 0 to 1, for example 0.95", 0, 0},
    // Conformance: any differing sample fails.
    {&exactMetric, "samples", 0, 0, nullptr, 1, 1},
};
const int metricCount = int(sizeof metricTable / sizeof metricTable[0]);
static_assert(sizeof metricTable / sizeof metricTable[0] <= METRIC_MAX, "SnapJob holds METRIC_MAX metrics");

const MetricRow* findMetric(const char* name) {
    for (const MetricRow& row : metricTable)
        if (name && !strcmp(row.metric->name, name)) return &row;
    return nullptr;
}

int metricBit(const MetricRow* row) {
    return 1 << int(row - metricTable);
}

int metricGateName(const MetricRow* row, double limit, char* text, size_t size) {
    if (row->gateAlways) return snprintf(text, size, "--metric %s", row->metric->name);
    return snprintf(text, size, "%s %g", row->metric->gateOption, limit);
}

void metricJsonNumber(double value, nlohmann::json* out) {
    *out = std::isfinite(value) ? nlohmann::json(value) : nlohmann::json(nullptr);
}

int metricHasFigure(const Metric* metric, int figure, int planes) {
    return figure >= 0 && figure < metric->figureCount && metric->figures[figure].plane < planes;
}
