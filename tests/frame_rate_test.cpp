#include <gtest/gtest.h>

#include "video/frame_rate.h"

namespace {

TEST(FrameRate, IntervalIsTheQuotientTruncated) {
    const struct {
        const char* rate;
        int32_t interval;
    } cases[] = {
        {"30", 33},           {"25", 40},           {"15", 66},      {"12.5", 80},
        {" 50fps", 20},       {"2000", 0},          {"1e9", 0},      {"-25", -40},
        {"-2000", 0},         {"0.0001", 10000000}, {"0.5", 2000},
        // No finite quotient, or none at all.
        {"0", 0},             {"-0", 0},            {"abc", 0},      {"", 0},
        {"nan", 0},           {"inf", 0},           {"-inf", 0},
        // Quotients beyond 32 bits stop at the limits.
        {"1e-9", INT32_MAX},  {"-1e-9", INT32_MIN}, {"1e-320", INT32_MAX},
        {"0.0000004656612873", INT32_MAX},
    };
    for (const auto& c : cases) EXPECT_EQ(frameIntervalFromRate(c.rate), c.interval) << c.rate;
    EXPECT_EQ(frameIntervalFromRate(nullptr), 0);
}

TEST(FrameRate, ScaledIntervalsStopAtTheLimits) {
    EXPECT_EQ(scaledInterval(40, 2), 80);
    EXPECT_EQ(scaledInterval(-40, 4), -160);
    EXPECT_EQ(scaledInterval(10000000, 4), 40000000);
    EXPECT_EQ(scaledInterval(INT32_MAX / 2 + 1, 2), INT32_MAX);
    EXPECT_EQ(scaledInterval(INT32_MIN / 4 - 1, 4), INT32_MIN);
    EXPECT_EQ(scaledInterval(INT32_MIN, 2), INT32_MIN);
}

} // namespace
