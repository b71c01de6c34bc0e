#include "snap/source/sample.h"

#include <cinttypes>
#include <cstdio>
#include <vector>

#include "render/colour.h"
#include "snap/format/frame_format.h"
#include "snap/io/files.h"

namespace {
struct Yuv {
    uint8_t y, u, v;
};

uint8_t toByte(double x) {
    return static_cast<uint8_t>(x < 0 ? 0 : x > 255 ? 255 : x + 0.5);
}

// The inverse of the viewer's conversion, so bars come out close to their RGB.
Yuv fromRgb(int red, int green, int blue) {
    double y = RED_WEIGHT * red + GREEN_WEIGHT * green + BLUE_WEIGHT * blue;
    return {toByte(y), toByte(128 + (blue - y) / BLUE_FROM_U), toByte(128 + (red - y) / RED_FROM_V)};
}

// 3 x 5 digits, one row per 3-bit group, top row first.
const uint16_t digitGlyphs[10] = {
    075557, 026222, 071747, 071717, 055711, 074717, 074757, 071111, 075757, 075717,
};

// The frame counter sits in a black box at the top left: 0 outside the box,
// 1 on its background, 2 on a digit.
int inCounter(int32_t x, int32_t y, int32_t frameNumber, int32_t scale) {
    char digits[16];
    const int count = snprintf(digits, sizeof digits, "%d", frameNumber);
    const int32_t left = 2 * scale, top = 2 * scale;
    if (x >= left - scale + count * 4 * scale + scale || y >= top + 6 * scale) return 0;
    if (x < left || y < top || y >= top + 5 * scale) return 1;
    const int32_t cell = (x - left) / (4 * scale);
    const int32_t col = ((x - left) % (4 * scale)) / scale;
    if (cell >= count || col >= 3) return 1;
    const int32_t row = (y - top) / scale;
    const uint16_t glyph = digitGlyphs[digits[cell] - '0'];
    return (glyph >> (3 * (4 - row) + (2 - col))) & 1 ? 2 : 1;
}

Yuv samplePixel(int32_t x, int32_t y, int32_t width, int32_t height, int32_t frameNumber) {
    static const int bars[8][3] = {{235, 235, 235}, {235, 235, 16}, {16, 235, 235},
                                   {16, 235, 16},   {235, 16, 235}, {235, 16, 16},
                                   {16, 16, 235},   {16, 16, 16}};
    const int32_t scale = height >= 96 ? height / 48 : 1;
    switch (inCounter(x, y, frameNumber, scale)) {
    case 1: return {16, 128, 128};
    case 2: return {235, 128, 128};
    default: break;
    }

    // The box moves two box-widths across the picture every 30 frames.
    const int32_t box = height / 5 > 2 ? height / 5 : 2;
    const int32_t travel = width > box ? width - box : 1;
    const int32_t step = (frameNumber * 4 * box / 30) % (2 * travel);
    const int32_t boxLeft = step < travel ? step : 2 * travel - step;
    const int32_t boxTop = height / 2 - box / 2;
    if (x >= boxLeft && x < boxLeft + box && y >= boxTop && y < boxTop + box)
        return fromRgb(255, 128, 0);

    if (y >= height * 3 / 4) { // luma ramp, neutral chroma
        int32_t level = width > 1 ? static_cast<int32_t>(int64_t{x} * 255 / (width - 1)) : 128;
        return {static_cast<uint8_t>(level), 128, 128};
    }
    const int* rgb = bars[static_cast<int64_t>(x) * 8 / (width > 0 ? width : 1)];
    return fromRgb(rgb[0], rgb[1], rgb[2]);
}
} // namespace

namespace {
// A sample frame is laid out as the viewer reads a raw file of `format`.
FrameGeometry sampleGeometry(int32_t width, int32_t height, const ChromaFormat* format) {
    return {viewerFrameFormat(format->code), width, height, CHROMA_ROUNDED_DOWN};
}
} // namespace

void makeSampleFrame(uint8_t* frame, int32_t width, int32_t height, const ChromaFormat* format,
                     int32_t frameNumber) {
    FramePlanes planes;
    const FrameGeometry geometry = sampleGeometry(width, height, format);
    if (!framePlanes(&geometry, &planes)) return;
    const int32_t chromaWidth = planes.chromaWidth;
    const int32_t chromaHeight = planes.chromaHeight;
    uint8_t* u = frame + planes.offset[1];
    uint8_t* v = frame + planes.offset[2];
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            frame[int64_t{y} * width + x] = samplePixel(x, y, width, height, frameNumber).y;
    for (int32_t cy = 0; cy < chromaHeight; ++cy)
        for (int32_t cx = 0; cx < chromaWidth; ++cx) {
            Yuv p = samplePixel(cx * format->horizontalFactor, cy * format->verticalFactor, width,
                                height, frameNumber);
            u[int64_t{cy} * chromaWidth + cx] = p.u;
            v[int64_t{cy} * chromaWidth + cx] = p.v;
        }
}

int writeSampleClip(const char* path, int32_t width, int32_t height, const ChromaFormat* format,
                    int32_t frames, std::string* error) {
    FramePlanes planes;
    if (width <= 0 || height <= 0 || frames < 0) {
        if (error) *error = "the sample clip needs a size of at least 1x1 and a frame count";
        return 0;
    }
    const FrameGeometry geometry = sampleGeometry(width, height, format);
    const int64_t bytes = wholeFrameBytes(&geometry);
    if (bytes < 0 || bytes > SAMPLE_FRAME_LIMIT || !framePlanes(&geometry, &planes)) {
        if (error) {
            char text[160];
            snprintf(text, sizeof text, "a %dx%d %s frame is %" PRId64 " bytes: sample frames are at most %" PRId64,
                     width, height, format->name, bytes, SAMPLE_FRAME_LIMIT);
            *error = text;
        }
        return 0;
    }
    std::vector<uint8_t> frame(static_cast<size_t>(planes.frameBytes));
    OutputFile out;
    if (!openOutput(&out, path, nullptr, error)) return 0;
    for (int32_t n = 0; n < frames; ++n) {
        makeSampleFrame(frame.data(), width, height, format, n);
        if (!writeOutput(&out, frame.data(), frame.size())) break;
    }
    return finishOutput(&out, error);
}
