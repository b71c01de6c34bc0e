#include "snap/metric/squared_difference.h"

#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

// A 32-bit sum holds 66051 squares of 255 at most; blocks of 32768 samples
// stay well inside that, and each block's sum goes into the 64-bit total.
constexpr size_t SCALAR_BLOCK = 32768;

uint64_t squaredDifferenceScalar(const uint8_t* a, const uint8_t* b, size_t count) {
    uint64_t total = 0;
    while (count > 0) {
        const size_t n = count < SCALAR_BLOCK ? count : SCALAR_BLOCK;
        uint32_t sum = 0;
        for (size_t i = 0; i < n; ++i) {
            const int32_t d = int32_t{a[i]} - int32_t{b[i]};
            sum += static_cast<uint32_t>(d * d);
        }
        total += sum;
        a += n;
        b += n;
        count -= n;
    }
    return total;
}

#if defined(__x86_64__)
// 32 bytes a step: |a - b| by two saturating subtractions, widened to words,
// squared and added in pairs by madd, so each 32-bit lane gains at most
// 4 * 255^2 = 260100 a step. 8192 steps stay below 2^31; then the lanes are
// widened into 64-bit totals. The last bytes, fewer than a step, go to the
// scalar sum, so nothing past either run is read.
__attribute__((target("avx2"))) uint64_t squaredDifferenceAvx2(const uint8_t* a, const uint8_t* b,
                                                               size_t count) {
    const __m256i zero = _mm256_setzero_si256();
    __m256i total = zero;
    size_t steps = count / 32;
    while (steps > 0) {
        const size_t n = steps < 8192 ? steps : 8192;
        __m256i sum = zero;
        for (size_t i = 0; i < n; ++i) {
            const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a));
            const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b));
            const __m256i d = _mm256_or_si256(_mm256_subs_epu8(x, y), _mm256_subs_epu8(y, x));
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
    return lanes[0] + lanes[1] + lanes[2] + lanes[3] + squaredDifferenceScalar(a, b, count % 32);
}
#endif

SquaredDifferenceSum squaredDifferenceNamed(const char* name) {
    if (!name) return nullptr;
    if (strcmp(name, "scalar") == 0) return squaredDifferenceScalar;
#if defined(__x86_64__)
    // May be reached before the constructor that reads the CPU has run.
    __builtin_cpu_init();
    if (strcmp(name, "avx2") == 0 && __builtin_cpu_supports("avx2")) return squaredDifferenceAvx2;
#endif
    return nullptr;
}

SquaredDifferenceSum fastestSquaredDifference() {
    static const SquaredDifferenceSum fastest = [] {
        const SquaredDifferenceSum avx2 = squaredDifferenceNamed("avx2");
        return avx2 ? avx2 : squaredDifferenceScalar;
    }();
    return fastest;
}
