// The AVX-512 colour row (with the byte permutes of VBMI): 64 pixels a step,
// the same offsets as the AVX2 row at twice the width. Two byte permutes per
// 64 output bytes put blue, green and red in their places, straight from the
// order the saturating pack leaves them in. Whole steps only; the AVX2 row
// (present on every CPU with these instructions) finishes the row.
#include "render/colour_fixed.h"
#include "render/colour_rows.h"

#if defined(__x86_64__)
// GCC 12 takes the intrinsics' deliberately undefined inputs for
// uninitialised variables and warns on every shift.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>

// Everything below may use these instructions; it is only reached after
// colourRowNamed has seen the CPU has them.
#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw,avx512vbmi")

namespace {

using namespace colour_fixed;

#define INLINE inline __attribute__((always_inline))

// 32 lanes of 16-bit offsets each.
struct Offsets {
    __m512i red, green, blue;
};

INLINE __m512i greenSum(__m512i uv) {
    const __m512i high = _mm512_add_epi32(
        _mm512_madd_epi16(uv, _mm512_set1_epi32(pairWord(GREEN_U_HIGH, GREEN_V_HIGH))),
        _mm512_set1_epi32(GREEN_CONSTANT_HIGH));
    const __m512i low = _mm512_add_epi32(
        _mm512_madd_epi16(uv, _mm512_set1_epi32(pairWord(GREEN_U_LOW, GREEN_V_LOW))),
        _mm512_set1_epi32(GREEN_CONSTANT_LOW));
    return _mm512_srai_epi32(_mm512_add_epi32(high, _mm512_srai_epi32(low, 16)), GREEN_BITS - 16);
}

INLINE __m512i redBlueSum(__m512i pairs, int32_t scale, int32_t constant) {
    const __m512i sum = _mm512_madd_epi16(pairs, _mm512_set1_epi32(pairWord(scale >> 7, scale & 127)));
    return _mm512_srai_epi32(_mm512_add_epi32(sum, _mm512_set1_epi32(constant)), RED_BLUE_BITS);
}

// The offsets of 32 chroma samples, in sample order (unpack and pack both
// work within 128-bit quarters).
INLINE void chromaOffsets(const uint8_t* u, const uint8_t* v, Offsets* out) {
    const __m512i u16 = _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(u)));
    const __m512i v16 = _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(v)));
    const __m512i u7 = _mm512_slli_epi16(u16, 7);
    const __m512i v7 = _mm512_slli_epi16(v16, 7);
    out->red = _mm512_packs_epi32(redBlueSum(_mm512_unpacklo_epi16(v7, v16), RED_SCALE, RED_CONSTANT),
                                  redBlueSum(_mm512_unpackhi_epi16(v7, v16), RED_SCALE, RED_CONSTANT));
    out->blue = _mm512_packs_epi32(redBlueSum(_mm512_unpacklo_epi16(u7, u16), BLUE_SCALE, BLUE_CONSTANT),
                                   redBlueSum(_mm512_unpackhi_epi16(u7, u16), BLUE_SCALE, BLUE_CONSTANT));
    out->green = _mm512_packs_epi32(greenSum(_mm512_unpacklo_epi16(u16, v16)),
                                    greenSum(_mm512_unpackhi_epi16(u16, v16)));
}

// Where the saturating pack of (pixels 0..31, pixels 32..63) leaves pixel x:
// each 16-byte quarter holds 8 pixels of the first operand, then 8 of the second.
constexpr int packedPosition(int x) {
    return x < 32 ? 16 * (x / 8) + x % 8 : 16 * ((x - 32) / 8) + 8 + (x - 32) % 8;
}

