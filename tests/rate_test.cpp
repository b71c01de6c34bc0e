#include <gtest/gtest.h>

#include "snap/cli/rate.h"
#include "snap/cli/values.h"

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
        // The NTSC-like decimals stay as typed, as FFmpeg's -r and its Y4M F field keep
        // them (FFmpeg 5.1): only 30000/1001 itself is 30000/1001.
        {"59.94", 2997, 50},     {"119.88", 2997, 25},     {"47.952", 5994, 125},
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

// The readers every mode's values go through: what one accepts, all accept.
TEST(CommandLineValues, NumbersSizesAndFrameChoices) {
    struct Whole {
        const char* text;
        int64_t low, high;
        int ok;
        int64_t value;
    } wholes[] = {
        {"0", 0, 9, 1, 0},        {"+7", 0, 9, 1, 7},       {"-7", -9, 9, 1, -7},     {"10", 0, 9, 0, 0},
        {"-1", 0, 9, 0, 0},       {"", 0, 9, 0, 0},         {"+", 0, 9, 0, 0},        {" 7", 0, 9, 0, 0},
        {"7 ", 0, 9, 0, 0},       {"0x7", 0, 99, 0, 0},     {"1e2", 0, 999, 0, 0},    {"+-7", -9, 9, 0, 0},
        {"9223372036854775807", 0, INT64_MAX, 1, INT64_MAX},
        {"9223372036854775808", 0, INT64_MAX, 0, 0},
        {"-9223372036854775808", INT64_MIN, 0, 1, INT64_MIN},
        {"-9223372036854775809", INT64_MIN, 0, 0, 0},
        {"000000000000000000000000000042", 0, 99, 1, 42},
        {"99999999999999999999999", 0, INT64_MAX, 0, 0},
    };
    for (const Whole& c : wholes) {
        int64_t value = -3;
        EXPECT_EQ(readWholeNumber(c.text, c.low, c.high, &value), c.ok) << c.text;
        EXPECT_EQ(value, c.ok ? c.value : -3) << c.text;
    }
    EXPECT_FALSE(readWholeNumber(nullptr, 0, 9, nullptr));
    for (const char* text : {"1e400", "inf", "nan", "0x20", "", ".", "e5", "1,5", "35dB"}) {
        double value = -3;
        EXPECT_FALSE(readDecimal(text, &value)) << text;
        EXPECT_EQ(value, -3) << text;
    }
    double real = 0;
    EXPECT_TRUE(readDecimal("-1.5e1", &real));
    EXPECT_EQ(real, -15);

    struct Size {
        const char* text;
        int32_t width, height; // 0, 0: refused
    } sizes[] = {
        {"352x288", 352, 288}, {"16*8", 16, 8}, {"16X8", 16, 8}, {"CIF", 352, 288}, {"1080p", 1920, 1080},
        {"2147483647x1", INT32_MAX, 1}, {"2147483648x1", 0, 0}, {"0x8", 0, 0}, {"-4x8", 0, 0},
        {"352x288x2", 0, 0}, {"16by8", 0, 0}, {"x8", 0, 0}, {"16x", 0, 0}, {"cif2", 0, 0},
    };
    for (const Size& c : sizes) {
        int32_t width = -3, height = -3;
        EXPECT_EQ(readPictureSize(c.text, &width, &height), c.width != 0) << c.text;
        EXPECT_EQ(width, c.width ? c.width : -3) << c.text;
        EXPECT_EQ(height, c.width ? c.height : -3) << c.text;
    }

    struct Frames {
        const char* text;
        int ok, kind;
        int64_t first, last;
    } frames[] = {
        {"7", 1, FRAMES_ONE, 7, 7},       {"2-9", 1, FRAMES_RANGE, 2, 9}, {"4-4", 1, FRAMES_RANGE, 4, 4},
        {"all", 1, FRAMES_ALL, 0, INT64_MAX}, {"3-1", 0, FRAMES_RANGE, -3, -3}, {"-3", 0, -3, -3, -3},
        {"1-", 0, -3, -3, -3},            {"1- 2", 0, -3, -3, -3},        {"ALL", 0, -3, -3, -3},
    };
    for (const Frames& c : frames) {
        FrameChoice choice = {-3, -3, -3};
        EXPECT_EQ(readFrameChoice(c.text, &choice), c.ok) << c.text;
        EXPECT_EQ(choice.kind, c.kind) << c.text;
        EXPECT_EQ(choice.first, c.first) << c.text;
        EXPECT_EQ(choice.last, c.last) << c.text;
    }
    FrameChoice last = {-3, -3, -3};
    EXPECT_TRUE(readFrameChoice("last", &last));
    EXPECT_EQ(last.kind, FRAMES_LAST);
}

} // namespace
