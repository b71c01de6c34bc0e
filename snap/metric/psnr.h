// PSNR of two frames: exact sums of squared differences per plane, and the
// figures and text lines in the form FFmpeg's psnr filter prints them, with
// the peak 2^d - 1 of the samples' depth.
#pragma once

#include <cstddef>
#include <cstdint>

#include "snap/metric/metric_planes.h"

// Sums of squared differences of two runs of samples, exact for any length.
using SquareSum8 = uint64_t (*)(const uint8_t* a, const uint8_t* b, size_t count);
using SquareSum16 = uint64_t (*)(const uint16_t* a, const uint16_t* b, size_t count);

uint64_t squareSum8Scalar(const uint8_t* a, const uint8_t* b, size_t count);
uint64_t squareSum16Scalar(const uint16_t* a, const uint16_t* b, size_t count);
#if defined(__x86_64__)
// Only where the CPU has AVX2 (see psnrSumsNamed).
uint64_t squareSum8Avx2(const uint8_t* a, const uint8_t* b, size_t count);
uint64_t squareSum16Avx2(const uint16_t* a, const uint16_t* b, size_t count);
#endif

struct PsnrSums {
    const char* name;
    SquareSum8 sum8;
    SquareSum16 sum16;
};

// "scalar" or "avx2": that path's sums, or nullptr when this build or CPU lacks it.
const PsnrSums* psnrSumsNamed(const char* name);
// The fastest sums this CPU runs, chosen once.
const PsnrSums* fastestPsnrSums();

// One frame's sums. A plane without samples counts as identical.
struct PsnrFrame {
    int planes;
    int depth;
    uint64_t squares[3];
    int64_t samples[3];
};

// Zero when the frames do not agree (metricFramesAgree).
int psnrFrame(const MetricFrame* a, const MetricFrame* b, PsnrFrame* result);
int psnrFrameWith(const PsnrSums* sums, const MetricFrame* a, const MetricFrame* b,
                  PsnrFrame* result);

// Mean squared error of one plane (0 for an empty one) and of the whole frame
// (the planes' MSEs weighted by their shares of the samples).
double psnrPlaneMse(const PsnrFrame* frame, int plane);
double psnrFrameMse(const PsnrFrame* frame);

// 10 log10(peak^2 / mse) with peak = 2^depth - 1; infinite for mse 0.
double psnrDecibels(double mse, int depth);

// "n:1 mse_avg:0.51 mse_y:0.53 mse_u:0.47 mse_v:0.46 psnr_avg:51.06 psnr_y:50.90
// psnr_u:51.44 psnr_v:51.50\n" (one line; grey without u and v), n from 1.
int formatPsnrFrameLine(char* text, size_t size, int64_t n, const PsnrFrame* frame);

// The frames so far.
struct PsnrTotals {
    int64_t frames;
    int planes;
    int depth;
    uint64_t squares[3];
    int64_t samples[3];   // per frame
    double worstMse;      // largest frame MSE
    double bestMse;       // smallest
};

void clearPsnrTotals(PsnrTotals* totals);
void addPsnrFrame(PsnrTotals* totals, const PsnrFrame* frame);

// "PSNR y:50.9 u:... v:... average:... min:... max:...\n" with six decimals:
// each plane and the average over all frames, min from the worst frame, max
// from the best.
int formatPsnrSummary(char* text, size_t size, const PsnrTotals* totals);
