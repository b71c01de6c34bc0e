// Integer forms of the reference conversion, shared by the fast rows.
//
// Derivation. With r' = y + redTable[v] and b' = y + blueTable[u], the
// reference's green is
//   (y - BLUE_WEIGHT b' - RED_WEIGHT r') / GREEN_WEIGHT + 0.5
//     = y + greenU[u] + greenV[v] + 0.5,
// because 1 - BLUE_WEIGHT - RED_WEIGHT = GREEN_WEIGHT, with
//   greenU[u] = -BLUE_WEIGHT / GREEN_WEIGHT * blueTable[u],
//   greenV[v] = -RED_WEIGHT / GREEN_WEIGHT * redTable[v]
// (the weights and the table factors are in colour.h).
// y is a whole number, so each of the three bytes is clamp(y + offset), where
// the offset depends on the chroma sample alone:
//   red   = clamp(y + round(redTable[v]))
//   blue  = clamp(y + round(blueTable[u]))
//   green = clamp(y + floor(greenU[u] + greenV[v] + 0.5)).
// (Rounding is half up; the reference truncates toward zero, which differs
// only below zero, where the clamp gives 0 either way.) Over all chroma pairs
// the green sum's closest approach to a rounding tie is 4.77e-7, just above
// 2^-21, so green needs more than 21 fraction bits; red and blue stay 1.2e-3
// and 3.0e-3 from a tie. The exhaustive test over all 2^24 triples checks
// every path against yuvToRgb.
#pragma once

#include <cstdint>

#include "render/colour.h"

namespace colour_fixed {

constexpr int64_t roundToInt(double x) {
    return x < 0 ? -static_cast<int64_t>(-x + 0.5) : static_cast<int64_t>(x + 0.5);
}

// greenU[u] and greenV[v] per unit of (sample - 128), from the reference's
// constants (colour.h).
constexpr double GREEN_FROM_BLUE = -BLUE_WEIGHT * INVERSE_GREEN_WEIGHT * BLUE_FROM_U;
constexpr double GREEN_FROM_RED = -RED_WEIGHT * INVERSE_GREEN_WEIGHT * RED_FROM_V;

// Scalar tables: green entries rounded one by one at 22 fraction bits (each
// entry's error at most 2^-23, the sum's at most 2^-22, below the 4.77e-7
// margin; 21 bits are just enough, 22 leave room).
constexpr int GREEN_TABLE_BITS = 22;

// floor(x + 0.5), as the scalar tables take it from the double table entry.
constexpr int32_t roundedEntry(double x) {
    const double h = x + 0.5;
    const int32_t t = static_cast<int32_t>(h);
    return t > h ? t - 1 : t;
}

// Green: 30 fraction bits, so that the two scales' rounding (each at most
// 2^-31, times at most 128) stays below 2^-23:
//   green = floor((u * GREEN_U_SCALE + v * GREEN_V_SCALE + GREEN_CONSTANT) / 2^30).
// The products need more than 32 bits; the vector rows split each scale
// (below).
constexpr int GREEN_BITS = 30;
constexpr int64_t GREEN_U_SCALE = roundToInt(GREEN_FROM_BLUE * (int64_t{1} << GREEN_BITS));
constexpr int64_t GREEN_V_SCALE = roundToInt(GREEN_FROM_RED * (int64_t{1} << GREEN_BITS));
constexpr int64_t GREEN_CONSTANT =
    -128 * (GREEN_U_SCALE + GREEN_V_SCALE) + (int64_t{1} << (GREEN_BITS - 1));

// The vector rows' form: every sample as the 16-bit word d = 2 * (sample - 128).
// Red and blue: a rounding high multiply, floor((d * scale + 2^14) / 2^15),
// gives round(table[sample]) for all 256 samples with scale near
// factor * 2^14 (searched below), with nothing else to add or shift.
constexpr int32_t findRoundingScale(double factor) {
    const int32_t centre = static_cast<int32_t>(factor * (1 << 14));
    for (int32_t scale = centre - 8; scale <= centre + 8; ++scale) {
        bool all = scale < 32768;
        for (int32_t s = 0; s < 256 && all; ++s) {
            const int32_t d = 2 * (s - 128);
            all = ((d * scale + (1 << 14)) >> 15) == roundedEntry((s - 128) * factor);
        }
        if (all) return scale;
    }
    return 0;
}
constexpr int32_t RED_ROUNDING = findRoundingScale(RED_FROM_V);
constexpr int32_t BLUE_ROUNDING = findRoundingScale(BLUE_FROM_U);
static_assert(RED_ROUNDING > 0 && BLUE_ROUNDING > 0, "no rounding multiply for red or blue");

// Green: with the words d, 2 * (sum - GREEN_CONSTANT) + 2^30 =
//   d_u * GREEN_U_SCALE + d_v * GREEN_V_SCALE + 2^30,
// and green = floor(that / 2^31), the same number as above. Each scale is
// split at 2^15 (high and low halves, both multiply-adds of the (d_u, d_v)
// pairs), joined by x = high + floor(low / 2^15), and
//   floor((x + 2^15) / 2^16) = floor((floor(x / 2^9) + 2^6) / 2^7),
// where the outer step is a rounding high multiply by 2^8 in 16 bits once
// floor(x / 2^9) is packed to 16 bits.
constexpr int GREEN_SPLIT = 15;
constexpr int GREEN_PACK_SHIFT = 9;
constexpr int32_t splitHigh(int64_t x) {
    return static_cast<int32_t>((x + (1 << (GREEN_SPLIT - 1))) >> GREEN_SPLIT);
}
constexpr int32_t splitLow(int64_t x) {
    return static_cast<int32_t>(x - int64_t{splitHigh(x)} * (1 << GREEN_SPLIT));
}
constexpr int32_t GREEN_U_SPLIT_HIGH = splitHigh(GREEN_U_SCALE);
constexpr int32_t GREEN_U_SPLIT_LOW = splitLow(GREEN_U_SCALE);
constexpr int32_t GREEN_V_SPLIT_HIGH = splitHigh(GREEN_V_SCALE);
constexpr int32_t GREEN_V_SPLIT_LOW = splitLow(GREEN_V_SCALE);
constexpr int64_t absolute(int64_t x) { return x < 0 ? -x : x; }
static_assert(absolute(GREEN_U_SPLIT_HIGH) < 32768 && absolute(GREEN_V_SPLIT_HIGH) < 32768,
              "green scale halves must fit 16 bits");
// |d| <= 256, so x stays far inside 32 bits; its packed form must fit 16.
static_assert((256 * (absolute(GREEN_U_SPLIT_HIGH) + absolute(GREEN_V_SPLIT_HIGH)) + 256) >>
                      GREEN_PACK_SHIFT <
                  32767 - 128,
              "packed green sum must fit 16 bits");

// Two 16-bit multipliers in one 32-bit word, as a multiply-add of (a, b)
// 16-bit pairs takes them: `first` times a, `second` times b.
constexpr int32_t pairWord(int32_t first, int32_t second) {
    return static_cast<int32_t>((static_cast<uint32_t>(second) << 16) |
                                (static_cast<uint32_t>(first) & 0xFFFF));
}

} // namespace colour_fixed
