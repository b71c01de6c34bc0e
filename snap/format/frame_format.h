// The pixel formats corvane-snap reads and writes, and the one formula for
// how many bytes a frame of each takes. Pure: no files.
#pragma once

#include <cstddef>
#include <cstdint>

enum FrameLayout {
    LAYOUT_PLANAR,        // Y plane, U plane, V plane
    LAYOUT_SEMI_PLANAR_UV, // Y plane, then one plane of U,V pairs (nv12, p010le)
    LAYOUT_SEMI_PLANAR_VU, // the same with V first in each pair (nv21)
    LAYOUT_GREY,          // Y plane only
};

enum FrameFormatId {
    FORMAT_YUV420P, FORMAT_YUV422P, FORMAT_YUV444P, FORMAT_YUV411P, FORMAT_GRAY,
    FORMAT_YUV420P10LE, FORMAT_YUV422P10LE, FORMAT_YUV444P10LE,
    FORMAT_YUV420P12LE, FORMAT_YUV422P12LE, FORMAT_YUV444P12LE,
    FORMAT_YUV420P16LE, FORMAT_YUV422P16LE, FORMAT_YUV444P16LE,
    FORMAT_GRAY10LE, FORMAT_GRAY12LE, FORMAT_GRAY16LE,
    FORMAT_NV12, FORMAT_NV21, FORMAT_P010LE,
    FRAME_FORMAT_COUNT
};

struct FrameFormat {
    const char* name;       // the common pixel-format name: "yuv420p10le", "nv12"
    int32_t chromaShiftX;   // chroma width is the width shifted right by this (0 for grey)
    int32_t chromaShiftY;   // the same for the height
    int32_t depth;          // significant bits per sample: 8, 10, 12 or 16
    int32_t bytesPerSample; // 1, or 2 for a 16-bit little-endian word
    int32_t sampleShift;    // bits below the sample in its word: 6 for p010le, else 0
    int32_t layout;         // FrameLayout
    int32_t planar;         // FrameFormatId of the same samples stored planar
    int32_t viewerCode;     // 420, 422, 411 or 444: the viewer's chroma format its pictures are built with
};

extern const FrameFormat frameFormats[FRAME_FORMAT_COUNT];

// The row named `name` in any case, today's short names ("420", "422",
// "411", "444", "i420") included; nullptr for a name not known.
const FrameFormat* findFrameFormat(const char* name);
// The same for the `length` bytes at `text` (a word inside a longer text).
const FrameFormat* findFrameFormatWord(const char* text, size_t length);

// A format as messages name it: today's "4:2:0", "4:2:2", "4:1:1", "4:4:4"
// for the 8-bit planar ones, the pixel-format name for the rest.
const char* shownFormatName(const FrameFormat* format);

// How chroma planes of an odd-sized frame are sized: a raw file keeps the
// viewer's layout (chroma rounded down, so a raw file reads the same in both
// programs); a Y4M file has the layout Y4M writers use (chroma rounded up).
enum ChromaRounding { CHROMA_ROUNDED_DOWN, CHROMA_ROUNDED_UP };

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

// Nonzero when rounding chroma up instead of down would change the layout:
// a subsampled side of odd length (an odd width of 4:2:0, a width of 4:1:1
// that is no multiple of 4). Only then does a raw file read differently here
// and in FFmpeg's rawvideo reader, which always rounds up.
int roundingChangesLayout(const FrameGeometry* geometry);

// One YUV4MPEG2 colour tag ('C' field) and the format it stands for.
struct Y4mColour {
    const char* tag;        // "420jpeg", "420p10", "mono16"
    int32_t format;         // FrameFormatId
    const char* extension;  // what FFmpeg adds after it ("XYSCSS=420JPEG"), or "" for none
};
enum { Y4M_COLOUR_COUNT = 20 };
extern const Y4mColour y4mColours[Y4M_COLOUR_COUNT];

// The row for the tag (exact, case as Y4M writes it), or nullptr.
const Y4mColour* findY4mColour(const char* tag, size_t length);
// The tag a Y4M stream of this format is written with (its planar form's:
// nv12 is written as 4:2:0), FFmpeg's choice where several fit ("420jpeg").
const Y4mColour* y4mColourOf(const FrameFormat* format);
