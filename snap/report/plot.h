// A standalone SVG of per-frame curves in dB: PSNR Y, PSNR average and SSIM
// All (as dB), on one axis. Bytes out; writing them is the caller's.
#pragma once

#include <cstdint>
#include <string>

// Each series holds `frames` values, or is nullptr when not measured. An
// infinite value (identical frames) is drawn on the top edge, a NaN leaves a
// gap. With more frames than pixel columns, each column keeps the smallest and
// largest value of its frames, so no dip or peak is lost.
struct PlotInput {
    int64_t frames;
    int64_t firstNumber;       // the number printed for frame 0 (1, as the stats lines count)
    const double* psnrY;
    const double* psnrAverage;
    const double* ssimDb;
    const char* title;         // shown above the plot; may be nullptr
};

// The SVG document into *svg. The worst (smallest) frame of each series but
// PSNR Y is marked with its number and value. Zero when there is nothing to
// draw (no frames or no series) or memory runs out.
int buildPlotSvg(const PlotInput* input, std::string* svg);
