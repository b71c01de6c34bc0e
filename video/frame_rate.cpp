#include "video/frame_rate.h"

#include <cstdlib>

int32_t frameIntervalFromRate(const char* rateText) {
    const double rate = rateText ? atof(rateText) : 0.0;
    // Neither a rate of 0 (an infinite quotient) nor a NaN reaches the
    // conversion, whose result would be undefined.
    if (rate == 0 || rate != rate) return 0;
    const double interval = 1000.0 / rate;
    // A quotient that overflows the double (a rate below about 1e-305) is
    // infinite here and takes its limit like any other too large.
    if (interval >= 2147483648.0) return INT32_MAX;
    if (interval <= -2147483649.0) return INT32_MIN;
    return static_cast<int32_t>(interval);
}

int32_t scaledInterval(int32_t interval, int32_t factor) {
    const int64_t product = int64_t{interval} * factor;
    if (product > INT32_MAX) return INT32_MAX;
    if (product < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(product);
}
