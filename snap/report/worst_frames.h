// The worst frames of a --compare run, found while the pass runs: their
// bytes held then when a source cannot be read again (a stream), else read
// again once the pass is over (copying every frame that was the worst for a
// while cost as much as the pictures). Then their pictures for the report: the reference (INPUT), the distorted (OTHER)
// and the difference, each scaled down to at most WORST_PICTURE_WIDTH pixels
// wide and encoded as PNG.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "snap/format/frame_format.h"
#include "snap/metric/metric.h"
#include "snap/source/source.h"

constexpr int32_t WORST_PICTURE_WIDTH = 640;
// The difference pictures' gain: a coding error of a few levels, flat grey at
// 1, shows at 4 and still leaves room before the clamp.
constexpr int WORST_DIFFERENCE_GAIN = 4;

struct HeldFrame {
    int64_t index;  // from 0
    double value;   // the ranking figure
    std::vector<uint8_t> bytes[2]; // INPUT's frame, OTHER's, as stored
};

struct WorstFrames {
    int most;                // frames to keep; 0 keeps none
    int holdBytes;           // copy their bytes as they come (a source that cannot seek)
    const Metric* metric;    // ranked by its rankFigure
    std::vector<HeldFrame> held; // worst first; on a tie the earlier frame
};

void startWorstFrames(WorstFrames* worst, int most, const Metric* metric, int holdBytes);

// Keeps frame `index` when it is among the `most` worst so far, copying the
// two stored frames when holdBytes. Zero when memory ran out.
int considerWorstFrame(WorstFrames* worst, int64_t index, const MetricFigures* figures, const uint8_t* a,
                       size_t aBytes, const uint8_t* b, size_t bBytes);

// One kept frame's pictures, as PNG bytes.
struct WorstPictures {
    std::vector<uint8_t> png[3]; // reference, distorted, difference
    int32_t width, height;       // of each, after scaling
    int factor;                  // each picture pixel the mean of factor x factor frame pixels
};

// Reads side `side` (0 INPUT, 1 OTHER) of the frames kept without their
// bytes from its source, open again after the pass; the two sides may be
// read on two threads. Frame j is the side's frame skip + j (--offset).
// Zero with `error` when one cannot be read.
int readHeldSide(WorstFrames* worst, Source* source, int side, int64_t skip, std::string* error);

// The whole-pixel factor that brings `width` to at most `most` pixels.
int scaleFactorFor(int32_t width, int32_t most);

// The stored frame scaled down by `factor` into a planar frame of `scaled`
// (the format's planar form at its depth, max(1, side / factor) pixels): each
// sample the rounded mean of its factor x factor box of the plane, the right
// and bottom rest left out (a box past a rounded-up chroma plane's edge takes
// its last samples). Averaging the samples before the colour view is built
// leaves only the small picture to convert. Zero when the geometry has no layout.
int scaleFrame(const FrameGeometry* stored, const uint8_t* frame, int factor, FrameGeometry* scaled,
               std::vector<uint8_t>* out);

// One side of a kept frame (0 INPUT, the reference; 1 OTHER, the distorted)
// made small: its scaled frame (scaleFrame to at most WORST_PICTURE_WIDTH
// pixels across) and that frame's colour view as PNG into `png`. Safe on
// several threads at once. Zero with `error` when it cannot be made.
struct WorstSide {
    FrameGeometry scaled;
    std::vector<uint8_t> small;
};
int buildWorstSide(const FrameGeometry* stored, const HeldFrame* held, int side, WorstSide* out,
                   std::vector<uint8_t>* png, std::string* error);

// The difference picture of the two sides: 128 + gain x (a - b) of the
// scaled Y in grey, as --diff draws it, into out->png[2], with the size and
// the scaling factor. Zero with `error` when it cannot be made.
int buildWorstDifference(const WorstSide sides[2], int factor, int gain, WorstPictures* out, std::string* error);
