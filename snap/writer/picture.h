// Pictures of frames, shared by the BMP and PNG writers: one narrowing step
// to the 8-bit planar frame, then the viewer's own picture builders.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "snap/writer/writer.h"

// The largest picture's pixels in bytes: BMP keeps its size in 32 bits.
constexpr int64_t PICTURE_BYTE_LIMIT = INT32_MAX;

// Width of the picture of a frame of this geometry: the frame's own, or with
// `separate` the planes side by side.
int64_t exportPictureWidth(const FrameGeometry* geometry, int separate);
// Its height: the frame's own, but with `separate` one row more for 4:2:0
// chroma rounded up at an odd height (U above V, every chroma row shown).
int64_t exportPictureHeight(const FrameGeometry* geometry, int separate);
// Nonzero when a picture of width x height can be held and written (as PNG
// when `png`).
int pictureFits(int64_t width, int64_t height, int separate, int png);
// The writers' check: the picture fits, or `error` gives its size.
int checkPicture(const WriterContext* c, const char* kind, std::string* error);

// Builds the picture of `frame` into out->pixels: top-down when headerBytes
// is 0 (PNG), bottom-up with
// room for a header of headerBytes before it otherwise (BMP). `width` and
// `height` are the picture's. Nonzero on success.
int buildPicture(const WriterContext* c, const uint8_t* frame, WriterOutput* out, int32_t* width, int32_t* height,
                 size_t headerBytes);

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
