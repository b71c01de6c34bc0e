#include <gtest/gtest.h>

#include "video/frame_rate.h"

namespace {

TEST(FrameRate, OfferedRates) {
    EXPECT_EQ(frameIntervalFromRate("30"), 33);
    EXPECT_EQ(frameIntervalFromRate("25"), 40);
    EXPECT_EQ(frameIntervalFromRate("15"), 66);
    EXPECT_EQ(frameIntervalFromRate("12.5"), 80);
    EXPECT_EQ(frameIntervalFromRate(" 50fps"), 20); // read like atof
}

TEST(FrameRate, RatesWithNoUsablePeriodPlayAtTwentyFive) {
    for (const char* text : {"0", "-1", "abc", "", "-0.5", "nan", "-inf"})
        EXPECT_EQ(frameIntervalFromRate(text), DEFAULT_FRAME_INTERVAL) << text;
    EXPECT_EQ(frameIntervalFromRate(nullptr), DEFAULT_FRAME_INTERVAL);
}

TEST(FrameRate, ExtremeRatesStayInRange) {
    EXPECT_EQ(frameIntervalFromRate("1e9"), 1);
    EXPECT_EQ(frameIntervalFromRate("1000"), 1);
    EXPECT_EQ(frameIntervalFromRate("1e-9"), LONGEST_FRAME_INTERVAL);
    EXPECT_EQ(frameIntervalFromRate("0.001"), 1000000);
}

} // namespace
