// The metrics --compare offers. Row i answers bit i of SnapJob::metrics
// (METRIC_PSNR is 1, METRIC_SSIM 2) and names the job's fields for its stats
// file and gate; a new metric is its own file and one row here.
#include "snap/metric/metric.h"

#include <cmath>
#include <cstring>

#include <nlohmann/json.hpp>

#include "snap/cli/options.h"

const MetricRow metricTable[] = {
    {&psnrMetric, &SnapJob::statsPath, &SnapJob::failBelowSet, &SnapJob::failBelow, "psnr_avg"},
    {&ssimMetric, &SnapJob::ssimStatsPath, &SnapJob::failBelowSsimSet, &SnapJob::failBelowSsim, "all"},
};
const int metricCount = int(sizeof metricTable / sizeof metricTable[0]);

const MetricRow* findMetric(const char* name) {
    for (const MetricRow& row : metricTable)
        if (name && !strcmp(row.metric->name, name)) return &row;
    return nullptr;
}

int metricBit(const MetricRow* row) {
    return 1 << int(row - metricTable);
}

void metricJsonNumber(double value, nlohmann::json* out) {
    *out = std::isfinite(value) ? nlohmann::json(value) : nlohmann::json(nullptr);
}
