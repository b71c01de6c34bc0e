// corvane-snap --compare with SSIM, JSON, a plot or an SSIM gate: PSNR and
// SSIM of two videos of one geometry from one pass over both files.
#pragma once

#include <cstdint>

#include "video/video_file.h"   // ChromaFormat

struct MeasureJob {
    const char* input;         // paths as given (UTF-8 on Windows)
    const char* other;
    int32_t width, height;
    const ChromaFormat* format;
    int metrics;               // METRIC_PSNR | METRIC_SSIM
    const char* statsPath;     // per-frame PSNR lines: nullptr, a file, or "-"
    const char* ssimStatsPath; // per-frame SSIM lines
    const char* jsonPath;      // everything as JSON; with "-" standard output holds it alone
    const char* plotPath;      // the per-frame curves as SVG
    int failBelowSet;
    double failBelow;          // dB: a frame's average PSNR below it fails the gate
    int failBelowSsimSet;
    double failBelowSsim;      // a frame's SSIM All below it fails the gate
};

// The exit status: 0, 1 (a gate failed) or 2 (an error, one line on stderr).
int runMeasure(const MeasureJob* job);
