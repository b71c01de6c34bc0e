// Exact comparison of two frames: how many samples of each plane differ at
// the files' own depth, and where the first one is. Equal rows (nearly every
// row of a conformance run) are passed over by memcmp alone; only a row that
// differs is read sample by sample.
#pragma once

#include <cstddef>
#include <cstdint>

#include "snap/metric/metric_planes.h"

// The first differing sample of a frame or a clip: plane -1 when none differs.
struct ExactSample {
    int64_t frame;   // the frame's number from 0, as the run counts it (after any offset)
    int32_t plane;   // 0 Y, 1 U, 2 V
    int32_t x, y;
    uint32_t input, other;
};

struct ExactFrame {
    int planes;
    int64_t differing[3]; // samples of each plane that differ
    ExactSample first;
};

// The differing samples of one row of `width` samples (1 or 2 bytes each),
// and the column of the first of them (-1 when the rows are equal).
int64_t exactRowDiffers(const uint8_t* a, const uint8_t* b, int32_t width, int bytes, int32_t* firstX);

// Zero when the frames do not agree (metricFramesAgree). `frame` is INPUT's
// frame number, kept with the first differing sample.
int exactFrame(const MetricFrame* a, const MetricFrame* b, int64_t frame, ExactFrame* result);

// "n:1 y:0 u:3 v:0\n", and where a sample differs " first:u x:12 y:7 input:128
// other:131" before the newline (grey without u and v), n from 1.
int formatExactFrameLine(char* text, size_t size, int64_t n, const ExactFrame* frame);

// The differing frames' runs the summary names; past them it gives a count.
enum { EXACT_RANGES = 20 };

// The frames so far, added in frame order.
struct ExactTotals {
    int64_t frames;
    int planes;
    int64_t framesDiffering;
    int64_t differing[3];
    ExactSample first;
    int ranges;
    int64_t range[EXACT_RANGES][2]; // first and last frame of each run of differing frames
};

void clearExactTotals(ExactTotals* totals);
void addExactFrame(ExactTotals* totals, const ExactFrame* frame);

// "EXACT identical: 10 frames compared, every sample equal\n", or
// "EXACT 4 of 10 frames differ: 3, 7-9; samples y:1000 u:200 v:34, 1234 in
// all; first at frame 3 plane u x:12 y:7 input:128 other:131\n" (frames from
// 0, at most EXACT_RANGES runs, then "and N more").
int formatExactSummary(char* text, size_t size, const ExactTotals* totals);
