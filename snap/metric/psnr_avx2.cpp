// Sums of squared differences 32 bytes a step.
#include <immintrin.h>

#include "snap/metric/psnr.h"

namespace {

// |a - b| of 32 bytes, or of 16 words, by two saturating subtractions.
inline __m256i absoluteDifference8(const uint8_t* a, const uint8_t* b) {
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a));
    const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b));
    return _mm256_or_si256(_mm256_subs_epu8(x, y), _mm256_subs_epu8(y, x));
}

inline __m256i absoluteDifference16(const uint16_t* a, const uint16_t* b) {
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a));
    const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b));
    return _mm256_or_si256(_mm256_subs_epu16(x, y), _mm256_subs_epu16(y, x));
}

} // namespace

// 8-bit: |a - b|, widened to words, squared
// and added in pairs by madd, so each 32-bit lane gains at most
// 4 x 255^2 = 260100 a step. 8192 steps stay below 2^31; then the lanes are
// widened into 64-bit totals. The last bytes, fewer than a step, go to the
// scalar sum, so nothing past either run is read.
uint64_t squareSum8Avx2(const uint8_t* a, const uint8_t* b, size_t count) {
    const __m256i zero = _mm256_setzero_si256();
    __m256i total = zero;
    size_t steps = count / 32;
    while (steps > 0) {
        const size_t n = steps < 8192 ? steps : 8192;
        __m256i sum = zero;
        for (size_t i = 0; i < n; ++i) {
            const __m256i d = absoluteDifference8(a, b);
            const __m256i low = _mm256_unpacklo_epi8(d, zero);
            const __m256i high = _mm256_unpackhi_epi8(d, zero);
            sum = _mm256_add_epi32(sum, _mm256_add_epi32(_mm256_madd_epi16(low, low),
                                                         _mm256_madd_epi16(high, high)));
            a += 32;
            b += 32;
        }
        total = _mm256_add_epi64(total, _mm256_unpacklo_epi32(sum, zero));
        total = _mm256_add_epi64(total, _mm256_unpackhi_epi32(sum, zero));
        steps -= n;
    }
    alignas(32) uint64_t lanes[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), total);
    return lanes[0] + lanes[1] + lanes[2] + lanes[3] + squareSum8Scalar(a, b, count % 32);
}

// Words: |a - b| as above, its square (up to 32 bits) from the low and high
// halves of the unsigned product, and every square widened into 64-bit lanes
// at once, since two of them may already pass 2^32.
uint64_t squareSum16Avx2(const uint16_t* a, const uint16_t* b, size_t count) {
    const __m256i zero = _mm256_setzero_si256();
    __m256i total = zero;
    const size_t steps = count / 16;
    for (size_t i = 0; i < steps; ++i) {
        const __m256i d = absoluteDifference16(a, b);
        const __m256i low = _mm256_mullo_epi16(d, d);
        const __m256i high = _mm256_mulhi_epu16(d, d);
        const __m256i first = _mm256_unpacklo_epi16(low, high);  // whole squares
        const __m256i second = _mm256_unpackhi_epi16(low, high);
        total = _mm256_add_epi64(total, _mm256_unpacklo_epi32(first, zero));
        total = _mm256_add_epi64(total, _mm256_unpackhi_epi32(first, zero));
        total = _mm256_add_epi64(total, _mm256_unpacklo_epi32(second, zero));
        total = _mm256_add_epi64(total, _mm256_unpackhi_epi32(second, zero));
        a += 16;
        b += 16;
    }
    alignas(32) uint64_t lanes[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), total);
    return lanes[0] + lanes[1] + lanes[2] + lanes[3] + squareSum16Scalar(a, b, count % 16);
}
