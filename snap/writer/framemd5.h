// The per-frame MD5 listing FFmpeg's framemd5 muxer writes, byte for byte:
// what `ffmpeg -f rawvideo -pix_fmt P -s WxH -r R -i INPUT -fflags +bitexact
// -f framemd5 -` prints for a raw file, and `ffmpeg -i INPUT -fflags
// +bitexact -f framemd5 -` for a Y4M one. Pure: text out, no files. (Given
// +bitexact before -i, for the input, FFmpeg adds a "#software: Lavf..."
// line naming its own library's version; no such line is written here.)
//
// Each frame's hash is of the frame as stored (nv12 interleaved, 10-bit as
// its words; a Y4M frame without its FRAME header), as FFmpeg hashes it. A
// raw file of odd size read in the viewer's layout (chroma rounded down, as
// --format 420 asks; roundingChangesLayout) has smaller frames here than in
// FFmpeg's reader, which rounds chroma up; its listing is then of the frames
// as read here, which FFmpeg's cannot equal, since it cuts the file at other
// places. Everywhere else, FFmpeg's pixel-format names included, the two are
// the same.
#pragma once

#include <cstddef>
#include <cstdint>

#include "snap/writer/md5.h"

struct FrameMd5Stream {
    int32_t width, height;
    int64_t rateNumerator, rateDenominator;     // frames per second; 25 when either is not positive
    int32_t aspectNumerator, aspectDenominator; // pixel aspect ratio; 0/1 when either is not positive
};

enum { FRAMEMD5_HEADER_SIZE = 512, FRAMEMD5_LINE_SIZE = 128 };

// The time base FFmpeg gives the stream: one frame, 1/rate in lowest terms.
void frameMd5TimeBase(const FrameMd5Stream* stream, int64_t* numerator, int64_t* denominator);

// The header lines, "#format: frame checksums" through the column names,
// into `text` (FRAMEMD5_HEADER_SIZE bytes are always enough). Returns the
// length, 0 when it did not fit.
size_t frameMd5Header(const FrameMd5Stream* stream, char* text, size_t size);

// One frame's line: frame number `index` (its time in the time base),
// `frameBytes` hashed bytes, their digest. FRAMEMD5_LINE_SIZE bytes are
// always enough. Returns the length, 0 when it did not fit.
size_t frameMd5Line(int64_t index, int64_t frameBytes, const uint8_t digest[MD5_BYTES], char* text,
                    size_t size);
