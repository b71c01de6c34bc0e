// Pooled figures of a column of per-frame values: min, max, mean, harmonic
// mean and the percentiles 1, 5, 10, 25 and 50, for the JSON's
// `pooled_metrics` and the report's summary.
#pragma once

#include <cstddef>
#include <cstdint>

#include <nlohmann/json_fwd.hpp>

#include "snap/report/figures.h"

enum { POOLED_PERCENTILES = 5 };
// 1, 5, 10, 25, 50: the JSON keys are "p" and the number.
extern const int pooledPercentiles[POOLED_PERCENTILES];

struct PooledFigure {
    int64_t count;  // values pooled: a frame without the figure (NaN) is left out
    double min, max, mean, harmonicMean;
    double percentile[POOLED_PERCENTILES];
};

// Pools `count` values. An infinite value (identical frames) sorts above every
// finite one and adds nothing to the harmonic mean's sum of reciprocals; a
// figure marked decibelsOfError takes its mean over the error it stands for
// (10^(-dB/10), 0 for an infinite one), so that PSNR pools as its summary does.
// Without a value every figure is NaN.
void poolValues(const double* values, size_t count, int decibelsOfError, PooledFigure* out);

// The p-th percentile (0 to 100) of `sorted` (ascending, no NaN) by linear
// interpolation between closest ranks: the "inclusive" method of Python's
// statistics.quantiles, computed as it computes it.
double inclusivePercentile(const double* sorted, size_t count, int p);

// {"psnr_y": {"min": ..., "max": ..., "mean": ..., "harmonic_mean": ...,
// "p1": ..., "p50": ...}, ...}: infinities and NaN as null, as elsewhere.
void pooledJson(const FigureTable* table, nlohmann::json* out);

// Pools one column of `table`; a figure that weighs others takes for its mean
// the same weighting of their pooled means.
void poolColumn(const FigureTable* table, const FigureColumn* column, PooledFigure* out);
