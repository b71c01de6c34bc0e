#include "render/separate.h"

#include <cstring>

#include "render/colour.h"

int64_t separatePictureWidth(const VideoFile* video) {
    return (3 * int64_t{video->width}) / 2;
}

void greyRamp(uint8_t table[256 * 4]) {
    for (int i = 0; i < 256; ++i) {
        table[4 * i] = table[4 * i + 1] = table[4 * i + 2] = static_cast<uint8_t>(i);
        table[4 * i + 3] = 0;
    }
}

namespace {

// A row of a small picture is so short that a library call costs more than
// its bytes: such rows are copied 16 bytes at a time here, the last 16 bytes
// copied again from the row's end (the same bytes, so nothing changes).
// Longer rows, and rows under 16 bytes, go to memcpy.
inline void copyRow(uint8_t* out, const uint8_t* in, int64_t bytes) {
    if (bytes < 16 || bytes > 512) {
        memcpy(out, in, static_cast<size_t>(bytes));
        return;
    }
    int64_t i = 0;
    for (; i + 32 <= bytes; i += 32) memcpy(out + i, in + i, 32);
    if (i + 16 <= bytes) memcpy(out + i, in + i, 16);
    memcpy(out + bytes - 16, in + bytes - 16, 16);
}

} // namespace

void buildSeparatePicture(const VideoFile* video, uint8_t* bits) {
    const int64_t width = video->width;
    const int64_t height = video->height;
    if (width <= 0 || height <= 0 || !video->frameBuffer) return;

    const int64_t pictureWidth = separatePictureWidth(video);
    const int64_t stride = pictureStride(pictureWidth, 8);
    const int64_t chromaWidth = video->chromaWidth > 0 ? video->chromaWidth : 0;
    const int64_t chromaHeight = video->chromaHeight > 0 ? video->chromaHeight : 0;
    // The right-hand column is width / 2 wide; a plane wider than that (4:4:4)
    // is cut, a narrower one (4:1:1) leaves black beside it.
    const int64_t columnWidth = pictureWidth - width;
    const int64_t copied = chromaWidth < columnWidth ? chromaWidth : columnWidth;

    const uint8_t* luma = video->frameBuffer;
    const uint8_t* uPlane = luma + width * height;
    const uint8_t* vPlane = uPlane + chromaWidth * chromaHeight;
    const int64_t half = height / 2;

    for (int64_t r = 0; r < height; ++r) {
        uint8_t* out = bits + r * stride;
        copyRow(out, luma + r * width, width);
        const uint8_t* plane = r < half ? uPlane : vPlane;
        int64_t chromaRow = r < half ? r : r - half;
        int64_t shown = 0;
        if (chromaRow < chromaHeight) {
            copyRow(out + width, plane + chromaRow * chromaWidth, copied);
            shown = copied;
        }
        if (shown < columnWidth)
            memset(out + width + shown, 0, static_cast<size_t>(columnWidth - shown));
    }
}
