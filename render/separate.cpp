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
        memcpy(out, luma + r * width, static_cast<size_t>(width));
        const uint8_t* plane = r < half ? uPlane : vPlane;
        int64_t chromaRow = r < half ? r : r - half;
        int64_t shown = 0;
        if (chromaRow < chromaHeight) {
            memcpy(out + width, plane + chromaRow * chromaWidth, static_cast<size_t>(copied));
            shown = copied;
        }
        memset(out + width + shown, 0, static_cast<size_t>(columnWidth - shown));
    }
}
