// Frames for the benchmarks: the sizes and contents they run over, and a
// VideoFile record describing a frame held in memory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "video/video_file.h"

struct BenchSize {
    int width, height;
};
extern const BenchSize benchSizes[3]; // 352 x 288, 1920 x 1080, 3840 x 2160
extern const int benchFormats[3];     // 420, 422, 444
extern const char* const benchContents[2]; // "smooth", "random"

// One frame of the given geometry. Smooth: gentle gradients in every plane,
// so the reference's clamps are predictable. Random: every byte random.
std::vector<uint8_t> makeBenchFrame(int width, int height, const ChromaFormat* format,
                                    const std::string& content);

// A record whose frame buffer is `frame` (not owned), as openVideo would set it.
VideoFile benchVideo(int width, int height, const ChromaFormat* format, std::vector<uint8_t>& frame);

// "<builder>/<format>/<width>x<height>/<content>", the name the table pairs by.
std::string benchName(const char* builder, int format, int width, int height, const char* content);
