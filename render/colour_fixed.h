// Integer forms of the reference conversion, shared by the fast rows.
//
// Derivation. With r' = y + redTable[v] and b' = y + blueTable[u], the
// reference's green is
//   (y - 0.1145 b' - 0.2989 r') / 0.5866 + 0.5
//     = y + greenU[u] + greenV[v] + 0.5,
// because 1 - 0.1145 - 0.2989 = 0.5866, with
//   greenU[u] = -0.1145 / 0.5866 * blueTable[u],
//   greenV[v] = -0.2989 / 0.5866 * redTable[v].
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

namespace colour_fixed {

constexpr int64_t roundToInt(double x) {
    return x < 0 ? -static_cast<int64_t>(-x + 0.5) : static_cast<int64_t>(x + 0.5);
}

// The reference's constants.
constexpr double RED_FACTOR = 1.4022;
constexpr double BLUE_FACTOR = 1.771;
constexpr double INVERSE_GREEN = 1.7047391749062393; // 1 / 0.5866
constexpr double GREEN_FROM_BLUE = -0.1145 * INVERSE_GREEN * BLUE_FACTOR;
constexpr double GREEN_FROM_RED = -0.2989 * INVERSE_GREEN * RED_FACTOR;

// Scalar tables: green entries rounded one by one at 22 fraction bits (each
// entry's error at most 2^-23, the sum's at most 2^-22, below the 4.77e-7
// margin; 21 bits are just enough, 22 leave room).
constexpr int GREEN_TABLE_BITS = 22;

// Vector rows evaluate the offsets as linear functions of the sample:
//   offset = (sample terms * SCALE + CONSTANT) >> BITS.
// Red and blue: 21 fraction bits; the scale's error times 128 is below 2^-15,
// far inside the 1.2e-3 margin, and 255 * scale fits in 32 bits.
constexpr int RED_BLUE_BITS = 21;
constexpr int32_t RED_SCALE = static_cast<int32_t>(roundToInt(RED_FACTOR * (1 << RED_BLUE_BITS)));
constexpr int32_t BLUE_SCALE = static_cast<int32_t>(roundToInt(BLUE_FACTOR * (1 << RED_BLUE_BITS)));
// The sample is used as is (0..255); the - 128 and the half go in the constant.
constexpr int32_t RED_CONSTANT = -128 * RED_SCALE + (1 << (RED_BLUE_BITS - 1));
constexpr int32_t BLUE_CONSTANT = -128 * BLUE_SCALE + (1 << (RED_BLUE_BITS - 1));
// A 16-bit multiply-add takes the scale as (scale >> 7) times (sample << 7)
// plus (scale & 127) times the sample: sample << 7 still fits 16 bits.
static_assert((RED_SCALE >> 7) < 32768 && (BLUE_SCALE >> 7) < 32768, "high part must fit 16 bits");

// Green: 30 fraction bits, so that the two scales' rounding (each at most
// 2^-31, times at most 128) stays below 2^-23. The products need more than 32
// bits, so each scale is split into a high and a low 16-bit half, multiplied
// separately, and joined by floor((hi * 2^16 + lo) / 2^30)
//   = floor((hi + floor(lo / 2^16)) / 2^14).
constexpr int GREEN_BITS = 30;
constexpr int64_t GREEN_U_SCALE = roundToInt(GREEN_FROM_BLUE * (int64_t{1} << GREEN_BITS));
constexpr int64_t GREEN_V_SCALE = roundToInt(GREEN_FROM_RED * (int64_t{1} << GREEN_BITS));
constexpr int64_t GREEN_CONSTANT =
    -128 * (GREEN_U_SCALE + GREEN_V_SCALE) + (int64_t{1} << (GREEN_BITS - 1));

// High half rounded so that the low half lies in -32768..32767.
constexpr int32_t highHalf(int64_t x) { return static_cast<int32_t>((x + 32768) >> 16); }
constexpr int32_t lowHalf(int64_t x) { return static_cast<int32_t>(x - int64_t{highHalf(x)} * 65536); }

constexpr int32_t GREEN_U_HIGH = highHalf(GREEN_U_SCALE);
constexpr int32_t GREEN_U_LOW = lowHalf(GREEN_U_SCALE);
constexpr int32_t GREEN_V_HIGH = highHalf(GREEN_V_SCALE);
constexpr int32_t GREEN_V_LOW = lowHalf(GREEN_V_SCALE);
// The constant's halves are added to the two products: high to the high sum,
// low (0..65535) to the low sum.
constexpr int32_t GREEN_CONSTANT_HIGH = static_cast<int32_t>(GREEN_CONSTANT >> 16);
constexpr int32_t GREEN_CONSTANT_LOW = static_cast<int32_t>(GREEN_CONSTANT & 0xFFFF);

// Two 16-bit multipliers in one 32-bit word, as a multiply-add of (a, b)
// 16-bit pairs takes them: `first` times a, `second` times b.
constexpr int32_t pairWord(int32_t first, int32_t second) {
    return static_cast<int32_t>((static_cast<uint32_t>(second) << 16) |
                                (static_cast<uint32_t>(first) & 0xFFFF));
}

} // namespace colour_fixed
