#include "bench/bench_frames.h"

#include <cstring>

const BenchSize benchSizes[3] = {{352, 288}, {1920, 1080}, {3840, 2160}};
const int benchFormats[3] = {420, 422, 444};
const char* const benchContents[2] = {"smooth", "random"};

std::vector<uint8_t> makeBenchFrame(int width, int height, const ChromaFormat* format,
                                    const std::string& content) {
    const int cw = width / format->horizontalFactor, ch = height / format->verticalFactor;
    std::vector<uint8_t> frame(size_t(width) * height + 2 * size_t(cw) * ch);
    if (content == "random") {
        uint32_t x = 2463534242u; // xorshift32 from a fixed start: the same frame every run
        for (uint8_t& b : frame) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            b = static_cast<uint8_t>(x >> 24);
        }
        return frame;
    }
    uint8_t* p = frame.data();
    for (int r = 0; r < height; ++r)
        for (int c = 0; c < width; ++c) *p++ = static_cast<uint8_t>(16 + (c + r) * 219 / (width + height));
    for (int plane = 0; plane < 2; ++plane)
        for (int r = 0; r < ch; ++r)
            for (int c = 0; c < cw; ++c)
                *p++ = static_cast<uint8_t>(plane == 0 ? 64 + c * 128 / cw : 64 + r * 128 / ch);
    return frame;
}

VideoFile benchVideo(int width, int height, const ChromaFormat* format, std::vector<uint8_t>& frame) {
    VideoFile video;
    clearVideo(&video);
    video.width = width;
    video.height = height;
    video.chromaWidth = width / format->horizontalFactor;
    video.chromaHeight = height / format->verticalFactor;
    video.frameBytes = static_cast<int32_t>(frame.size());
    video.frameBuffer = frame.data();
    video.format = format;
    return video;
}

std::string benchName(const char* builder, int format, int width, int height, const char* content) {
    return std::string(builder) + "/" + std::to_string(format) + "/" + std::to_string(width) + "x" +
           std::to_string(height) + "/" + content;
}
