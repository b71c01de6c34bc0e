// The pixel formats corvane-snap reads and writes, and the one formula for
// how many bytes a frame of each takes. Pure: no files.
#pragma once

#include <cstddef>
#include <cstdint>

// How a frame's samples lie in memory. Code reads the row's planeCount,
// chromaPerSample and vFirst rather than naming a storage, so a new format
// of a known storage is one row.
enum FrameStorage {
    STORAGE_PLANAR,         // Y plane, U plane, V plane
    STORAGE_SEMI_PLANAR_UV, // Y plane, then one plane of U,V pairs (nv12, p010le)
    STORAGE_SEMI_PLANAR_VU, // the same with V first in each pair (nv21)
    STORAGE_GREY,           // Y plane only
    STORAGE_PACKED,         // Y, U, V interleaved in one plane (a future yuyv422): no row has it yet
};

// One pixel format: everything the sources, writers, narrowing and messages
// need to know about it.
struct FrameFormat {
    const char* name;        // the common pixel-format name: "yuv420p10le", "nv12"
    const char* aliases;     // more names --format and file names take, space-separated ("420 i420"), or ""
    const char* shown;       // how messages name it ("4:2:0"); the name when nullptr
    int32_t chromaShiftX;    // chroma width is the width shifted right by this (0 for grey)
    int32_t chromaShiftY;    // the same for the height
    int32_t depth;           // significant bits per sample: 8, 10, 12 or 16
    int32_t bytesPerSample;  // 1, or 2 for a 16-bit little-endian word
    int32_t sampleShift;     // bits below the sample in its word: 6 for p010le, else 0
    int32_t storage;         // FrameStorage
    int32_t planeCount;      // planes as stored: 3 planar, 2 semi-planar, 1 grey
    int32_t chromaPerSample; // chroma samples side by side in a chroma plane's sample place: 2 for U,V pairs, else 1
    int32_t vFirst;          // nonzero when V comes before U in a pair (nv21)
    const char* planarName;  // the same samples stored planar at the low bits: splitting and Y4M write it
    int32_t viewerCode;      // 420, 422, 411 or 444: the viewer's chroma format its pictures are built with
                             // (grey narrows to 4:2:0 with mid-grey chroma); 0 when the viewer has none,
                             // so no picture is made of it
};

// A table's rows, for `for (const FrameFormat& f : frameFormatRows())`: the
// tables are sized by their rows, so a new row needs no count changed.
template <typename Row> struct TableRows {
    const Row* first;
    const Row* last;
    const Row* begin() const { return first; }
    const Row* end() const { return last; }
};

extern const FrameFormat frameFormats[];
TableRows<FrameFormat> frameFormatRows();

// The format raw files take when neither flags nor the name give one (yuv420p).
const FrameFormat* defaultFrameFormat();

// The same samples stored planar (the row itself when it is planar or grey).
const FrameFormat* planarFormOf(const FrameFormat* format);

// Nonzero when a frame of this format, as stored, is the viewer's own 8-bit
// planar frame: no narrowing or splitting needed.
int formatIsViewers(const FrameFormat* format);

// The row stored as the viewer stores its chroma format `code` (420, 422,
// 411, 444), or nullptr.
const FrameFormat* viewerFrameFormat(int32_t code);

// The 8-bit format with the chroma of `format`'s planar form (grey stays
// grey), or nullptr.
const FrameFormat* eightBitFormatOf(const FrameFormat* format);

// The row named `name` (or one of its aliases) in any case; nullptr for a
// name not known.
const FrameFormat* findFrameFormat(const char* name);
// The same for the `length` bytes at `text` (a word inside a longer text).
const FrameFormat* findFrameFormatWord(const char* text, size_t length);

// A format as messages name it: its `shown` name ("4:2:0") where the row has
// one, its pixel-format name otherwise.
const char* shownFormatName(const FrameFormat* format);

// How chroma planes of an odd-sized frame are sized: rounded up is the
// layout encoders, decoders, Y4M and FFmpeg write (and every cut); rounded
// down is the viewer's own. A raw file takes the one its format's word names
// (chromaRoundingOfWord), or the one its size holds whole frames of.
enum ChromaRounding { CHROMA_ROUNDED_DOWN, CHROMA_ROUNDED_UP };

// The layout the word a format was named by stands for: the viewer's own
// codes (420, 422, 411, 444) its layout, rounded down; every pixel-format
// name (yuv420p, i420, nv12 ...) FFmpeg's, rounded up.
int32_t chromaRoundingOfWord(const char* word, size_t length);

struct FrameGeometry {
    const FrameFormat* format;
    int32_t width, height; // luma, in pixels
    int32_t rounding;      // ChromaRounding
};

// Where a frame's planes lie. Plane 0 is Y; planar formats have U and V in
// planes 1 and 2; semi-planar ones their pairs in plane 1; grey only plane 0.
struct FramePlanes {
    int32_t planeCount;
    int32_t chromaWidth, chromaHeight; // chroma samples per row and rows (pairs per row for semi-planar); 0 for grey
    int64_t rowBytes[3];
    int64_t rows[3];
    int64_t offset[3];
    int64_t frameBytes;
};

// Fills `planes` for the geometry. Nonzero when the sides are at least 1 and
// the whole frame fits in 32 bits (a buffer can hold it); 0 otherwise, with
// `planes` cleared.
int framePlanes(const FrameGeometry* geometry, FramePlanes* planes);

// Bytes in one frame, or -1 when a side is below 1 or the frame would not fit
// in 32 bits.
int64_t frameBytes(const FrameGeometry* geometry);

// Bytes in one frame at any size, past 32 bits too, for saying how large a
// frame too large to hold would be; -1 when a side is below 1.
int64_t wholeFrameBytes(const FrameGeometry* geometry);

// Nonzero when rounding chroma up instead of down would change the layout:
// a subsampled side of odd length (an odd width of 4:2:0, a width of 4:1:1
// that is no multiple of 4). Only then do the two layouts differ.
int roundingChangesLayout(const FrameGeometry* geometry);

// One YUV4MPEG2 colour tag ('C' field) and the format it stands for.
struct Y4mColour {
    const char* tag;        // "420jpeg", "420p10", "mono16"
    const char* format;     // the FrameFormat's name
    const char* extension;  // what FFmpeg adds after it ("XYSCSS=420JPEG"), or "" for none
};
extern const Y4mColour y4mColours[];
TableRows<Y4mColour> y4mColourRows();

// The format a tag stands for.
const FrameFormat* y4mColourFormat(const Y4mColour* colour);
// The row for the tag (exact, case as Y4M writes it), or nullptr.
const Y4mColour* findY4mColour(const char* tag, size_t length);
// The tag a Y4M stream of this format is written with (its planar form's:
// nv12 is written as 4:2:0), FFmpeg's choice where several fit ("420jpeg").
const Y4mColour* y4mColourOf(const FrameFormat* format);
