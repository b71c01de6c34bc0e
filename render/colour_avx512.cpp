// The AVX-512 colour row (with the byte permutes of VBMI): 64 pixels a step,
// the same offsets, even and odd pixel split and saturating packs as the
// AVX2 row at twice the width. Two byte permutes per 64 output bytes put
// blue, green and red in their places. Whole steps only; the AVX2 row
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

// The offsets of 32 chroma samples given as words 2 * (sample - 128), in
// the same lane order; the forms are the AVX2 row's (colour_fixed.h).
struct Offsets {
    __m512i red, green, blue;
};

INLINE __m512i greenSum(__m512i uv) {
    const __m512i high =
        _mm512_madd_epi16(uv, _mm512_set1_epi32(pairWord(GREEN_U_SPLIT_HIGH, GREEN_V_SPLIT_HIGH)));
    const __m512i low =
        _mm512_madd_epi16(uv, _mm512_set1_epi32(pairWord(GREEN_U_SPLIT_LOW, GREEN_V_SPLIT_LOW)));
    return _mm512_srai_epi32(_mm512_add_epi32(high, _mm512_srai_epi32(low, GREEN_SPLIT)),
                             GREEN_PACK_SHIFT);
}

INLINE Offsets chromaOffsets(__m512i u, __m512i v) {
    const __m512i packed = _mm512_packs_epi32(greenSum(_mm512_unpacklo_epi16(u, v)),
                                              greenSum(_mm512_unpackhi_epi16(u, v)));
    return Offsets{_mm512_mulhrs_epi16(v, _mm512_set1_epi16(RED_ROUNDING)),
                   _mm512_mulhrs_epi16(packed, _mm512_set1_epi16(1 << 8)),
                   _mm512_mulhrs_epi16(u, _mm512_set1_epi16(BLUE_ROUNDING))};
}

// 4:2:0 and 4:2:2: 32 samples in sample order, each serving an even and an
// odd pixel of a 64-byte load of luma.
INLINE __m512i centredWords(const uint8_t* samples) {
    const __m256i bytes = _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(samples)),
                                           _mm256_set1_epi8(static_cast<char>(0x80)));
    const __m512i centred = _mm512_cvtepi8_epi16(bytes); // sample - 128
    return _mm512_add_epi16(centred, centred);
}

// 4:4:4: 64 samples split into those of even and odd pixels, as the luma.
INLINE __m512i evenWords(__m512i bytes) { return _mm512_srai_epi16(_mm512_slli_epi16(bytes, 8), 7); }
INLINE __m512i oddWords(__m512i bytes) {
    return _mm512_srai_epi16(_mm512_and_si512(bytes, _mm512_set1_epi16(static_cast<int16_t>(0xFF00))), 7);
}

// Byte permutes from three 64-byte channels to 192 bytes of blue, green, red.
// In each channel the packs leave, in every 16-byte quarter, the quarter's 8
// even pixels and then its 8 odd ones.
struct PermuteTables {
    uint8_t blueGreen[3][64]; // blue from 0..63, green from 64..127
    uint8_t red[3][64];
    uint64_t redMask[3];      // the red bytes of each 64-byte part
};
constexpr int placeOf(int pixel) {
    const int inQuarter = pixel % 16;
    return pixel - inQuarter + (inQuarter % 2 ? 8 : 0) + inQuarter / 2;
}
constexpr PermuteTables makePermuteTables() {
    PermuteTables t{};
    for (int part = 0; part < 3; ++part)
        for (int i = 0; i < 64; ++i) {
            const int byte = 64 * part + i;
            const int place = placeOf(byte / 3);
            const int ch = byte % 3;
            t.blueGreen[part][i] = static_cast<uint8_t>(ch == 0 ? place : ch == 1 ? 64 + place : 0);
            t.red[part][i] = static_cast<uint8_t>(ch == 2 ? place : 0);
            if (ch == 2) t.redMask[part] |= uint64_t{1} << i;
        }
    return t;
}
alignas(64) constexpr PermuteTables PERMUTE = makePermuteTables();

// Each byte is y + offset in 16-bit lanes; the saturating pack is the clamp.
INLINE void colourStep(const uint8_t* lumaRow, uint8_t* out, const Offsets& even, const Offsets& odd,
                       const __m512i (&blueGreen)[3], const __m512i (&red)[3]) {
    const __m512i luma = _mm512_loadu_si512(lumaRow);
    const __m512i y0 = _mm512_and_si512(luma, _mm512_set1_epi16(0xFF));
    const __m512i y1 = _mm512_srli_epi16(luma, 8);
    const __m512i blue = _mm512_packus_epi16(_mm512_add_epi16(y0, even.blue), _mm512_add_epi16(y1, odd.blue));
    const __m512i green =
        _mm512_packus_epi16(_mm512_add_epi16(y0, even.green), _mm512_add_epi16(y1, odd.green));
    const __m512i redBytes = _mm512_packus_epi16(_mm512_add_epi16(y0, even.red), _mm512_add_epi16(y1, odd.red));
    for (int p = 0; p < 3; ++p) {
        const __m512i blueAndGreen = _mm512_permutex2var_epi8(blue, blueGreen[p], green);
        const __m512i bytes =
            _mm512_mask_permutexvar_epi8(blueAndGreen, PERMUTE.redMask[p], red[p], redBytes);
        _mm512_storeu_si512(out + 64 * p, bytes);
    }
}

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
        Offsets even, odd;
        if (FACTOR == 2) {
            even = odd = chromaOffsets(centredWords(u + k), centredWords(v + k));
        } else {
            const __m512i sign = _mm512_set1_epi8(static_cast<char>(0x80));
            const __m512i uBytes = _mm512_xor_si512(_mm512_loadu_si512(u + k), sign);
            const __m512i vBytes = _mm512_xor_si512(_mm512_loadu_si512(v + k), sign);
            even = chromaOffsets(evenWords(uBytes), evenWords(vBytes));
            odd = chromaOffsets(oddWords(uBytes), oddWords(vBytes));
        }
        colourStep(y0 + c, bgr0 + 3 * c, even, odd, blueGreen, red);
        if (PAIR) colourStep(y1 + c, bgr1 + 3 * c, even, odd, blueGreen, red);
    }
    return c;
}

} // namespace

void colourRowAvx512(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* bgr, int width,
                     int horizontalFactor, int chromaWidth) {
    int c = 0;
    if (horizontalFactor == 2) c = steps<2, false>(y, y, u, v, bgr, bgr, width, chromaWidth);
    if (horizontalFactor == 1) c = steps<1, false>(y, y, u, v, bgr, bgr, width, chromaWidth);
    finishColourRow(colourRowAvx2, y, u, v, bgr, width, horizontalFactor, chromaWidth, c);
}

void colourRowPairAvx512(const uint8_t* y0, const uint8_t* y1, const uint8_t* u, const uint8_t* v,
                         uint8_t* bgr0, uint8_t* bgr1, int width, int horizontalFactor,
                         int chromaWidth) {
    int c = 0;
    if (horizontalFactor == 2) c = steps<2, true>(y0, y1, u, v, bgr0, bgr1, width, chromaWidth);
    if (horizontalFactor == 1) c = steps<1, true>(y0, y1, u, v, bgr0, bgr1, width, chromaWidth);
    finishColourRow(colourRowAvx2, y0, u, v, bgr0, width, horizontalFactor, chromaWidth, c);
    finishColourRow(colourRowAvx2, y1, u, v, bgr1, width, horizontalFactor, chromaWidth, c);
}

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

#endif
