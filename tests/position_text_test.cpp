#include <gtest/gtest.h>

#include "render/position_text.h"

namespace {

std::string text(int32_t interval, int64_t index) {
    char buffer[POSITION_TEXT_SIZE];
    formatPositionText(buffer, sizeof buffer, interval, index);
    return buffer;
}

TEST(PositionText, VideoTimeAtTheFrame) {
    EXPECT_EQ(text(40, 30), " h00 : m00 : s01 : ms200 : f30");
    EXPECT_EQ(text(33, 109091), " h01 : m00 : s00 : ms003 : f109091");
    EXPECT_EQ(text(40, 0), " h00 : m00 : s00 : ms000 : f0");
    EXPECT_EQ(text(0, 0), " h00 : m00 : s00 : ms000 : f0");
    EXPECT_EQ(text(0, 7), " h00 : m00 : s00 : ms000 : f7");
    EXPECT_EQ(text(10000000, 1), " h02 : m46 : s40 : ms000 : f1");
    EXPECT_EQ(text(-40, 1), " h1193 : m02 : s47 : ms256 : f1"); // taken as unsigned
}

TEST(PositionText, BeforeTheFirstFrameTheProductWraps) {
    EXPECT_EQ(text(40, -1), " h1193 : m02 : s47 : ms256 : f-1");
}

TEST(PositionText, FramesPastThirtyTwoBits) {
    // 5000000000 ms wraps to 705032704 ms; the frame number does not wrap.
    EXPECT_EQ(text(1, int64_t{5000000000}), " h195 : m50 : s32 : ms704 : f5000000000");
}

TEST(SplitTime, Parts) {
    TimeParts t = splitTime(4294967295u);
    EXPECT_EQ(t.hours, 1193u);
    EXPECT_EQ(t.minutes, 2u);
    EXPECT_EQ(t.seconds, 47u);
    EXPECT_EQ(t.milliseconds, 295u);
    t = splitTime(3723004);
    EXPECT_EQ(t.hours, 1u);
    EXPECT_EQ(t.minutes, 2u);
    EXPECT_EQ(t.seconds, 3u);
    EXPECT_EQ(t.milliseconds, 4u);
}

} // namespace
