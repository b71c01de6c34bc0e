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
            const double redTable = (i - 128) * RED_FACTOR;
            const double blueTable = (i - 128) * BLUE_FACTOR;
            red[i] = static_cast<int16_t>(std::floor(redTable + 0.5));
            blue[i] = static_cast<int16_t>(std::floor(blueTable + 0.5));
            greenU[i] = static_cast<int32_t>(roundToInt(-0.1145 * INVERSE_GREEN * blueTable * scale));
            greenV[i] = static_cast<int32_t>(roundToInt(-0.2989 * INVERSE_GREEN * redTable * scale)) +
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

void colourRowScalar(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* bgr,
                     int width, int horizontalFactor, int chromaWidth) {
    const ScalarTables& t = scalarTables();
    const uint8_t* clamp = t.clamp + 256;
    int c = 0;
    for (int k = 0; k < chromaWidth && c < width; ++k) {
        const int red = t.red[v[k]];
        const int blue = t.blue[u[k]];
        // Arithmetic shift: floor, also below zero.
        const int green = (t.greenU[u[k]] + t.greenV[v[k]]) >> GREEN_TABLE_BITS;
        // The last sample also serves every pixel beyond the plane's width.
        const int end = k == chromaWidth - 1 || width - c < horizontalFactor ? width
                                                                             : c + horizontalFactor;
        for (; c < end; ++c) {
            const int luma = y[c];
            bgr[3 * c] = clamp[luma + blue];
            bgr[3 * c + 1] = clamp[luma + green];
            bgr[3 * c + 2] = clamp[luma + red];
        }
    }
}
