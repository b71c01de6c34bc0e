// The AVX2 colour row: 32 pixels a step. Per chroma sample the three offsets
// of colour_fixed.h are evaluated (red and blue in 16 bits, green with 16-bit
// multiply-adds into 32-bit sums); per pixel each byte is y + offset, clamped
// by unsigned saturating byte arithmetic, so luma is never widened.
// Only whole steps inside the row and the chroma planes are done here, with
// unaligned loads and stores; the scalar row finishes the rest, so nothing
// past the row's last byte is read or written.
#include "render/colour_fixed.h"
#include "render/colour_rows.h"

#if defined(__x86_64__)
#include <immintrin.h>

// Everything below may use AVX2; it is only reached after colourRowNamed has
// seen the CPU has it.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

namespace {

using namespace colour_fixed;

#define INLINE inline __attribute__((always_inline))

// Joins the halves of a green sum: floor((high * 2^16 + low) / 2^30).
INLINE __m256i greenSum(__m256i uv) {
    const __m256i high = _mm256_add_epi32(
        _mm256_madd_epi16(uv, _mm256_set1_epi32(pairWord(GREEN_U_HIGH, GREEN_V_HIGH))),
        _mm256_set1_epi32(GREEN_CONSTANT_HIGH));
    const __m256i low = _mm256_add_epi32(
        _mm256_madd_epi16(uv, _mm256_set1_epi32(pairWord(GREEN_U_LOW, GREEN_V_LOW))),
        _mm256_set1_epi32(GREEN_CONSTANT_LOW));
    return _mm256_srai_epi32(_mm256_add_epi32(high, _mm256_srai_epi32(low, 16)), GREEN_BITS - 16);
}

// Red or blue offsets of 16 samples held as 16-bit lanes.
INLINE __m256i shortOffset(__m256i samples, ShortFormula formula) {
    const __m256i scale = _mm256_set1_epi16(static_cast<int16_t>(formula.scale));
    const __m256i constant = _mm256_set1_epi16(static_cast<int16_t>(formula.constant));
    const __m256i t = _mm256_mulhi_epu16(_mm256_slli_epi16(samples, 8), scale);
    return _mm256_srai_epi16(_mm256_add_epi16(t, constant), RED_BLUE_SHIFT);
}

// An offset d as two unsigned bytes, max(d, 0) and max(-d, 0): adding the one
// and subtracting the other with unsigned saturation is clamp(y + d).
struct Signed {
    __m256i plus, minus;
};

// The offsets of 16 chroma samples as 16-bit lanes, in sample order
// (unpacking and packing both work within 128-bit halves, so the pack puts
// back what the unpack split).
struct Offsets {
    __m256i red, green, blue;
};
INLINE void chromaOffsets(const uint8_t* u, const uint8_t* v, Offsets* out) {
    const __m256i u16 = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(u)));
    const __m256i v16 = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(v)));
    out->red = shortOffset(v16, RED_SHORT);
    out->blue = shortOffset(u16, BLUE_SHORT);
    out->green = _mm256_packs_epi32(greenSum(_mm256_unpacklo_epi16(u16, v16)),
                                    greenSum(_mm256_unpackhi_epi16(u16, v16)));
}

// 4:2:0 and 4:2:2: each of 16 offsets serves two pixels. The result holds
// pixels 0..15 in the low half and 16..31 in the high half, like a load of y.
INLINE Signed spreadTwice(__m256i d) {
    const __m256i plus = _mm256_max_epi16(d, _mm256_setzero_si256());
    // Plus of samples 0-7, minus of 0-7 | plus of 8-15, minus of 8-15.
    const __m256i packed = _mm256_packus_epi16(plus, _mm256_sub_epi16(plus, d));
    return Signed{_mm256_unpacklo_epi8(packed, packed), _mm256_unpackhi_epi8(packed, packed)};
}

// 4:4:4: offsets of pixels 0..15 and 16..31.
INLINE Signed spreadOnce(__m256i first, __m256i second) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i plusFirst = _mm256_max_epi16(first, zero), plusSecond = _mm256_max_epi16(second, zero);
    // The pack interleaves 8-pixel groups; the permute puts them back in order.
    const __m256i plus = _mm256_packus_epi16(plusFirst, plusSecond);
    const __m256i minus = _mm256_packus_epi16(_mm256_sub_epi16(plusFirst, first),
                                              _mm256_sub_epi16(plusSecond, second));
    return Signed{_mm256_permute4x64_epi64(plus, 0xD8), _mm256_permute4x64_epi64(minus, 0xD8)};
}

