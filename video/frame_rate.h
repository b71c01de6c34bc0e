// The video's frame interval from the frame rate the user typed, and the
// periods the speeds derive from it.
#pragma once

#include <cstdint>

// 1000 / rate in milliseconds, truncated toward zero, the rate read like atof:
// "30" gives 33, "12.5" gives 80, "2000" gives 0, "-25" gives -40. A rate of
// 0, or text with no number, has no finite quotient and gives 0, as does
// "nan"; a quotient beyond 32 bits ("1e-9", "-1e-9") gives the nearest
// 32-bit limit.
int32_t frameIntervalFromRate(const char* rateText);

// interval x factor, held at the nearest 32-bit limit instead of overflowing
// (the Half and Quarter speeds of very slow rates).
int32_t scaledInterval(int32_t interval, int32_t factor);