struct PermuteTables {
    uint16_t spreadLow[32], spreadHigh[32]; // sample i to pixels 2i and 2i + 1
    uint8_t blueGreen[3][64];               // blue from 0..63, green from 64..127
    uint8_t red[3][64];
    uint64_t redMask[3];                    // the red bytes of each 64-byte part
};
constexpr PermuteTables makePermuteTables() {
    PermuteTables t{};
    for (int i = 0; i < 32; ++i) {
        t.spreadLow[i] = static_cast<uint16_t>(i / 2);
        t.spreadHigh[i] = static_cast<uint16_t>(16 + i / 2);
    }
    for (int part = 0; part < 3; ++part)
        for (int i = 0; i < 64; ++i) {
            const int byte = 64 * part + i;
            const int at = packedPosition(byte / 3);
            const int ch = byte % 3;
            t.blueGreen[part][i] = static_cast<uint8_t>(ch == 0 ? at : ch == 1 ? 64 + at : 0);
            t.red[part][i] = static_cast<uint8_t>(ch == 2 ? at : 0);
            if (ch == 2) t.redMask[part] |= uint64_t{1} << i;
        }
    return t;
}
alignas(64) constexpr PermuteTables PERMUTE = makePermuteTables();

INLINE __m512i load512(const void* p) {
    return _mm512_loadu_si512(p);
}

// 64 bytes clamp(y + offset), in the pack's order.
INLINE __m512i channel(__m512i yLow, __m512i yHigh, __m512i low, __m512i high) {
    return _mm512_packus_epi16(_mm512_add_epi16(yLow, low), _mm512_add_epi16(yHigh, high));
}

} // namespace

void colourRowAvx512(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* bgr, int width,
                     int horizontalFactor, int chromaWidth) {
    const int factor = horizontalFactor;
    int c = 0;
    if (factor == 1 || factor == 2) {
        const __m512i spreadLow = load512(PERMUTE.spreadLow);
        const __m512i spreadHigh = load512(PERMUTE.spreadHigh);
        __m512i blueGreen[3], red[3];
        for (int p = 0; p < 3; ++p) {
            blueGreen[p] = load512(PERMUTE.blueGreen[p]);
            red[p] = load512(PERMUTE.red[p]);
        }
        // A step needs its 64 pixels and their 32 or 64 chroma samples.
        for (; c + 64 <= width && (c + 64) / factor <= chromaWidth; c += 64) {
            const int k = c / factor;
            const __m512i yLow = _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(y + c)));
            const __m512i yHigh = _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(y + c + 32)));
            Offsets low, high;
            if (factor == 2) {
                Offsets s;
                chromaOffsets(u + k, v + k, &s);
                low.red = _mm512_permutexvar_epi16(spreadLow, s.red);
                high.red = _mm512_permutexvar_epi16(spreadHigh, s.red);
                low.green = _mm512_permutexvar_epi16(spreadLow, s.green);
                high.green = _mm512_permutexvar_epi16(spreadHigh, s.green);
                low.blue = _mm512_permutexvar_epi16(spreadLow, s.blue);
                high.blue = _mm512_permutexvar_epi16(spreadHigh, s.blue);
            } else {
                chromaOffsets(u + k, v + k, &low);
                chromaOffsets(u + k + 32, v + k + 32, &high);
            }
            const __m512i b = channel(yLow, yHigh, low.blue, high.blue);
            const __m512i g = channel(yLow, yHigh, low.green, high.green);
            const __m512i r = channel(yLow, yHigh, low.red, high.red);
            for (int p = 0; p < 3; ++p) {
                const __m512i blueAndGreen = _mm512_permutex2var_epi8(b, blueGreen[p], g);
                const __m512i out = _mm512_mask_permutexvar_epi8(blueAndGreen, PERMUTE.redMask[p], red[p], r);
                _mm512_storeu_si512(bgr + 3 * c + 64 * p, out);
            }
        }
    }
    if (c < width) {
        // The steps may have used the plane's last sample already; then every
        // pixel left takes that one.
        const bool pastPlane = c / factor >= chromaWidth;
        const int k = pastPlane ? chromaWidth - 1 : c / factor;
        colourRowAvx2(y + c, u + k, v + k, bgr + 3 * c, width - c, pastPlane ? 1 : factor,
                      chromaWidth - k);
    }
}

#pragma GCC pop_options

#endif
