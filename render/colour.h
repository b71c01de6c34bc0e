// Frame to 24-bit colour picture: the per-pixel conversion and the builder.
#pragma once

#include <cstdint>

#include "video/video_file.h"

// Bytes from one row of a picture to the next: rows are padded to 4 bytes.
int64_t pictureStride(int64_t widthPixels, int bitsPerPixel);

int32_t clampByte(int32_t x);

struct Rgb {
    uint8_t red, green, blue;
};

// The reference conversion, in double precision. Every faster path must give
// exactly these bytes.
Rgb yuvToRgb(uint8_t y, uint8_t u, uint8_t v);

// Fills a top-down 24-bit picture (blue, green, red per pixel) of width x height
// at stride pictureStride(width, 24). Chroma outside the planes is taken from
// their last row or column; with no chroma at all the picture is grey.
// Padding bytes at the end of each row are not written.
void buildColourPicture(const VideoFile* video, const ChromaFormat* format, uint8_t* bits);

// The same picture built pixel by pixel through yuvToRgb: the yardstick the
// fast builders are tested and measured against.
void buildColourPictureReference(const VideoFile* video, const ChromaFormat* format,
                                 uint8_t* bits);
