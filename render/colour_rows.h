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

// Walks the frame's rows, finds each row's chroma, and calls `row` for it.
void buildColourPictureWith(const VideoFile* video, const ChromaFormat* format, uint8_t* bits,
                            ColourRow row);
