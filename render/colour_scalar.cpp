// The portable fast row: per chroma sample three integer offsets from tables,
// per pixel three lookups in a clamp table. See colour_fixed.h for why each
// byte is clamp(y + offset).
#include <cmath>

#include "render/colour_fixed.h"
#include "render/colour_rows.h"

namespace {

using namespace colour_fixed;

struct ScalarTables {
    int16_t red[256];  // round(redTable[v])
    int16_t blue[256]; // round(blueTable[u])
    int32_t greenU[256]; // greenU[u] at GREEN_TABLE_BITS fraction bits
    int32_t greenV[256]; // greenV[v] likewise, plus the rounding half
    // clamp(i - 256): y + offset lies in -227..480 (offsets -227..225).
    uint8_t clamp[768];
    ScalarTables() {
        const double scale = std::ldexp(1.0, GREEN_TABLE_BITS);
        for (int i = 0; i < 256; ++i) {
            // The same double products as the reference's tables.
            const double redTable = (i - 128) * RED_FROM_V;
            const double blueTable = (i - 128) * BLUE_FROM_U;
            red[i] = static_cast<int16_t>(std::floor(redTable + 0.5));
            blue[i] = static_cast<int16_t>(std::floor(blueTable + 0.5));
            greenU[i] = static_cast<int32_t>(roundToInt(-BLUE_WEIGHT * INVERSE_GREEN_WEIGHT * blueTable * scale));
            greenV[i] = static_cast<int32_t>(roundToInt(-RED_WEIGHT * INVERSE_GREEN_WEIGHT * redTable * scale)) +
                        (1 << (GREEN_TABLE_BITS - 1));
        }
        for (int i = 0; i < 768; ++i) clamp[i] = static_cast<uint8_t>(clampByte(i - 256));
    }
};

const ScalarTables& scalarTables() {
    static const ScalarTables tables; // built once, on first use
    return tables;
}

} // namespace

namespace {

// The three offsets of one chroma sample.
struct SampleOffsets {
    int red, green, blue;
};

inline SampleOffsets sampleOffsets(const ScalarTables& t, uint8_t u, uint8_t v) {
    // Arithmetic shift: floor, also below zero.
    return SampleOffsets{t.red[v], (t.greenU[u] + t.greenV[v]) >> GREEN_TABLE_BITS, t.blue[u]};
}

inline void storePixel(const uint8_t* clamp, int luma, SampleOffsets o, uint8_t* bgr) {
    bgr[0] = clamp[luma + o.blue];
    bgr[1] = clamp[luma + o.green];
    bgr[2] = clamp[luma + o.red];
}

} // namespace

void colourRowScalar(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* bgr,
                     int width, int horizontalFactor, int chromaWidth) {
    const ScalarTables& t = scalarTables();
    const uint8_t* clamp = t.clamp + 256;
    const int factor = horizontalFactor;
    // Samples whose every pixel lies in the row and before the plane's last
    // sample; 4:4:4 and the two-pixel formats get loops of their own, where
    // the compiler knows the step.
    int k = 0;
    const int whole = (chromaWidth - 1 < width / factor) ? chromaWidth - 1 : width / factor;
    if (factor == 1) {
        for (; k < whole; ++k) storePixel(clamp, y[k], sampleOffsets(t, u[k], v[k]), bgr + 3 * k);
    } else if (factor == 2) {
        for (; k < whole; ++k) {
            const SampleOffsets o = sampleOffsets(t, u[k], v[k]);
            storePixel(clamp, y[2 * k], o, bgr + 6 * k);
            storePixel(clamp, y[2 * k + 1], o, bgr + 6 * k + 3);
        }
    }
    // The rest, any factor: the last sample also serves every pixel beyond
    // the plane's width.
    int c = k * factor;
    for (; k < chromaWidth && c < width; ++k) {
        const SampleOffsets o = sampleOffsets(t, u[k], v[k]);
        const int end = k == chromaWidth - 1 || width - c < factor ? width : c + factor;
        for (; c < end; ++c) storePixel(clamp, y[c], o, bgr + 3 * c);
    }
}
