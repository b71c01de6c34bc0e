// Clip pairs for the metric tests: a textured clip and a noisier copy of it,
// made from a fixed generator, in the layout FFmpeg's rawvideo reader and
// Y4M share (chroma planes rounded up), and FFmpeg's own listings for them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "snap/metric/metric_planes.h"

struct ClipRecipe {
    const char* pixelFormat; // FFmpeg's name: "yuv420p", "gray10le", ...
    int32_t width, height;
    int frames;
    uint32_t seed;
};

struct ClipPair {
    int planes, depth, shiftX, shiftY;
    int32_t planeWidth[3], planeHeight[3];
    size_t planeBytes[3];
    size_t frameBytes;
    std::vector<uint8_t> a, b; // whole clips
};

// Zero for a pixel format this helper does not know.
int makeClipPair(const ClipRecipe* recipe, ClipPair* pair);

// Frame `index` of clip a (`second` false) or b, as the metrics take it.
MetricFrame clipFrame(const ClipPair* pair, bool second, int index);

// Nonzero when an ffmpeg binary runs here (never on Windows).
int ffmpegRuns();

// FFmpeg's per-frame stats lines (trailing blanks removed) and its summary
// line for `filter` ("ssim" or "psnr") on the pair; `options` go before the
// inputs (e.g. "-cpuflags 0"). Zero when it did not run.
int ffmpegListing(const ClipRecipe* recipe, const ClipPair* pair, const char* filter, const char* options,
                  std::vector<std::string>* lines, std::string* summary);
