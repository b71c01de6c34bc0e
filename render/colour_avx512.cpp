// The AVX-512 colour row (with the byte permutes of VBMI): 64 pixels a step,
// the same offsets and saturating byte arithmetic as the AVX2 row at twice the
// width. Two byte permutes per 64 output bytes put blue, green and red in
// their places. Whole steps only; the AVX2 row
// (present on every CPU with these instructions) finishes the row.
#include "render/colour_fixed.h"
#include "render/colour_rows.h"

#if defined(__x86_64__)
// GCC 12 takes the intrinsics' deliberately undefined inputs for
// uninitialised variables and warns on every shift.
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

// Everything below may use these instructions; it is only reached after
// colourRowNamed has seen the CPU has them.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx512f,avx512bw,avx512vbmi"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw,avx512vbmi")
#endif

namespace {

using namespace colour_fixed;

#define INLINE inline __attribute__((always_inline))

INLINE __m512i greenSum(__m512i uv) {
    const __m512i high = _mm512_add_epi32(
        _mm512_madd_epi16(uv, _mm512_set1_epi32(pairWord(GREEN_U_HIGH, GREEN_V_HIGH))),
        _mm512_set1_epi32(GREEN_CONSTANT_HIGH));
    const __m512i low = _mm512_add_epi32(
        _mm512_madd_epi16(uv, _mm512_set1_epi32(pairWord(GREEN_U_LOW, GREEN_V_LOW))),
        _mm512_set1_epi32(GREEN_CONSTANT_LOW));
    return _mm512_srai_epi32(_mm512_add_epi32(high, _mm512_srai_epi32(low, 16)), GREEN_BITS - 16);
}

INLINE __m512i shortOffset(__m512i samples, ShortFormula formula) {
    const __m512i scale = _mm512_set1_epi16(static_cast<int16_t>(formula.scale));
    const __m512i constant = _mm512_set1_epi16(static_cast<int16_t>(formula.constant));
    const __m512i t = _mm512_mulhi_epu16(_mm512_slli_epi16(samples, 8), scale);
    return _mm512_srai_epi16(_mm512_add_epi16(t, constant), RED_BLUE_SHIFT);
}

// Offsets as unsigned bytes max(d, 0) and max(-d, 0), as in the AVX2 row.
struct Signed {
    __m512i plus, minus;
};

// The offsets of 32 chroma samples as 16-bit lanes, in sample order.
struct Offsets {
    __m512i red, green, blue;
};
INLINE void chromaOffsets(const uint8_t* u, const uint8_t* v, Offsets* out) {
    const __m512i u16 = _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(u)));
    const __m512i v16 = _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(v)));
    out->red = shortOffset(v16, RED_SHORT);
    out->blue = shortOffset(u16, BLUE_SHORT);
    out->green = _mm512_packs_epi32(greenSum(_mm512_unpacklo_epi16(u16, v16)),
                                    greenSum(_mm512_unpackhi_epi16(u16, v16)));
}

// 4:2:0 and 4:2:2: 32 offsets for 64 pixels, in the order of a load of y.
INLINE Signed spreadTwice(__m512i d) {
    const __m512i plus = _mm512_max_epi16(d, _mm512_setzero_si512());
    // Each 16-byte quarter: plus of 8 samples, then minus of the same 8.
    const __m512i packed = _mm512_packus_epi16(plus, _mm512_sub_epi16(plus, d));
    return Signed{_mm512_unpacklo_epi8(packed, packed), _mm512_unpackhi_epi8(packed, packed)};
}

// 4:4:4: offsets of pixels 0..31 and 32..63.
INLINE Signed spreadOnce(__m512i first, __m512i second) {
    const __m512i zero = _mm512_setzero_si512();
    const __m512i plusFirst = _mm512_max_epi16(first, zero), plusSecond = _mm512_max_epi16(second, zero);
    // The pack interleaves 8-pixel groups of the two; put them back in order.
    const __m512i order = _mm512_set_epi64(7, 5, 3, 1, 6, 4, 2, 0);
    const __m512i plus = _mm512_packus_epi16(plusFirst, plusSecond);
    const __m512i minus = _mm512_packus_epi16(_mm512_sub_epi16(plusFirst, first),
                                              _mm512_sub_epi16(plusSecond, second));
    return Signed{_mm512_permutexvar_epi64(order, plus), _mm512_permutexvar_epi64(order, minus)};
}

INLINE __m512i channel(__m512i luma, Signed offset) {
    return _mm512_subs_epu8(_mm512_adds_epu8(luma, offset.plus), offset.minus);
}

