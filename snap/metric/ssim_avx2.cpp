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

// Eight windows a step. The block rows above and below are added, and each
// window's sums are those of two neighbouring blocks: loads one block apart.
// A 4x4 transpose in each 128-bit half then gives one vector per sum, the
// low half holding windows i, i + 2, i + 4, i + 6 and the high half the odd
// ones. The integer terms and the float products and quotient are those of
// ssimWindow8, exactly rounded the same way; the eight floats are then added
// into the double in window order, as the scalar row adds them.
double ssimWindowRow8Avx2(const int32_t (*top)[4], const int32_t (*bottom)[4], int windows) {
    const __m256i c1 = _mm256_set1_epi32(416), c2 = _mm256_set1_epi32(235963);
    auto blocks = [&](int j) { // blocks j and j + 1, top and bottom added
        return _mm256_add_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(top[j])),
                                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bottom[j])));
    };
    double sum = 0;
    int i = 0;
    // Window i + 7 reads block i + 8, the last one there is when i + 8 = windows.
    for (; i + 8 <= windows; i += 8) {
        const __m256i w0 = _mm256_add_epi32(blocks(i), blocks(i + 1));
        const __m256i w1 = _mm256_add_epi32(blocks(i + 2), blocks(i + 3));
        const __m256i w2 = _mm256_add_epi32(blocks(i + 4), blocks(i + 5));
        const __m256i w3 = _mm256_add_epi32(blocks(i + 6), blocks(i + 7));
        const __m256i t0 = _mm256_unpacklo_epi32(w0, w1), t1 = _mm256_unpackhi_epi32(w0, w1);
        const __m256i t2 = _mm256_unpacklo_epi32(w2, w3), t3 = _mm256_unpackhi_epi32(w2, w3);
        const __m256i s1 = _mm256_unpacklo_epi64(t0, t2), s2 = _mm256_unpackhi_epi64(t0, t2);
        const __m256i ss = _mm256_unpacklo_epi64(t1, t3), s12 = _mm256_unpackhi_epi64(t1, t3);
        const __m256i s1s2 = _mm256_mullo_epi32(s1, s2);
        const __m256i squares = _mm256_add_epi32(_mm256_mullo_epi32(s1, s1), _mm256_mullo_epi32(s2, s2));
        const __m256i vars = _mm256_sub_epi32(_mm256_slli_epi32(ss, 6), squares);
        const __m256i covar = _mm256_sub_epi32(_mm256_slli_epi32(s12, 6), s1s2);
        const __m256 numerator = _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_add_epi32(_mm256_slli_epi32(s1s2, 1), c1)),
                                               _mm256_cvtepi32_ps(_mm256_add_epi32(_mm256_slli_epi32(covar, 1), c2)));
        const __m256 denominator = _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_add_epi32(squares, c1)),
                                                 _mm256_cvtepi32_ps(_mm256_add_epi32(vars, c2)));
        alignas(32) float ssim[8];
        _mm256_store_ps(ssim, _mm256_div_ps(numerator, denominator));
        for (int k = 0; k < 4; ++k) {
            sum += ssim[k];     // window i + 2k
            sum += ssim[k + 4]; // window i + 2k + 1
        }
    }
    for (; i < windows; ++i) {
        int32_t s[4];
        for (int k = 0; k < 4; ++k) s[k] = top[i][k] + top[i + 1][k] + bottom[i][k] + bottom[i + 1][k];
        sum += ssimWindow8(s[0], s[1], s[2], s[3]);
    }
    return sum;
}

namespace {

// Exact doubles from 64-bit integers of magnitude below 2^51 (AVX2 has no
// such conversion): the integer added into the mantissa of 2^52 + 2^51.
inline __m256d exactDoubles(__m256i x) {
    const __m256i magic = _mm256_castpd_si256(_mm256_set1_pd(6755399441055744.0)); // 2^52 + 2^51
    return _mm256_sub_pd(_mm256_castsi256_pd(_mm256_add_epi64(x, magic)), _mm256_set1_pd(6755399441055744.0));
}

// Floats rounded once from the integers: the doubles are exact, so rounding
// them to float is the scalar conversion's single rounding.
inline __m128 floatsOf(__m256i x) {
    return _mm256_cvtpd_ps(exactDoubles(x));
}

} // namespace

