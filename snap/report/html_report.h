// --compare's report: one HTML file that a browser shows offline, without
// script or network. The inputs and the gate's outcome, the pooled figures,
// the per-frame plot inline, the worst frames' pictures side by side (PNG
// data URIs) and the per-frame table. Text out; writing it is the caller's.
#pragma once

#include <string>
#include <vector>

#include "snap/report/compare_json.h"
#include "snap/report/figures.h"
#include "snap/report/worst_frames.h"

struct ReportFrame {
    int64_t index;   // from 0
    WorstPictures pictures;
};

struct ReportPage {
    const CompareReport* compare;   // inputs, geometry, counts, gates
    const FigureTable* table;
    std::string plotSvg;            // the plot's SVG document; empty for none
    const Metric* rankMetric;       // the worst frames rank by its rankFigure
    std::vector<ReportFrame> worst; // worst first
    int gain;                       // of the difference pictures
};

std::string reportHtml(const ReportPage* page);

// A figure as the report shows it: its metric's decimals, "inf" for an
// infinite one, an em dash for none.
std::string reportNumber(double value, int decimals);

// Standard base64 (RFC 4648) of `bytes`, for data URIs.
std::string base64Text(const std::vector<uint8_t>& bytes);
