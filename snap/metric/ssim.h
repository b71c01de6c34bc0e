// SSIM of two frames the way FFmpeg's ssim filter computes it, so that the
// figures people quote from it come out the same here: 4x4 block sums of
// a, b, a^2 + b^2 and ab; windows of 2x2 blocks (8x8 samples) stepping one
// block (4 samples) each way; constants from the peak 2^d - 1; the plane's
// SSIM is the mean over its windows. Samples past the last whole block of a
// row or column are not looked at.
#pragma once

#include <cstddef>
#include <cstdint>

#include "snap/metric/metric_planes.h"

// One row of 4x4 blocks: block z covers samples 4z..4z+3 of the four rows
// starting at a and b (strides in samples) and gets
// sums[z] = {sum a, sum b, sum a^2 + b^2, sum ab}. Reads nothing past sample
// 4 x blocks - 1 of any row.
using SsimBlockRow8 = void (*)(const uint8_t* a, ptrdiff_t aStride, const uint8_t* b,
                               ptrdiff_t bStride, int blocks, int32_t (*sums)[4]);
using SsimBlockRow16 = void (*)(const uint16_t* a, ptrdiff_t aStride, const uint16_t* b,
                                ptrdiff_t bStride, int blocks, int64_t (*sums)[4]);

void ssimBlockRow8Scalar(const uint8_t* a, ptrdiff_t aStride, const uint8_t* b, ptrdiff_t bStride,
                         int blocks, int32_t (*sums)[4]);
void ssimBlockRow16Scalar(const uint16_t* a, ptrdiff_t aStride, const uint16_t* b,
                          ptrdiff_t bStride, int blocks, int64_t (*sums)[4]);
#if defined(__x86_64__)
// Only where the CPU has AVX2 (see ssimRowsNamed). The 16-bit row is quick
// for samples below 4096 (12 bits) and hands deeper ones to the scalar row.
void ssimBlockRow8Avx2(const uint8_t* a, ptrdiff_t aStride, const uint8_t* b, ptrdiff_t bStride,
                       int blocks, int32_t (*sums)[4]);
void ssimBlockRow16Avx2(const uint16_t* a, ptrdiff_t aStride, const uint16_t* b,
                        ptrdiff_t bStride, int blocks, int64_t (*sums)[4]);
#endif

// The sum of one row of 8-bit windows: window i takes blocks i and i + 1 of
// the block rows above and below (`windows` + 1 blocks each). Each window's
// SSIM is a float, added in window order into a double.
using SsimWindowRow8 = double (*)(const int32_t (*top)[4], const int32_t (*bottom)[4], int windows);

// One window's SSIM from its sums (s1, s2, ss, s12 of 64 samples).
float ssimWindow8(int32_t s1, int32_t s2, int32_t ss, int32_t s12);
double ssimWindowRow8Scalar(const int32_t (*top)[4], const int32_t (*bottom)[4], int windows);
#if defined(__x86_64__)
double ssimWindowRow8Avx2(const int32_t (*top)[4], const int32_t (*bottom)[4], int windows);
#endif

// The same for deeper samples: window i's SSIM as a float, added in window
// order into a float, with the constants of the depth.
using SsimWindowRow16 = float (*)(const int64_t (*top)[4], const int64_t (*bottom)[4], int windows,
                                  int64_t c1, int64_t c2);

float ssimWindow16(int64_t s1, int64_t s2, int64_t ss, int64_t s12, int64_t c1, int64_t c2);
float ssimWindowRow16Scalar(const int64_t (*top)[4], const int64_t (*bottom)[4], int windows,
                            int64_t c1, int64_t c2);
#if defined(__x86_64__)
// Quick for sums of samples up to 12 bits; deeper ones take the scalar way.
float ssimWindowRow16Avx2(const int64_t (*top)[4], const int64_t (*bottom)[4], int windows,
                          int64_t c1, int64_t c2);
#endif

// The rows of one path; row16 and windows16 serve depths up to row16Depth,
// the scalar rows the deeper ones.
struct SsimRows {
    const char* name;
    SsimBlockRow8 row8;
    SsimWindowRow8 windows8;
    SsimBlockRow16 row16;
    SsimWindowRow16 windows16;
    int row16Depth;
};

// "scalar" or "avx2": that path's rows, or nullptr when this build or CPU lacks it.
const SsimRows* ssimRowsNamed(const char* name);
// The fastest rows this CPU runs, chosen once.
const SsimRows* fastestSsimRows();

// Windows in a plane of this size: (w/4 - 1) x (h/4 - 1), or 0 when it holds
// no whole 8x8 window.
int64_t ssimWindows(int32_t width, int32_t height);

// The SSIM of one plane pair into *ssim: NaN when the plane holds no window.
// Zero only when memory runs out.
int ssimPlane8(const SsimRows* rows, const uint8_t* a, ptrdiff_t aStride, const uint8_t* b,
               ptrdiff_t bStride, int32_t width, int32_t height, double* ssim);
int ssimPlane16(const SsimRows* rows, const uint16_t* a, ptrdiff_t aStride, const uint16_t* b,
                ptrdiff_t bStride, int32_t width, int32_t height, int depth, double* ssim);

// One frame: each plane's SSIM and All, the planes weighted by their sample
// counts. A plane without a window is NaN and left out of All.
struct SsimFrame {
    int planes;       // 1 (grey) or 3
    double plane[3];  // Y, U, V
    double all;
};

// Zero when the frames do not agree (metricFramesAgree) or memory runs out.
int ssimFrame(const MetricFrame* a, const MetricFrame* b, SsimFrame* result);
int ssimFrameWith(const SsimRows* rows, const MetricFrame* a, const MetricFrame* b,
                  SsimFrame* result);

// -10 log10(1 - ssim): infinite for 1 (or within 1e-9 of it).
double ssimDecibels(double ssim);

// "n:1 Y:0.997794 U:0.997933 V:0.998095 All:0.997867 (26.710411)\n", grey
// without U and V; n counts from 1. Returns the length, as snprintf.
int formatSsimFrameLine(char* text, size_t size, int64_t n, const SsimFrame* frame);

// The frames so far: sums of each plane's SSIM and of All.
struct SsimTotals {
    int64_t frames;
    int planes;
    double plane[3];
    double all;
};

void clearSsimTotals(SsimTotals* totals);
void addSsimFrame(SsimTotals* totals, const SsimFrame* frame);

// "SSIM Y:0.907041 (10.317070) U:... V:... All:0.904418 (10.196223)\n": the
// means over the frames, each dB figure from the sum (10 log10(n / (n - sum))).
int formatSsimSummary(char* text, size_t size, const SsimTotals* totals);
