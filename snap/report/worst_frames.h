// The worst frames of a --compare run, held while the pass runs: a stream
// cannot be read again, and a few frames cost little beside the run. Then
// their pictures for the report: the reference (INPUT), the distorted (OTHER)
// and the difference, each scaled down to at most WORST_PICTURE_WIDTH pixels
// wide and encoded as PNG.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "snap/format/frame_format.h"
#include "snap/metric/metric.h"

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
    int most;                // frames to hold; 0 holds none
    const Metric* metric;    // ranked by its rankFigure
    std::vector<HeldFrame> held; // worst first; on a tie the earlier frame
};

void startWorstFrames(WorstFrames* worst, int most, const Metric* metric);

// Holds frame `index` when it is among the `most` worst so far, copying the
// two stored frames. Zero when memory ran out.
int considerWorstFrame(WorstFrames* worst, int64_t index, const MetricFigures* figures, const uint8_t* a,
                       size_t aBytes, const uint8_t* b, size_t bBytes);

// One held frame's pictures, as PNG bytes.
struct WorstPictures {
    std::vector<uint8_t> png[3]; // reference, distorted, difference
    int32_t width, height;       // of each, after scaling
    int factor;                  // each picture pixel the mean of factor x factor frame pixels
};

// The whole-pixel factor that brings `width` to at most `most` pixels.
int scaleFactorFor(int32_t width, int32_t most);

// The picture of width x height pixels of `channels` bytes, rows `stride`
// apart, scaled down by `factor` in both directions: each pixel the rounded
// mean of a factor x factor box (the right and bottom rest left out, but
// never the only row or column).
void boxScale(const uint8_t* pixels, int32_t width, int32_t height, int64_t stride, int channels, int factor,
              std::vector<uint8_t>* out, int32_t* outWidth, int32_t* outHeight);

// The pictures of one held frame: the colour view of each file's frame and
// 128 + gain x (a - b) of Y in grey (as --diff draws it), each scaled to at
// most WORST_PICTURE_WIDTH pixels across. Zero with `error` when one cannot
// be made.
int buildWorstPictures(const FrameGeometry stored[2], const HeldFrame* held, int gain, WorstPictures* out,
                       std::string* error);
