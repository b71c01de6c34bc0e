// The AVX2 colour row: 32 pixels a step. Per chroma sample the three offsets
// of colour_fixed.h are evaluated from the sample's word 2 * (sample - 128):
// red and blue by one rounding multiply each, green by two multiply-adds
// into 32-bit sums. Per pixel each byte is y + offset in 16-bit lanes, the
// luma split into even and odd pixels (which in 4:2:0 and 4:2:2 share their
// offset), clamped by the unsigned saturating pack back to bytes; three byte
// shuffles and six byte selects place the 96 output bytes of a step.
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

// The offsets of 16 chroma samples given as words 2 * (sample - 128), as
// 16-bit lanes in the same order (unpacking and packing both work within
// 128-bit halves, so the pack puts back what the unpack split).
struct Offsets {
    __m256i red, green, blue;
};

// Green of 8 (d_u, d_v) pairs, before the last rounding step.
INLINE __m256i greenSum(__m256i uv) {
    const __m256i high =
        _mm256_madd_epi16(uv, _mm256_set1_epi32(pairWord(GREEN_U_SPLIT_HIGH, GREEN_V_SPLIT_HIGH)));
    const __m256i low =
        _mm256_madd_epi16(uv, _mm256_set1_epi32(pairWord(GREEN_U_SPLIT_LOW, GREEN_V_SPLIT_LOW)));
    return _mm256_srai_epi32(_mm256_add_epi32(high, _mm256_srai_epi32(low, GREEN_SPLIT)),
                             GREEN_PACK_SHIFT);
}

INLINE Offsets chromaOffsets(__m256i u, __m256i v) {
    const __m256i packed = _mm256_packs_epi32(greenSum(_mm256_unpacklo_epi16(u, v)),
                                              greenSum(_mm256_unpackhi_epi16(u, v)));
    return Offsets{_mm256_mulhrs_epi16(v, _mm256_set1_epi16(RED_ROUNDING)),
                   _mm256_mulhrs_epi16(packed, _mm256_set1_epi16(1 << 8)),
                   _mm256_mulhrs_epi16(u, _mm256_set1_epi16(BLUE_ROUNDING))};
}

// 4:4:4: the offsets of the even and of the odd pixels of 32.
struct PixelOffsets {
    Offsets even, odd;
};

// 4:2:0 and 4:2:2: 16 samples in sample order (0-7 | 8-15), each serving two
// pixels: the even pixels of a 32-byte load of luma, taken as 16-bit lanes,
// and the odd ones.
INLINE __m256i centredWords(const uint8_t* samples) {
    const __m128i bytes = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(samples)),
                                        _mm_set1_epi8(static_cast<char>(0x80)));
    const __m256i centred = _mm256_cvtepi8_epi16(bytes); // sample - 128
    return _mm256_add_epi16(centred, centred);
}
INLINE Offsets sampleOffsets(const uint8_t* u, const uint8_t* v) {
    return chromaOffsets(centredWords(u), centredWords(v));
}

// 4:4:4: 32 samples, split like the luma into those of even and odd pixels.
// With the sign bit flipped a sample byte is sample - 128 as a signed byte;
// as the high byte of a word over a zero low byte it is 256 * (sample - 128),
// and an arithmetic shift by 7 leaves 2 * (sample - 128).
INLINE __m256i evenWords(__m256i bytes) { return _mm256_srai_epi16(_mm256_slli_epi16(bytes, 8), 7); }
INLINE __m256i oddWords(__m256i bytes) {
    return _mm256_srai_epi16(_mm256_and_si256(bytes, _mm256_set1_epi16(static_cast<int16_t>(0xFF00))), 7);
}
INLINE PixelOffsets spreadOnce(const uint8_t* u, const uint8_t* v) {
    const __m256i sign = _mm256_set1_epi8(static_cast<char>(0x80));
    const __m256i uBytes =
        _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(u)), sign);
    const __m256i vBytes =
        _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(v)), sign);
    return PixelOffsets{chromaOffsets(evenWords(uBytes), evenWords(vBytes)),
                        chromaOffsets(oddWords(uBytes), oddWords(vBytes))};
}

// The 24-bit store. Each 128-bit half of a channel's bytes holds 16 pixels;
// `order` says which pixel sits at each position. Output byte 3p + ch of a
// half's 48 is channel ch of pixel p, and since 3 and 16 have no common
// factor, 3p + ch taken modulo 16 differs for each pixel p: one byte shuffle
// per channel puts every byte of that channel at its place modulo 16, for
// all three 16-byte parts at once, and byte selects then take each part's
// bytes from the right channel.
struct StoreMasks {
    uint8_t shuffle[3][32]; // per channel
    uint8_t select[3][2][32]; // per part: green over blue, then red over that
};
constexpr StoreMasks makeStoreMasks(const int (&order)[16]) {
    StoreMasks s{};
    for (int ch = 0; ch < 3; ++ch)
        for (int position = 0; position < 16; ++position) {
            const int place = (3 * order[position] + ch) % 16;
            s.shuffle[ch][place] = s.shuffle[ch][place + 16] = static_cast<uint8_t>(position);
        }
    for (int part = 0; part < 3; ++part)
        for (int i = 0; i < 32; ++i) {
            const int ch = (16 * part + i % 16) % 3;
            s.select[part][0][i] = ch == 1 ? 0x80 : 0;
            s.select[part][1][i] = ch == 2 ? 0x80 : 0;
        }
    return s;
}
constexpr int EVEN_ODD[16] = {0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15};
alignas(32) constexpr StoreMasks STORE_EVEN_ODD = makeStoreMasks(EVEN_ODD);

