#include <gtest/gtest.h>

#include "snap/cli/rate.h"

namespace {

// The fractions FFmpeg keeps for -r with the same text (its framemd5 time
// base is their inverse).
TEST(RateText, TheFractionFfmpegKeeps) {
    struct Case {
        const char* text;
        int64_t num, den; // 0, 0: refused
    } cases[] = {
        {"25", 25, 1},           {"12.5", 25, 2},          {"29.97", 2997, 100},
        {"30000/1001", 30000, 1001}, {"23.976", 2997, 125}, {"23.976023976", 24000, 1001},
        {"1/3", 1, 3},           {"0.5", 1, 2},            {"1001000", 1001000, 1},
        {"1001001", 1001000, 1}, {"2000000.5", 1001000, 1}, {"7:3", 7, 3},
        {"50:2", 25, 1},         {"120000:1001", 120000, 1001}, {"3000000:1", 1001000, 1},
        {"0.0000001", 1, 10000000}, {"1e2", 100, 1},      {" 25 ", 25, 1},
        {"25.", 25, 1},
        {"", 0, 0},  {"0", 0, 0},  {"-25", 0, 0}, {"25:0", 0, 0}, {"25/0", 0, 0}, {"abc", 0, 0},
        {"nan", 0, 0}, {"inf", 0, 0}, {"0x19", 0, 0}, {"25fps", 0, 0}, {"1:2:3", 0, 0}, {"1e400", 0, 0},
        {"2:1/2", 0, 0}, {"3e9", 0, 0},
    };
    for (const Case& c : cases) {
        int64_t num = -7, den = -7;
        const int ok = parseFrameRate(c.text, &num, &den);
        EXPECT_EQ(ok != 0, c.num != 0) << c.text;
        if (ok) {
            EXPECT_EQ(num, c.num) << c.text;
            EXPECT_EQ(den, c.den) << c.text;
        } else {
            EXPECT_EQ(num, -7) << c.text;
        }
    }
    EXPECT_FALSE(parseFrameRate(nullptr, nullptr, nullptr));
}

} // namespace