INLINE __m256i channel(__m256i luma, Signed offset) {
    return _mm256_subs_epu8(_mm256_adds_epu8(luma, offset.plus), offset.minus);
}

// Byte shuffles that put 16 blue, green and red bytes of a 128-bit half into
// their places among that half's 48 output bytes: masks[part][channel].
struct ShuffleMasks {
    uint8_t masks[3][3][32];
};
constexpr ShuffleMasks makeShuffleMasks() {
    ShuffleMasks s{};
    for (int part = 0; part < 3; ++part)
        for (int ch = 0; ch < 3; ++ch)
            for (int i = 0; i < 32; ++i) {
                const int byte = 16 * part + i % 16;
                s.masks[part][ch][i] = byte % 3 == ch ? static_cast<uint8_t>(byte / 3) : 0x80;
            }
    return s;
}
alignas(32) constexpr ShuffleMasks SHUFFLE = makeShuffleMasks();

INLINE __m256i part(int p, __m256i blue, __m256i green, __m256i red) {
    const auto mask = [p](int ch) {
        return _mm256_load_si256(reinterpret_cast<const __m256i*>(SHUFFLE.masks[p][ch]));
    };
    return _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(blue, mask(0)),
                                           _mm256_shuffle_epi8(green, mask(1))),
                           _mm256_shuffle_epi8(red, mask(2)));
}

// 96 bytes: pixels 0..15 come from the low halves, 16..31 from the high ones.
INLINE void storeBgr(uint8_t* bgr, __m256i blue, __m256i green, __m256i red) {
    const __m256i a = part(0, blue, green, red); // bytes 0-15 | 48-63
    const __m256i b = part(1, blue, green, red); // bytes 16-31 | 64-79
    const __m256i c = part(2, blue, green, red); // bytes 32-47 | 80-95
    __m256i* out = reinterpret_cast<__m256i*>(bgr);
    _mm256_storeu_si256(out, _mm256_permute2x128_si256(a, b, 0x20));
    _mm256_storeu_si256(out + 1, _mm256_permute2x128_si256(c, a, 0x30));
    _mm256_storeu_si256(out + 2, _mm256_permute2x128_si256(b, c, 0x31));
}

// Whole steps from pixel 0, for one row or (PAIR) two rows with the same
// chroma; returns the first pixel not done. A step needs
// its 32 pixels and their 32 / FACTOR chroma samples.
template <int FACTOR, bool PAIR>
INLINE int steps(const uint8_t* y0, const uint8_t* y1, const uint8_t* u, const uint8_t* v,
                 uint8_t* bgr0, uint8_t* bgr1, int width, int chromaWidth) {
    int c = 0;
    for (int k = 0; c + 32 <= width && k + 32 / FACTOR <= chromaWidth; c += 32, k += 32 / FACTOR) {
        Signed red, green, blue;
        if (FACTOR == 2) {
            Offsets samples;
            chromaOffsets(u + k, v + k, &samples);
            red = spreadTwice(samples.red);
            green = spreadTwice(samples.green);
            blue = spreadTwice(samples.blue);
        } else {
            Offsets first, second;
            chromaOffsets(u + k, v + k, &first);
            chromaOffsets(u + k + 16, v + k + 16, &second);
            red = spreadOnce(first.red, second.red);
            green = spreadOnce(first.green, second.green);
            blue = spreadOnce(first.blue, second.blue);
        }
        for (int row = 0; row < (PAIR ? 2 : 1); ++row) {
            const uint8_t* lumaRow = (row ? y1 : y0) + c;
            const __m256i luma = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(lumaRow));
            storeBgr((row ? bgr1 : bgr0) + 3 * c, channel(luma, blue), channel(luma, green),
                     channel(luma, red));
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
    colourRowScalar(y + c, u + k, v + k, bgr + 3 * c, width - c, pastPlane ? 1 : factor,
                    chromaWidth - k);
}

} // namespace

void colourRowAvx2(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* bgr, int width,
                   int horizontalFactor, int chromaWidth) {
    int c = 0;
    if (horizontalFactor == 2) c = steps<2, false>(y, y, u, v, bgr, bgr, width, chromaWidth);
    if (horizontalFactor == 1) c = steps<1, false>(y, y, u, v, bgr, bgr, width, chromaWidth);
    finishRow(y, u, v, bgr, width, horizontalFactor, chromaWidth, c);
}

void colourRowPairAvx2(const uint8_t* y0, const uint8_t* y1, const uint8_t* u, const uint8_t* v,
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
