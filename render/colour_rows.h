// Row functions behind the colour picture builder. A row function converts one
// picture row: pixel c takes luma y[c] and chroma sample
// min(c / horizontalFactor, chromaWidth - 1) of u and v (chromaWidth >= 1), and
// writes blue, green, red to bgr[3c..3c+2]. It reads nothing past y[width - 1]
// or u, v[chromaWidth - 1] and writes nothing past bgr[3 * width - 1].
#pragma once

#include <cstdint>

#include "render/colour.h"

using ColourRow = void (*)(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* bgr,
                           int width, int horizontalFactor, int chromaWidth);

void colourRowReference(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* bgr,
                        int width, int horizontalFactor, int chromaWidth);

// Integer tables; runs on any CPU. The vector rows finish their rows with it.
void colourRowScalar(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* bgr,
                     int width, int horizontalFactor, int chromaWidth);

// Two picture rows that share one chroma row (4:2:0): the same bytes as two
// row calls, with the chroma worked out once for both.
using ColourRowPair = void (*)(const uint8_t* y0, const uint8_t* y1, const uint8_t* u,
                               const uint8_t* v, uint8_t* bgr0, uint8_t* bgr1, int width,
                               int horizontalFactor, int chromaWidth);

// The pixels of a row from c on, by `rest` (a slower row): what a vector row
// leaves when fewer than a whole step of pixels or chroma samples remain. The
// steps may have used the plane's last sample already; then every pixel left
// takes that one.
void finishColourRow(ColourRow rest, const uint8_t* y, const uint8_t* u, const uint8_t* v,
                     uint8_t* bgr, int width, int horizontalFactor, int chromaWidth, int c);

#if defined(__x86_64__)
// Only to be called where the CPU has the instructions (see colourRowNamed).
void colourRowAvx2(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* bgr,
                   int width, int horizontalFactor, int chromaWidth);
void colourRowPairAvx2(const uint8_t* y0, const uint8_t* y1, const uint8_t* u, const uint8_t* v,
                       uint8_t* bgr0, uint8_t* bgr1, int width, int horizontalFactor,
                       int chromaWidth);
void colourRowAvx512(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* bgr,
                     int width, int horizontalFactor, int chromaWidth);
void colourRowPairAvx512(const uint8_t* y0, const uint8_t* y1, const uint8_t* u, const uint8_t* v,
                         uint8_t* bgr0, uint8_t* bgr1, int width, int horizontalFactor,
                         int chromaWidth);
#endif

// The paths by name, slowest first: "reference", "scalar", "avx2", "avx512".
enum { COLOUR_PATH_COUNT = 4 };
extern const char* const colourPathNames[COLOUR_PATH_COUNT];

// The row of the named path, or nullptr when this build or this CPU lacks it.
ColourRow colourRowNamed(const char* name);
// The named path's row pair, or nullptr when it has none (then the builder
// calls the row twice) or this build or CPU lacks the path.
ColourRowPair colourRowPairNamed(const char* name);

// The fastest path this CPU runs, chosen once; buildColourPicture uses it.
const char* fastestColourPath();

// Walks the frame's rows, finds each row's chroma, and calls `row` for it, or
// `pair` (when given) for two rows with the same chroma row. Row r goes to
// firstRow + r x rowStep.
void buildColourRowsWith(const VideoFile* video, const ChromaFormat* format, uint8_t* firstRow,
                         int64_t rowStep, ColourRow row, ColourRowPair pair);

// The same walk into a top-down picture at pictureStride(width, 24).
void buildColourPictureWith(const VideoFile* video, const ChromaFormat* format, uint8_t* bits,
                            ColourRow row, ColourRowPair pair = nullptr);
