// --compare's JSON document: the inputs, the geometry, every frame's figures,
// each metric's summary and the gates' outcome. Text out; writing it is the
// caller's.
#pragma once

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "snap/format/frame_format.h"
#include "snap/metric/metric.h"

struct CompareReport {
    const char* input;
    const char* other;
    const FrameGeometry* geometry;            // INPUT's
    int64_t inputFrames, otherFrames, frames; // whole frames of each, and those compared
    nlohmann::json* perFrame;                 // moved into the document
    int metrics;                              // measured, in the order asked
    const Metric* metric[METRIC_MAX];
    const MetricTotals* totals[METRIC_MAX];
    int64_t below[METRIC_MAX];                // frames under each one's gate
    const int* gateSet;                       // by metric-table row, as the job holds them
    const double* gateLimit;
    int64_t missing;                          // frames one file lacks
    bool failed;                              // a gate failed
    const struct FigureTable* figures;        // every frame's figures, pooled; nullptr for none
};

// The document as text, one member per line, ending in a newline. Names
// that are not UTF-8 are kept readable rather than refused.
std::string compareJsonText(CompareReport* report);
