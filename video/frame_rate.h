// The frame timer's period from the frame rate the user typed.
#pragma once

#include <cstdint>

enum {
    DEFAULT_FRAME_INTERVAL = 40,      // 25 frames a second
    LONGEST_FRAME_INTERVAL = 3600000, // one frame an hour
};

// 1000 / rate in whole milliseconds, the rate read like atof ("12.5" gives 80,
// "30" gives 33). A rate that is not a positive number ("0", "-1", "abc")
// would give no usable period and plays at 25 frames a second; rates above
// 1000 give 1 ms; rates below one frame an hour give one an hour.
int32_t frameIntervalFromRate(const char* rateText);
