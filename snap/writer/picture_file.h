// Pictures as files for the snapshot tool: BMP laid out in memory so that a
// picture is one write, and PNG deflated by zlib.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Bytes of the BMP headers (and the colour table, for 8 bits) before the
// pixels: 54 for 24 bits, 1078 for 8.
size_t bmpHeaderBytes(int bitsPerPixel);

// Writes the headers of a bottom-up BMP of width x height (rows padded to 4
// bytes) to `out`, bmpHeaderBytes long; for 8 bits the colour table is
// `colourTable` (256 entries of blue, green, red, reserved). 0 when the
// picture is too large for the format.
int writeBmpHeader(uint8_t* out, int32_t width, int32_t height, int bitsPerPixel,
                   const uint8_t* colourTable);

// The PNG of a top-down picture: 3 channels (blue, green, red, as the
// viewer's pictures hold them) or 1 (grey), rows `stride` bytes apart. Each
// row is filtered by Sub or Up, whichever suits it, and the rows deflated in
// one stream. Nonzero on success.
int encodePng(std::vector<uint8_t>* png, const uint8_t* pixels, int32_t width, int32_t height,
              int64_t stride, int channels);
