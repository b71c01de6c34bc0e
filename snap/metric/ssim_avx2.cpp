// The SSIM block rows four blocks (16 samples) a step. Each sample row's 16
// samples become 16 words; words are added down the block's four rows, and
// madd forms a^2 + b^2 and ab of sample pairs as 32-bit sums. Horizontal adds
// then close each block over its 4 columns, and two rounds of unpacking put
// the four sums of a block side by side, as the scalar row stores them. Blocks
// left over, fewer than a step, go to the scalar row, so nothing past the
// last whole block is read.
#include <immintrin.h>

#include "snap/metric/ssim.h"

namespace {

// Block sums from per-pair partial sums (32-bit lane k holds samples 2k and
// 2k + 1 of the step): low and high 128 bits become blocks {0, 1} and {2, 3}.
inline void blockSums(__m256i s1, __m256i s2, __m256i ss, __m256i s12, __m256i* blocks01,
                      __m256i* blocks23) {
    const __m256i x = _mm256_hadd_epi32(s1, s2);   // per half: s1, s1, s2, s2 of its two blocks
    const __m256i y = _mm256_hadd_epi32(ss, s12);  // ss, ss, s12, s12
    const __m256i p = _mm256_unpacklo_epi32(x, y); // s1, ss of the first block, then the second
    const __m256i q = _mm256_unpackhi_epi32(x, y); // s2, s12 likewise
    const __m256i first = _mm256_unpacklo_epi32(p, q);  // blocks 0 and 2
    const __m256i second = _mm256_unpackhi_epi32(p, q); // blocks 1 and 3
    *blocks01 = _mm256_permute2x128_si256(first, second, 0x20);
    *blocks23 = _mm256_permute2x128_si256(first, second, 0x31);
}

} // namespace

void ssimBlockRow8Avx2(const uint8_t* a, ptrdiff_t aStride, const uint8_t* b, ptrdiff_t bStride,
                       int blocks, int32_t (*sums)[4]) {
    const __m256i ones = _mm256_set1_epi16(1);
    int z = 0;
    for (; z + 4 <= blocks; z += 4) {
        __m256i sumA = _mm256_setzero_si256(), sumB = sumA, ss = sumA, s12 = sumA;
        for (int y = 0; y < 4; ++y) {
            // Words of at most 255: madd's signed products are exact, and a
            // column of four stays far below 2^15.
            const __m256i x = _mm256_cvtepu8_epi16(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + y * aStride + 4 * z)));
            const __m256i w = _mm256_cvtepu8_epi16(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + y * bStride + 4 * z)));
            sumA = _mm256_add_epi16(sumA, x);
            sumB = _mm256_add_epi16(sumB, w);
            ss = _mm256_add_epi32(ss, _mm256_add_epi32(_mm256_madd_epi16(x, x), _mm256_madd_epi16(w, w)));
            s12 = _mm256_add_epi32(s12, _mm256_madd_epi16(x, w));
        }
        __m256i low, high;
        blockSums(_mm256_madd_epi16(sumA, ones), _mm256_madd_epi16(sumB, ones), ss, s12, &low, &high);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(sums[z]), low);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(sums[z + 2]), high);
    }
    if (z < blocks) ssimBlockRow8Scalar(a + 4 * z, aStride, b + 4 * z, bStride, blocks - z, sums + z);
}

void ssimBlockRow16Avx2(const uint16_t* a, ptrdiff_t aStride, const uint16_t* b,
                        ptrdiff_t bStride, int blocks, int64_t (*sums)[4]) {
    const __m256i ones = _mm256_set1_epi16(1);
    const __m256i above12 = _mm256_set1_epi16(int16_t(0xF000));
    int z = 0;
    for (; z + 4 <= blocks; z += 4) {
        __m256i sumA = _mm256_setzero_si256(), sumB = sumA, ss = sumA, s12 = sumA, seen = sumA;
        for (int y = 0; y < 4; ++y) {
            // Below 2^12: a column of four stays below 2^14, and the 32-bit
            // sums of a block (32 squares) below 2^29.
            const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + y * aStride + 4 * z));
            const __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + y * bStride + 4 * z));
            seen = _mm256_or_si256(seen, _mm256_or_si256(x, w));
            sumA = _mm256_add_epi16(sumA, x);
            sumB = _mm256_add_epi16(sumB, w);
            ss = _mm256_add_epi32(ss, _mm256_add_epi32(_mm256_madd_epi16(x, x), _mm256_madd_epi16(w, w)));
            s12 = _mm256_add_epi32(s12, _mm256_madd_epi16(x, w));
        }
        // A sample past 12 bits (a file that breaks its own depth) would
        // overflow the words: those blocks go the exact scalar way.
        if (!_mm256_testz_si256(seen, above12)) {
            ssimBlockRow16Scalar(a + 4 * z, aStride, b + 4 * z, bStride, 4, sums + z);
            continue;
        }
        __m256i low, high;
        blockSums(_mm256_madd_epi16(sumA, ones), _mm256_madd_epi16(sumB, ones), ss, s12, &low, &high);
        // Every sum is positive: widen each block to 64-bit lanes.
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(sums[z]), _mm256_cvtepi32_epi64(_mm256_castsi256_si128(low)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(sums[z + 1]), _mm256_cvtepi32_epi64(_mm256_extracti128_si256(low, 1)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(sums[z + 2]), _mm256_cvtepi32_epi64(_mm256_castsi256_si128(high)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(sums[z + 3]), _mm256_cvtepi32_epi64(_mm256_extracti128_si256(high, 1)));
    }
    if (z < blocks) ssimBlockRow16Scalar(a + 4 * z, aStride, b + 4 * z, bStride, blocks - z, sums + z);
}
