// YUV4MPEG2 stream and frame headers, read from bytes and built for writing.
// Pure: the caller reads the bytes and writes what is built.
#pragma once

#include <cstddef>
#include <cstdint>

#include "snap/format/frame_format.h"

// The signature a Y4M stream starts with, space included.
extern const char y4mSignature[];
enum { Y4M_SIGNATURE_BYTES = 10 };

// Nonzero when `head` starts with the signature: the file is a Y4M stream,
// whatever its name says.
int isY4mStream(const uint8_t* head, size_t size);

enum { Y4M_KEPT_EXTENSIONS = 16 };

// One X field of the header: bytes [offset, offset + length) of the header,
// from the 'X' on.
struct Y4mSpan {
    int64_t offset, length;
};

struct Y4mHeader {
    int32_t width, height;
    int32_t rateNumerator, rateDenominator;     // F as written; 0:0 when absent
    int32_t aspectNumerator, aspectDenominator; // A as written; 0:0 when absent
    char interlacing;                           // I: 'p', 't', 'b', 'm', '?'; '?' when absent
    const Y4mColour* colour;                    // C; 8-bit 4:2:0 ("420jpeg") when absent
    FrameGeometry geometry;                     // format, W, H, chroma rounded up
    int64_t frameBytes;                         // one frame's samples, without its FRAME header
    int64_t headerBytes;                        // the header, through its '\n'
    int32_t extensionCount;                     // X fields in the header
    Y4mSpan extensions[Y4M_KEPT_EXTENSIONS];    // the first Y4M_KEPT_EXTENSIONS of them
};

enum {
    Y4M_HEADER_READ = 1,
    Y4M_HEADER_BAD = 0,        // not a Y4M header we can read; `error` says why
    Y4M_HEADER_UNFINISHED = -1 // no '\n' in the bytes given: read more, or refuse with `error`
};

// Reads the stream header at the start of `bytes`. Fields W H F I A C X in
// any order, each once (X any number of times, of any length); other field
// letters are skipped, as Y4M allows. On Y4M_HEADER_BAD and
// Y4M_HEADER_UNFINISHED `error` holds one line of text.
int parseY4mHeader(const uint8_t* bytes, size_t size, Y4mHeader* header, char* error,
                   size_t errorSize);

// The length of the FRAME header at `bytes` ("FRAME", any parameters, '\n'):
// 0 when the bytes are no FRAME header, -1 when its '\n' is not among them.
int64_t parseY4mFrameHeader(const uint8_t* bytes, size_t size);

// Where frame n's FRAME header starts when every FRAME header is
// `frameHeaderBytes` long, as nearly all are, so that no earlier frame has to
// be read; -1 when the offset would not fit in 63 bits.
int64_t y4mFrameOffset(int64_t headerBytes, int64_t frameHeaderBytes, int64_t frameBytes, int64_t n);

// Nonzero when `bytes`, read at the offset y4mFrameOffset gave, hold a FRAME
// header of exactly `frameHeaderBytes` bytes, so that the frame is where the
// fixed step says (otherwise one pass has to index the stream).
int y4mFrameMarkerAt(const uint8_t* bytes, size_t size, int64_t frameHeaderBytes);

// The header FFmpeg writes for these frames, "YUV4MPEG2 W352 H288 F25:1 Ip
// A0:0 C420jpeg XYSCSS=420JPEG\n" (C from the format's planar form; `colour`,
// when not nullptr, keeps an input's own 4:2:0 siting), into `text`. Returns
// its length, 0 when it does not fit or the rate is not positive.
size_t buildY4mHeader(const FrameGeometry* geometry, const Y4mColour* colour, int32_t rateNumerator,
                      int32_t rateDenominator, char* text, size_t size);

// The FRAME header written before each frame: "FRAME\n".
extern const char y4mFrameHeader[];
enum { Y4M_FRAME_HEADER_BYTES = 6 };
