#include "snap/report/pooled.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

const int pooledPercentiles[POOLED_PERCENTILES] = {1, 5, 10, 25, 50};

double inclusivePercentile(const double* sorted, size_t count, int p) {
    if (count == 0) return NAN;
    if (count == 1) return sorted[0];
    // Python's own steps: j, delta = divmod(p * m, 100), then the weighted
    // sum over 100, so that the doubles agree to the last bit.
    const size_t m = count - 1;
    const size_t j = size_t(p) * m / 100, delta = size_t(p) * m % 100;
    // An infinite neighbour weighted by 0 would make NaN of 0 x inf.
    if (delta == 0 && std::isinf(sorted[j + 1])) return sorted[j];
    return (sorted[j] * double(100 - delta) + sorted[j + 1] * double(delta)) / 100;
}

namespace {

// n / sum(1 / x), as Python's statistics.harmonic_mean: 0 when a value is 0,
// NaN (no figure) when one is negative.
double harmonicMean(const std::vector<double>& values) {
    double reciprocals = 0;
    for (double v : values) {
        if (v < 0) return NAN;
        if (v == 0) return 0;
        reciprocals += 1 / v;
    }
    return reciprocals > 0 ? double(values.size()) / reciprocals : INFINITY;
}

double meanOf(const std::vector<double>& values, int decibelsOfError) {
    double sum = 0;
    for (double v : values) sum += decibelsOfError ? (std::isinf(v) ? 0.0 : pow(10.0, -v / 10)) : v;
    const double mean = sum / double(values.size());
    if (!decibelsOfError) return mean;
    return mean > 0 ? -10 * log10(mean) : INFINITY;
}

} // namespace

void poolValues(const double* values, size_t count, int decibelsOfError, PooledFigure* out) {
    std::vector<double> kept;
    kept.reserve(count);
    for (size_t i = 0; i < count; ++i)
        if (!std::isnan(values[i])) kept.push_back(values[i]);
    out->count = int64_t(kept.size());
    if (kept.empty()) {
        out->min = out->max = out->mean = out->harmonicMean = NAN;
        for (double& p : out->percentile) p = NAN;
        return;
    }
    std::sort(kept.begin(), kept.end());
    out->min = kept.front();
    out->max = kept.back();
    out->mean = meanOf(kept, decibelsOfError);
    out->harmonicMean = harmonicMean(kept);
    for (int i = 0; i < POOLED_PERCENTILES; ++i)
        out->percentile[i] = inclusivePercentile(kept.data(), kept.size(), pooledPercentiles[i]);
}

void poolColumn(const FigureTable* table, const FigureColumn* column, PooledFigure* out) {
    const MetricFigure* figure = columnFigure(column);
    poolValues(column->values->data(), column->values->size(), figure->decibelsOfError, out);
    if (!figure->weighs || out->count == 0) return;
    double mean = 0;
    for (int w = 0; w < figure->weighs; ++w) {
        const FigureColumn* weighed = nullptr;
        for (const FigureColumn& other : table->columns)
            if (other.metric == column->metric && other.figure == figure->weighed[w]) weighed = &other;
        if (!weighed) return;
        PooledFigure part;
        poolValues(weighed->values->data(), weighed->values->size(), columnFigure(weighed)->decibelsOfError, &part);
        mean += figure->weights[w] * part.mean;
    }
    out->mean = mean;
}

void pooledJson(const FigureTable* table, nlohmann::json* out) {
    *out = nlohmann::json::object();
    for (const FigureColumn& column : table->columns) {
        const MetricFigure* figure = columnFigure(&column);
        PooledFigure pooled;
        poolColumn(table, &column, &pooled);
        nlohmann::json& j = (*out)[figure->name];
        metricJsonNumber(pooled.min, &j["min"]);
        metricJsonNumber(pooled.max, &j["max"]);
        metricJsonNumber(pooled.mean, &j["mean"]);
        metricJsonNumber(pooled.harmonicMean, &j["harmonic_mean"]);
        for (int i = 0; i < POOLED_PERCENTILES; ++i)
            metricJsonNumber(pooled.percentile[i], &j["p" + std::to_string(pooledPercentiles[i])]);
    }
}
