// Every frame's figures of a --compare run, one column per figure name
// (psnr_y ... ssim_all_db): what the CSV, the pooled figures and the report
// read. The engine fills the values; the columns only point at them.
#pragma once

#include <cstdint>
#include <vector>

#include "snap/metric/metric.h"

struct FigureColumn {
    const Metric* metric;
    int figure;                        // its index in the metric's figures
    const std::vector<double>* values; // one per frame, from frame 0
};

struct FigureTable {
    std::vector<FigureColumn> columns; // in the order the metrics were measured
    int64_t frames;
    int64_t first = 0; // the number of the first row's frame (--frame A-B starts at A)
};

inline const MetricFigure* columnFigure(const FigureColumn* column) {
    return &column->metric->figures[column->figure];
}