// Four windows a step, for samples of up to 12 bits: a window's s1, s2 and
// s12 stay below 2^31 and ss below 2^31 too, so mul_epi32 (the low 32 bits of
// each 64-bit lane, signed) forms the products exactly in 64 bits. The
// integer terms and the float arithmetic are those of the scalar window; the
// four floats are added into the float sum in window order.
float ssimWindowRow16Avx2(const int64_t (*top)[4], const int64_t (*bottom)[4], int windows, int64_t c1,
                          int64_t c2) {
    const __m256i k1 = _mm256_set1_epi64x(c1), k2 = _mm256_set1_epi64x(c2);
    auto block = [&](int j) { // block j, top and bottom added
        return _mm256_add_epi64(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(top[j])),
                                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bottom[j])));
    };
    float sum = 0;
    int i = 0;
    for (; i + 4 <= windows; i += 4) { // window i + 3 reads block i + 4
        const __m256i v0 = block(i), v1 = block(i + 1), v2 = block(i + 2), v3 = block(i + 3), v4 = block(i + 4);
        const __m256i w0 = _mm256_add_epi64(v0, v1), w1 = _mm256_add_epi64(v1, v2);
        const __m256i w2 = _mm256_add_epi64(v2, v3), w3 = _mm256_add_epi64(v3, v4);
        // Sums from samples past 12 bits (a file that breaks its own depth)
        // go the exact scalar way.
        const __m256i any = _mm256_or_si256(_mm256_or_si256(w0, w1), _mm256_or_si256(w2, w3));
        if (!_mm256_testz_si256(any, _mm256_set1_epi64x(int64_t(0xFFFFFFFF80000000ull)))) {
            for (int k = 0; k < 4; ++k) {
                int64_t s[4];
                for (int m = 0; m < 4; ++m)
                    s[m] = top[i + k][m] + top[i + k + 1][m] + bottom[i + k][m] + bottom[i + k + 1][m];
                sum += ssimWindow16(s[0], s[1], s[2], s[3], c1, c2);
            }
            continue;
        }
        const __m256i t0 = _mm256_unpacklo_epi64(w0, w1), t1 = _mm256_unpackhi_epi64(w0, w1);
        const __m256i t2 = _mm256_unpacklo_epi64(w2, w3), t3 = _mm256_unpackhi_epi64(w2, w3);
        const __m256i s1 = _mm256_permute2x128_si256(t0, t2, 0x20), ss = _mm256_permute2x128_si256(t0, t2, 0x31);
        const __m256i s2 = _mm256_permute2x128_si256(t1, t3, 0x20), s12 = _mm256_permute2x128_si256(t1, t3, 0x31);
        const __m256i s1s2 = _mm256_mul_epi32(s1, s2);
        const __m256i squares = _mm256_add_epi64(_mm256_mul_epi32(s1, s1), _mm256_mul_epi32(s2, s2));
        const __m256i vars = _mm256_sub_epi64(_mm256_slli_epi64(ss, 6), squares);
        const __m256i covar = _mm256_sub_epi64(_mm256_slli_epi64(s12, 6), s1s2);
        const __m128 numerator = _mm_mul_ps(floatsOf(_mm256_add_epi64(_mm256_slli_epi64(s1s2, 1), k1)),
                                            floatsOf(_mm256_add_epi64(_mm256_slli_epi64(covar, 1), k2)));
        const __m128 denominator = _mm_mul_ps(floatsOf(_mm256_add_epi64(squares, k1)),
                                              floatsOf(_mm256_add_epi64(vars, k2)));
        alignas(16) float ssim[4];
        _mm_store_ps(ssim, _mm_div_ps(numerator, denominator));
        for (int k = 0; k < 4; ++k) sum += ssim[k];
    }
    for (; i < windows; ++i) {
        int64_t s[4];
        for (int k = 0; k < 4; ++k) s[k] = top[i][k] + top[i + 1][k] + bottom[i][k] + bottom[i + 1][k];
        sum += ssimWindow16(s[0], s[1], s[2], s[3], c1, c2);
    }
    return sum;
}
