// The geometry a raw video's file name gives away: "foreman_cif.yuv",
// "BasketballDrive_1920x1080_50.yuv", "clip_720p_yuv422p.yuv". Pure text
// work, no files, so that it can be tested and fuzzed on its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "snap/source/source.h"

// A size with a name people write in file names.
struct NamedSize {
    const char* name;
    int32_t width, height;
};
enum { NAMED_SIZE_COUNT = 10 };
extern const NamedSize namedSizes[NAMED_SIZE_COUNT];

struct NameGuess {
    int sizeCount;                 // different sizes the name holds: 0, 1, or 2 for "two or more"
    int32_t width, height;         // the first one
    int32_t otherWidth, otherHeight; // a second, different one when sizeCount is 2
    int formatCount;               // the same for formats
    const FrameFormat* format;
    const FrameFormat* otherFormat;
    // A token saying the samples are wider than 8 bits in a form no format
    // name gives ("10bit", "p010", "gray16be"): such a file often divides
    // evenly into 8-bit frames of the named size and would be shown as
    // noise. Empty when none.
    char deepSamples[24];
    char formatWord[24];           // the word that named `format`, as written
};

// The part of a path after its last folder separator ('/' or '\').
const char* fileNamePart(const char* path);

// Reads the sizes and formats named in `path`'s file name. Each must stand
// as a token of its own, set off by characters that are neither letters nor
// digits: a size as WxH or W*H (x in either case) or a named size (sqcif ...
// 4k), a format by any name --format takes (420, i420, yuv420p, yuv422p10le,
// gray12le, nv12, p010le ...), in any case. So "Ch1080p" or the "50" of a frame rate give nothing.
void guessFromName(const char* path, NameGuess* guess);

struct Geometry {
    int32_t width, height;
    const FrameFormat* format;
    int sizeFrom, formatFrom; // GEOMETRY_FROM_...
    int32_t rounding;         // ChromaRounding
    char layoutWhy[LAYOUT_WHY_SIZE]; // why, for --info: "--format 420 is the viewer's layout"
};

enum {
    GEOMETRY_RESOLVED = 1, // Geometry filled in
    GEOMETRY_NO_SIZE = 0,  // no --size and the name holds no size
    GEOMETRY_REFUSED = -1, // the name's geometry was found but cannot be right
};

// Flags first, then the name of `path`, then 8-bit 4:2:0. A guess from the
// name is only taken when the file's `fileSize` bytes hold a whole number (at
// least one) of its frames; with --size given the flags win, and a partial
// tail is the caller's note. The chroma of odd sizes is rounded as the word
// that named the format says (chromaRoundingOfWord), --format's before the
// name's; a file whose size holds whole frames of only one layout takes that
// one unless --format named it; otherwise FFmpeg's layout (rounded up). On GEOMETRY_REFUSED, `why` says what was found and why
// it was not taken; on GEOMETRY_NO_SIZE it says the name holds no size.
int resolveGeometry(const GeometryRequest* request, const char* path, int64_t fileSize,
                    Geometry* geometry, char* why, size_t whySize);

// "WxH F (N frames)" for each common size and 8-bit format the viewer reads
// whose frames divide `fileSize` exactly (or one line saying none does); the
// count that fit.
int listFittingGeometries(std::vector<std::string>* out, int64_t fileSize);