// Byte permutes from three 64-byte channels to 192 bytes of blue, green, red.
struct PermuteTables {
    uint8_t blueGreen[3][64]; // blue from 0..63, green from 64..127
    uint8_t red[3][64];
    uint64_t redMask[3];      // the red bytes of each 64-byte part
};
constexpr PermuteTables makePermuteTables() {
    PermuteTables t{};
    for (int part = 0; part < 3; ++part)
        for (int i = 0; i < 64; ++i) {
            const int byte = 64 * part + i;
            const int pixel = byte / 3;
            const int ch = byte % 3;
            t.blueGreen[part][i] = static_cast<uint8_t>(ch == 0 ? pixel : ch == 1 ? 64 + pixel : 0);
            t.red[part][i] = static_cast<uint8_t>(ch == 2 ? pixel : 0);
            if (ch == 2) t.redMask[part] |= uint64_t{1} << i;
        }
    return t;
}
alignas(64) constexpr PermuteTables PERMUTE = makePermuteTables();

// Whole steps from pixel 0, for one row or (PAIR) two rows with the same
// chroma; returns the first pixel not done. A step needs
// its 64 pixels and their 64 / FACTOR chroma samples.
template <int FACTOR, bool PAIR>
INLINE int steps(const uint8_t* y0, const uint8_t* y1, const uint8_t* u, const uint8_t* v,
                 uint8_t* bgr0, uint8_t* bgr1, int width, int chromaWidth) {
    __m512i blueGreen[3], red[3];
    for (int p = 0; p < 3; ++p) {
        blueGreen[p] = _mm512_loadu_si512(PERMUTE.blueGreen[p]);
        red[p] = _mm512_loadu_si512(PERMUTE.red[p]);
    }
    int c = 0;
    for (int k = 0; c + 64 <= width && k + 64 / FACTOR <= chromaWidth; c += 64, k += 64 / FACTOR) {
        Signed r, g, b;
        if (FACTOR == 2) {
            Offsets samples;
            chromaOffsets(u + k, v + k, &samples);
            r = spreadTwice(samples.red);
            g = spreadTwice(samples.green);
            b = spreadTwice(samples.blue);
        } else {
            Offsets first, second;
            chromaOffsets(u + k, v + k, &first);
            chromaOffsets(u + k + 32, v + k + 32, &second);
            r = spreadOnce(first.red, second.red);
            g = spreadOnce(first.green, second.green);
            b = spreadOnce(first.blue, second.blue);
        }
        for (int row = 0; row < (PAIR ? 2 : 1); ++row) {
            const __m512i luma = _mm512_loadu_si512((row ? y1 : y0) + c);
            const __m512i blue = channel(luma, b), green = channel(luma, g), redBytes = channel(luma, r);
            uint8_t* out = (row ? bgr1 : bgr0) + 3 * c;
            for (int p = 0; p < 3; ++p) {
                const __m512i blueAndGreen = _mm512_permutex2var_epi8(blue, blueGreen[p], green);
                const __m512i bytes =
                    _mm512_mask_permutexvar_epi8(blueAndGreen, PERMUTE.redMask[p], red[p], redBytes);
                _mm512_storeu_si512(out + 64 * p, bytes);
            }
        }
    }
    return c;
}

// The pixels from c on, by the next slower row. The steps may have used the
// plane's last sample already; then every pixel left takes that one.
INLINE void finishRow(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* bgr, int width,
                      int factor, int chromaWidth, int c) {
    if (c >= width) return;
    const bool pastPlane = c / factor >= chromaWidth;
    const int k = pastPlane ? chromaWidth - 1 : c / factor;
    colourRowAvx2(y + c, u + k, v + k, bgr + 3 * c, width - c, pastPlane ? 1 : factor,
                  chromaWidth - k);
}

} // namespace

void colourRowAvx512(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* bgr, int width,
                     int horizontalFactor, int chromaWidth) {
    int c = 0;
    if (horizontalFactor == 2) c = steps<2, false>(y, y, u, v, bgr, bgr, width, chromaWidth);
    if (horizontalFactor == 1) c = steps<1, false>(y, y, u, v, bgr, bgr, width, chromaWidth);
    finishRow(y, u, v, bgr, width, horizontalFactor, chromaWidth, c);
}

void colourRowPairAvx512(const uint8_t* y0, const uint8_t* y1, const uint8_t* u, const uint8_t* v,
                         uint8_t* bgr0, uint8_t* bgr1, int width, int horizontalFactor,
                         int chromaWidth) {
    int c = 0;
    if (horizontalFactor == 2) c = steps<2, true>(y0, y1, u, v, bgr0, bgr1, width, chromaWidth);
    if (horizontalFactor == 1) c = steps<1, true>(y0, y1, u, v, bgr0, bgr1, width, chromaWidth);
    finishRow(y0, u, v, bgr0, width, horizontalFactor, chromaWidth, c);
    finishRow(y1, u, v, bgr1, width, horizontalFactor, chromaWidth, c);
}

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

#endif
