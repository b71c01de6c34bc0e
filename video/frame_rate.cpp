#include "video/frame_rate.h"

#include <cstdlib>

int32_t frameIntervalFromRate(const char* rateText) {
    const double rate = rateText ? atof(rateText) : 0.0;
    if (!(rate > 0)) return DEFAULT_FRAME_INTERVAL; // also not-a-number
    const double interval = 1000.0 / rate;
    if (interval < 1) return 1;
    if (interval > LONGEST_FRAME_INTERVAL) return LONGEST_FRAME_INTERVAL;
    return static_cast<int32_t>(interval);
}
