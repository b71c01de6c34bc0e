// Frame to 24-bit colour picture: the per-pixel conversion and the builder.
#pragma once

#include <cstdint>

#include "video/video_file.h"

// Bytes from one row of a picture to the next: rows are padded to 4 bytes.
int64_t pictureStride(int64_t widthPixels, int bitsPerPixel);

int32_t clampByte(int32_t x);

// The colour equations' constants, used by every path and by the sample
// maker. Luma is RED_WEIGHT x red + GREEN_WEIGHT x green + BLUE_WEIGHT x
// blue, weights close to but not exactly those of the common
// standard-definition recommendation (0.299, 0.587, 0.114); red and blue are
// luma plus the V and U samples' distance from 128 times RED_FROM_V and
// BLUE_FROM_U (1.402 and 1.772 there); green is solved from the luma
// equation, hence its weight's inverse.
constexpr double RED_FROM_V = 1.4022;
constexpr double BLUE_FROM_U = 1.771;
constexpr double RED_WEIGHT = 0.2989;
constexpr double BLUE_WEIGHT = 0.1145;
constexpr double GREEN_WEIGHT = 0.5866;                   // 1 - RED_WEIGHT - BLUE_WEIGHT
constexpr double INVERSE_GREEN_WEIGHT = 1 / GREEN_WEIGHT; // 1.7047391749062393

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

// The same rows placed anywhere: row r starts at firstRow + r x rowStep, so a
// negative step builds a bottom-up picture (a BMP file's) in place.
void buildColourRows(const VideoFile* video, const ChromaFormat* format, uint8_t* firstRow,
                     int64_t rowStep);

// The same picture built pixel by pixel through yuvToRgb: the yardstick the
// fast builders are tested and measured against.
void buildColourPictureReference(const VideoFile* video, const ChromaFormat* format,
                                 uint8_t* bits);
