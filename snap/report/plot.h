// A standalone SVG of per-frame curves in dB (PSNR Y, PSNR average, SSIM All
// as dB, ...) on one axis. Bytes out; writing them is the caller's.
#pragma once

#include <cstdint>
#include <string>

// A curve: `frames` values in dB. An infinite value (identical frames) is
// drawn on the top edge, a NaN leaves a gap. With more frames than pixel
// columns, each column keeps the smallest and largest value of its frames, so
// no dip or peak is lost.
struct PlotSeries {
    const char* label;   // "PSNR Y"
    const char* colour;  // "#1f77b4"
    const double* values;
    int markWorst;       // the worst (smallest) frame is marked with its number and value
};

struct PlotInput {
    int64_t frames;
    int64_t firstNumber;       // the number printed for frame 0 (1, as the stats lines count)
    const PlotSeries* series;  // drawn in this order
    int seriesCount;
    const char* title;         // shown above the plot; may be nullptr
};

// Characters of each file name in --compare's plot title ("A against B").
constexpr size_t PLOT_TITLE_NAME = 36;

// `text` cut to at most `characters` characters by taking them out of its
// middle, where an ellipsis (U+2026) stands for them; the start and end of
// a name say most. UTF-8 characters stay whole; a byte that starts none
// counts as one character.
std::string shortenedInMiddle(const char* text, size_t characters);

// `text` for XML and HTML: & < > " escaped, control characters left out,
// bytes that are not UTF-8 as U+FFFD.
std::string escapedText(const char* text);

// The SVG document into *svg. The title is shortened in the middle where it
// would run into the legend, and bytes that are not UTF-8 become U+FFFD, as
// the JSON writer replaces them. Zero when there is nothing to draw (no frames
// or no series) or memory runs out.
int buildPlotSvg(const PlotInput* input, std::string* svg);
