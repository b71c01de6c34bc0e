// Frame to separate-fields picture: Y on the left, U above V on the right, in grey.
#pragma once

#include <cstdint>

#include "video/video_file.h"

// Width in pixels of the separate-fields picture: width + width / 2.
int64_t separatePictureWidth(const VideoFile* video);

// 256 colour-table entries of (blue, green, red, reserved); entry i is (i, i, i, 0).
void greyRamp(uint8_t table[256 * 4]);

// Fills a top-down 8-bit picture of separatePictureWidth x height at stride
// pictureStride(separatePictureWidth, 8). Where a row has no chroma samples to
// show (the extra row of an odd height, or a format whose planes are narrower
// than the column) the column is black. Row padding is not written.
void buildSeparatePicture(const VideoFile* video, uint8_t* bits);
