// One frame at its own depth and layout made into the 8-bit planar frame the
// viewer's picture builders take (buildColourRows, buildSeparatePicture).
// Pure: planes in, planes out.
//
// The narrowed frame keeps the source's chroma plane sizes: rounded down in
// the viewer's own layout (so the picture is the viewer's), up in FFmpeg's
// and Y4M's. The builders size every read by the record's chromaWidth and
// chromaHeight, so both read safely, and the last odd column or row of a
// frame rounded up takes its own chroma sample instead of its neighbour's. Grey gets U = V = 128 planes, 4:2:0 rounded up, so the colour
// view is grey and the separate view shows mid-grey fields over every row.
#pragma once

#include <cstdint>

#include "snap/format/frame_format.h"
#include "video/video_file.h"

// A sample of `depth` bits made 8-bit: (v + 2^(depth-9)) >> (depth-8),
// clamped to 255 (a word holding more than `depth` bits is not trusted).
inline uint8_t narrowSample(uint32_t v, int depth) {
    const uint32_t n = (v + (1u << (depth - 9))) >> (depth - 8);
    return static_cast<uint8_t>(n > 255 ? 255 : n);
}

// Row functions: `count` samples (or pairs) in, 8-bit samples out. Words are
// little-endian at any alignment; `shift` drops the bits below the sample.
void narrowRow(const uint8_t* words, uint8_t* out, int64_t count, int depth, int shift);
void splitRow(const uint8_t* pairs, uint8_t* first, uint8_t* second, int64_t count);
void splitNarrowRow(const uint8_t* pairs, uint8_t* first, uint8_t* second, int64_t count, int depth,
                    int shift);

// Bytes of the narrowed frame of this geometry, or -1 when it has none.
int64_t narrowFrameBytes(const FrameGeometry* geometry);

// Nonzero when a frame of this format as stored is already the narrowed
// frame (8-bit planar): it needs no narrowing step, only narrowView.
int frameIsNarrow(const FrameGeometry* geometry);

// The same frame stored planar at its own depth, as a Y4M stream holds it:
// nv12 and nv21 split into U and V planes, p010le's samples moved down to
// the low 10 bits (yuv420p10le). The planar form's frameBytes are the
// frame's own. Nonzero when `format` has a planar form other than itself
// and the frame was written to `out`; 0 when it is planar already (write
// the frame as it is) or the geometry has no frame.
int planarFrame(const FrameGeometry* geometry, const uint8_t* frame, uint8_t* out);

// Narrows `frame` (frameBytes(geometry) bytes) into `out`
// (narrowFrameBytes(geometry) bytes). Nonzero on success; 0 for a geometry
// with no frame.
int narrowFrame(const FrameGeometry* geometry, const uint8_t* frame, uint8_t* out);

// Fills `view` as the record the builders read the narrowed frame at `bytes`
// through: its sizes, its chroma planes and the viewer's chroma format. No
// file is open in it (videoIsOpen is false); it owns nothing, so it is never
// closed, only dropped. Nonzero on success.
int narrowView(const FrameGeometry* geometry, uint8_t* bytes, VideoFile* view);
