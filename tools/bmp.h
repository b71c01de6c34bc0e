// Writing pictures as BMP files, for the snapshot tool.
#pragma once

#include <cstdint>

// Writes a top-down picture (rows `stride` bytes apart) as a bottom-up BMP.
// bitsPerPixel 24 (blue, green, red) or 8 with a 256-entry colour table of
// (blue, green, red, reserved). Nonzero on success.
int writeBmp(const char* path, const uint8_t* bits, int32_t width, int32_t height,
             int64_t stride, int bitsPerPixel, const uint8_t* colourTable);
