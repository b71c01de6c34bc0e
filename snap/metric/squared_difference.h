// Sums of squared differences of two byte runs: the heart of the PSNR
// comparison. Exact 64-bit totals for any length.
#pragma once

#include <cstddef>
#include <cstdint>

using SquaredDifferenceSum = uint64_t (*)(const uint8_t* a, const uint8_t* b, size_t count);

// Plain C++; runs on any CPU (the compiler vectorises it for the baseline).
uint64_t squaredDifferenceScalar(const uint8_t* a, const uint8_t* b, size_t count);

#if defined(__x86_64__)
// Only to be called where the CPU has AVX2 (see squaredDifferenceNamed).
uint64_t squaredDifferenceAvx2(const uint8_t* a, const uint8_t* b, size_t count);
#endif

// "scalar" or "avx2": the sum of that name, or nullptr when this build or
// this CPU lacks it.
SquaredDifferenceSum squaredDifferenceNamed(const char* name);

// The fastest sum this CPU runs, chosen once.
SquaredDifferenceSum fastestSquaredDifference();
