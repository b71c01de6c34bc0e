#include "render/colour.h"

#include "render/colour_rows.h"

int64_t pictureStride(int64_t widthPixels, int bitsPerPixel) {
    int64_t rowBytes = (widthPixels * bitsPerPixel + 7) / 8;
    return (rowBytes + 3) & ~int64_t{3};
}

int32_t clampByte(int32_t x) {
    return x < 0 ? 0 : x > 255 ? 255 : x;
}

namespace {
// V (Cr) scaled for red and U (Cb) scaled for blue, indexed by the sample.
struct ChromaTables {
    double red[256];
    double blue[256];
    ChromaTables() {
        for (int i = 0; i < 256; ++i) {
            red[i] = (i - 128) * RED_FROM_V;
            blue[i] = (i - 128) * BLUE_FROM_U;
        }
    }
};
const ChromaTables& chromaTables() {
    static const ChromaTables tables; // built once, on first use
    return tables;
}
} // namespace

Rgb yuvToRgb(uint8_t y, uint8_t u, uint8_t v) {
    const ChromaTables& tables = chromaTables();
    double redPrime = y + tables.red[v];
    double bluePrime = y + tables.blue[u];
    Rgb rgb;
    rgb.red = static_cast<uint8_t>(clampByte(static_cast<int32_t>(redPrime + 0.5)));
    rgb.blue = static_cast<uint8_t>(clampByte(static_cast<int32_t>(bluePrime + 0.5)));
    // Green is solved from the luma equation with the unclamped red and blue.
    double green = (y - BLUE_WEIGHT * bluePrime - RED_WEIGHT * redPrime) * INVERSE_GREEN_WEIGHT + 0.5;
    rgb.green = static_cast<uint8_t>(clampByte(static_cast<int32_t>(green)));
    return rgb;
}

void colourRowReference(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* bgr,
                        int width, int horizontalFactor, int chromaWidth) {
    for (int c = 0; c < width; ++c) {
        int k = c / horizontalFactor;
        if (k >= chromaWidth) k = chromaWidth - 1;
        Rgb rgb = yuvToRgb(y[c], u[k], v[k]);
        bgr[3 * c] = rgb.blue;
        bgr[3 * c + 1] = rgb.green;
        bgr[3 * c + 2] = rgb.red;
    }
}

void finishColourRow(ColourRow rest, const uint8_t* y, const uint8_t* u, const uint8_t* v,
                     uint8_t* bgr, int width, int horizontalFactor, int chromaWidth, int c) {
    if (c >= width) return;
    const bool pastPlane = c / horizontalFactor >= chromaWidth;
    const int k = pastPlane ? chromaWidth - 1 : c / horizontalFactor;
    rest(y + c, u + k, v + k, bgr + 3 * c, width - c, pastPlane ? 1 : horizontalFactor,
         chromaWidth - k);
}

void buildColourRowsWith(const VideoFile* video, const ChromaFormat* format, uint8_t* firstRow,
                         int64_t rowStep, ColourRow row, ColourRowPair pair) {
    const int64_t width = video->width;
    const int64_t height = video->height;
    if (width <= 0 || height <= 0 || !video->frameBuffer || !format) return;

    const uint8_t* luma = video->frameBuffer;
    const int64_t chromaWidth = video->chromaWidth;
    const int64_t chromaHeight = video->chromaHeight;
    const uint8_t* uPlane = luma + width * height;
    const uint8_t* vPlane = uPlane + chromaWidth * chromaHeight;

    // A picture too narrow or too short for a single chroma sample is shown grey.
    static const uint8_t neutral[1] = {128};
    const bool noChroma = chromaWidth <= 0 || chromaHeight <= 0;
    const int rowChromaWidth = noChroma ? 1 : static_cast<int>(chromaWidth);
    const int factor = noChroma ? 1 : format->horizontalFactor;
    const int w = static_cast<int>(width);

    for (int64_t r = 0; r < height;) {
        const uint8_t* u = neutral;
        const uint8_t* v = neutral;
        int64_t chromaRow = 0;
        if (!noChroma) {
            chromaRow = r / format->verticalFactor;
            if (chromaRow >= chromaHeight) chromaRow = chromaHeight - 1;
            u = uPlane + chromaRow * chromaWidth;
            v = vPlane + chromaRow * chromaWidth;
        }
        int64_t nextChromaRow = noChroma ? 0 : (r + 1) / format->verticalFactor;
        if (nextChromaRow >= chromaHeight) nextChromaRow = chromaHeight - 1;
        const bool sameChroma = noChroma || nextChromaRow == chromaRow;
        if (pair && r + 1 < height && sameChroma) {
            pair(luma + r * width, luma + (r + 1) * width, u, v, firstRow + r * rowStep,
                 firstRow + (r + 1) * rowStep, w, factor, rowChromaWidth);
            r += 2;
        } else {
            row(luma + r * width, u, v, firstRow + r * rowStep, w, factor, rowChromaWidth);
            r += 1;
        }
    }
}

void buildColourPictureWith(const VideoFile* video, const ChromaFormat* format, uint8_t* bits,
                            ColourRow row, ColourRowPair pair) {
    buildColourRowsWith(video, format, bits, pictureStride(video->width, 24), row, pair);
}

void buildColourPictureReference(const VideoFile* video, const ChromaFormat* format,
                                 uint8_t* bits) {
    buildColourPictureWith(video, format, bits, colourRowReference);
}

void buildColourRows(const VideoFile* video, const ChromaFormat* format, uint8_t* firstRow,
                     int64_t rowStep) {
    // Chosen once, on first use.
    static const ColourRow fastestRow = colourRowNamed(fastestColourPath());
    static const ColourRowPair fastestPair = colourRowPairNamed(fastestColourPath());
    buildColourRowsWith(video, format, firstRow, rowStep, fastestRow, fastestPair);
}

void buildColourPicture(const VideoFile* video, const ChromaFormat* format, uint8_t* bits) {
    buildColourRows(video, format, bits, pictureStride(video->width, 24));
}