INLINE __m256i mask(const uint8_t* m) { return _mm256_load_si256(reinterpret_cast<const __m256i*>(m)); }

// 96 bytes of 32 pixels: pixels 0-15 from the low halves, 16-31 from the
// high ones.
INLINE void storeBgr(uint8_t* bgr, __m256i blue, __m256i green, __m256i red, const StoreMasks& m) {
    blue = _mm256_shuffle_epi8(blue, mask(m.shuffle[0]));
    green = _mm256_shuffle_epi8(green, mask(m.shuffle[1]));
    red = _mm256_shuffle_epi8(red, mask(m.shuffle[2]));
    __m256i parts[3]; // bytes 0-15 | 48-63, 16-31 | 64-79, 32-47 | 80-95
    for (int p = 0; p < 3; ++p)
        parts[p] = _mm256_blendv_epi8(_mm256_blendv_epi8(blue, green, mask(m.select[p][0])), red,
                                      mask(m.select[p][1]));
    __m256i* out = reinterpret_cast<__m256i*>(bgr);
    _mm256_storeu_si256(out, _mm256_permute2x128_si256(parts[0], parts[1], 0x20));
    _mm256_storeu_si256(out + 1, _mm256_permute2x128_si256(parts[2], parts[0], 0x30));
    _mm256_storeu_si256(out + 2, _mm256_permute2x128_si256(parts[1], parts[2], 0x31));
}

// Each byte is y + offset in 16-bit lanes, the luma split into its even and
// odd pixels; the unsigned saturating pack is the clamp to 0..255, and
// leaves the even pixels of each half before its odd ones.
INLINE void colourStep(const uint8_t* lumaRow, uint8_t* bgr, const Offsets& even, const Offsets& odd) {
    const __m256i luma = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(lumaRow));
    const __m256i y0 = _mm256_and_si256(luma, _mm256_set1_epi16(0xFF));
    const __m256i y1 = _mm256_srli_epi16(luma, 8);
    const __m256i blue = _mm256_packus_epi16(_mm256_add_epi16(y0, even.blue), _mm256_add_epi16(y1, odd.blue));
    const __m256i green =
        _mm256_packus_epi16(_mm256_add_epi16(y0, even.green), _mm256_add_epi16(y1, odd.green));
    const __m256i red = _mm256_packus_epi16(_mm256_add_epi16(y0, even.red), _mm256_add_epi16(y1, odd.red));
    storeBgr(bgr, blue, green, red, STORE_EVEN_ODD);
}

// Whole steps from pixel 0, for one row or (PAIR) two rows with the same
// chroma; returns the first pixel not done. A step needs
// its 32 pixels and their 32 / FACTOR chroma samples.
template <int FACTOR, bool PAIR>
INLINE int steps(const uint8_t* y0, const uint8_t* y1, const uint8_t* u, const uint8_t* v,
                 uint8_t* bgr0, uint8_t* bgr1, int width, int chromaWidth) {
    int c = 0;
    for (int k = 0; c + 32 <= width && k + 32 / FACTOR <= chromaWidth; c += 32, k += 32 / FACTOR) {
        if (FACTOR == 2) {
            const Offsets d = sampleOffsets(u + k, v + k);
            colourStep(y0 + c, bgr0 + 3 * c, d, d);
            if (PAIR) colourStep(y1 + c, bgr1 + 3 * c, d, d);
        } else {
            const PixelOffsets d = spreadOnce(u + k, v + k);
            colourStep(y0 + c, bgr0 + 3 * c, d.even, d.odd);
            if (PAIR) colourStep(y1 + c, bgr1 + 3 * c, d.even, d.odd);
        }
    }
    return c;
}

} // namespace

void colourRowAvx2(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* bgr, int width,
                   int horizontalFactor, int chromaWidth) {
    int c = 0;
    if (horizontalFactor == 2) c = steps<2, false>(y, y, u, v, bgr, bgr, width, chromaWidth);
    if (horizontalFactor == 1) c = steps<1, false>(y, y, u, v, bgr, bgr, width, chromaWidth);
    finishColourRow(colourRowScalar, y, u, v, bgr, width, horizontalFactor, chromaWidth, c);
}

void colourRowPairAvx2(const uint8_t* y0, const uint8_t* y1, const uint8_t* u, const uint8_t* v,
                       uint8_t* bgr0, uint8_t* bgr1, int width, int horizontalFactor,
                       int chromaWidth) {
    int c = 0;
    if (horizontalFactor == 2) c = steps<2, true>(y0, y1, u, v, bgr0, bgr1, width, chromaWidth);
    if (horizontalFactor == 1) c = steps<1, true>(y0, y1, u, v, bgr0, bgr1, width, chromaWidth);
    finishColourRow(colourRowScalar, y0, u, v, bgr0, width, horizontalFactor, chromaWidth, c);
    finishColourRow(colourRowScalar, y1, u, v, bgr1, width, horizontalFactor, chromaWidth, c);
}

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

#endif
