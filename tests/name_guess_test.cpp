#include <gtest/gtest.h>

#include <string>

#include "snap/format/name_guess.h"

namespace {

TEST(NameGuess, SizesAndFormatsStandingAsTokens) {
    struct Case {
        const char* name;
        int sizes;
        int32_t width, height;
        int formats;
        const char* format;
    } cases[] = {
        {"BasketballDrive_1920x1080_50.yuv", 1, 1920, 1080, 0, nullptr},
        {"foreman_cif.yuv", 1, 352, 288, 0, nullptr},
        {"FOREMAN_CIF.YUV", 1, 352, 288, 0, nullptr},
        {"akiyo_qcif.yuv", 1, 176, 144, 0, nullptr},
        {"tiny-sqcif.yuv", 1, 128, 96, 0, nullptr},
        {"city_4cif_60.yuv", 1, 704, 576, 0, nullptr},
        {"big.16cif.yuv", 1, 1408, 1152, 0, nullptr},
        {"park_720p_422.yuv", 1, 1280, 720, 1, "yuv422p"},
        {"crowd 1080P yuv444p.raw", 1, 1920, 1080, 1, "yuv444p"},
        {"ducks_2160p.yuv", 1, 3840, 2160, 0, nullptr},
        {"ducks_UHD.yuv", 1, 3840, 2160, 0, nullptr},
        {"ducks-4k-i420.yuv", 1, 3840, 2160, 1, "yuv420p"},
        {"clip_352X288_411.yuv", 1, 352, 288, 1, "yuv411p"},
        {"clip_352*288.yuv", 1, 352, 288, 0, nullptr},
        {"clip(640x480)[yuv422p].yuv", 1, 640, 480, 1, "yuv422p"},
        {"yuv411p_cif", 1, 352, 288, 1, "yuv411p"},
        {"/data/1080p/foreman_cif.yuv", 1, 352, 288, 0, nullptr},    // folders are not read
        {"C:\\clips\\720p\\a_qcif.yuv", 1, 176, 144, 0, nullptr},
        {"cif_352x288.yuv", 1, 352, 288, 0, nullptr},                 // the same size twice
        {"cif_to_720p.yuv", 2, 352, 288, 0, nullptr},                 // two sizes
        {"a_420_to_444.yuv", 0, 0, 0, 2, "yuv420p"},                  // two formats
        // Traps: tokens inside words, frame rates, numbers that are no size.
        {"BasketballDrive_1920x1080_50fps.yuv", 1, 1920, 1080, 0, nullptr},
        {"Kimono_1920x1080_24.yuv", 1, 1920, 1080, 0, nullptr},
        {"clip_420fps.yuv", 0, 0, 0, 0, nullptr},
        {"pacific_ocean.yuv", 0, 0, 0, 0, nullptr},
        {"shd_uhdr_thd.yuv", 0, 0, 0, 0, nullptr},
        {"dark4k.yuv", 0, 0, 0, 0, nullptr},
        {"Ch1080p.yuv", 0, 0, 0, 0, nullptr},
        {"clip_1920x1080p50.yuv", 0, 0, 0, 0, nullptr},
        {"x1920x1080.yuv", 0, 0, 0, 0, nullptr},
        {"clip_0x1A.yuv", 0, 0, 0, 0, nullptr},
        {"clip_0x288.yuv", 0, 0, 0, 0, nullptr},
        {"clip_12345678x2.yuv", 0, 0, 0, 0, nullptr},
        {"clip_352x.yuv", 0, 0, 0, 0, nullptr},
        {"clip_x288.yuv", 0, 0, 0, 0, nullptr},
        {"yuv420p10le_cif.yuv", 1, 352, 288, 1, "yuv420p10le"},
        {"decoded_1920x1080_P010LE.yuv", 1, 1920, 1080, 1, "p010le"},
        {"hw_nv12_720p.yuv", 1, 1280, 720, 1, "nv12"},
        {"mask_gray12le_qcif.yuv", 1, 176, 144, 1, "gray12le"},
        {"clip_gray_cif.yuv", 1, 352, 288, 1, "gray"},
        {"caf\xc3\xa9" "cif.yuv", 0, 0, 0, 0, nullptr},               // a non-ASCII letter joins words
        {"caf\xc3\xa9_cif.yuv", 1, 352, 288, 0, nullptr},
        {"", 0, 0, 0, 0, nullptr},
        {"/", 0, 0, 0, 0, nullptr},
    };
    for (const Case& c : cases) {
        NameGuess guess;
        guessFromName(c.name, &guess);
        EXPECT_EQ(guess.sizeCount, c.sizes) << c.name;
        if (c.sizes) {
            EXPECT_EQ(guess.width, c.width) << c.name;
            EXPECT_EQ(guess.height, c.height) << c.name;
        }
        EXPECT_EQ(guess.formatCount, c.formats) << c.name;
        if (c.formats) {
            EXPECT_STREQ(guess.format->name, c.format) << c.name;
        }
    }
}

TEST(NameGuess, GeometryTakenOnlyWhenTheFileHoldsWholeFrames) {
    const FrameFormat* f422 = findFrameFormat("422");
    const int64_t cif420 = 152064, cif422 = 202752;
    struct Case {
        const char* name;
        GeometryRequest request;
        int64_t fileSize;
        int result;
        int32_t width, height;
        const char* format;
        int sizeFrom, formatFrom;
        const char* why; // part of the reason, when not resolved
    } cases[] = {
        {"foreman_cif.yuv", {0, 0, 0, nullptr}, 10 * cif420, GEOMETRY_RESOLVED, 352, 288, "yuv420p",
         GEOMETRY_FROM_NAME, GEOMETRY_BY_DEFAULT, ""},
        {"foreman_cif_422.yuv", {0, 0, 0, nullptr}, 3 * cif422, GEOMETRY_RESOLVED, 352, 288, "yuv422p",
         GEOMETRY_FROM_NAME, GEOMETRY_FROM_NAME, ""},
        // Flags win over the name, and geometry wholly from flags is not checked.
        {"foreman_cif.yuv", {1, 176, 144, nullptr}, 1000, GEOMETRY_RESOLVED, 176, 144, "yuv420p",
         GEOMETRY_FROM_FLAGS, GEOMETRY_BY_DEFAULT, ""},
        {"foreman_cif_420.yuv", {0, 0, 0, f422}, 2 * cif422, GEOMETRY_RESOLVED, 352, 288, "yuv422p",
         GEOMETRY_FROM_NAME, GEOMETRY_FROM_FLAGS, ""},
        // A size from the flags wins: the name's format is taken, a partial tail is the caller's note.
        {"clip_422.yuv", {1, 352, 288, nullptr}, 2 * cif422, GEOMETRY_RESOLVED, 352, 288, "yuv422p",
         GEOMETRY_FROM_FLAGS, GEOMETRY_FROM_NAME, ""},
        {"clip_422.yuv", {1, 352, 288, nullptr}, 2 * cif420, GEOMETRY_RESOLVED, 352, 288, "yuv422p",
         GEOMETRY_FROM_FLAGS, GEOMETRY_FROM_NAME, ""},
        {"clip_yuv420p.yuv", {1, 64, 48, nullptr}, 2 * cif420, GEOMETRY_RESOLVED, 64, 48, "yuv420p",
         GEOMETRY_FROM_FLAGS, GEOMETRY_FROM_NAME, ""},
        // Refusals say what was found and why.
        {"foreman_cif.yuv", {0, 0, 0, nullptr}, 10 * cif420 + 5, GEOMETRY_REFUSED, 0, 0, nullptr, 0, 0,
         "352x288 4:2:0 (the default format), but its 1520645 bytes are not a whole number of "
         "152064-byte frames (10 frames and 5 bytes over)"},
        {"foreman_cif.yuv", {0, 0, 0, nullptr}, 0, GEOMETRY_REFUSED, 0, 0, nullptr, 0, 0, "empty"},
        {"foreman_cif.yuv", {0, 0, 0, nullptr}, 100, GEOMETRY_REFUSED, 0, 0, nullptr, 0, 0, "(0 frames and 100"},
        {"cif_to_720p.yuv", {0, 0, 0, nullptr}, cif420, GEOMETRY_REFUSED, 0, 0, nullptr, 0, 0,
         "two sizes, 352x288 and 1280x720"},
        {"cif_420_444.yuv", {0, 0, 0, nullptr}, cif420, GEOMETRY_REFUSED, 0, 0, nullptr, 0, 0,
         "two formats, 4:2:0 and 4:4:4"},
        {"huge_999999x999999.yuv", {0, 0, 0, nullptr}, 1 << 20, GEOMETRY_REFUSED, 0, 0, nullptr, 0, 0,
         "too large"},
        // Samples wider than 8 bits read as their format when the name says which; a token
        // that says only "deep" (10-bit 4:2:0 CIF divides into 8-bit frames) is refused when
        // the name gives any of the geometry and no flag the format.
        {"foreman_cif_yuv420p10le.yuv", {0, 0, 0, nullptr}, 2 * cif420, GEOMETRY_RESOLVED, 352, 288,
         "yuv420p10le", GEOMETRY_FROM_NAME, GEOMETRY_FROM_NAME, ""},
        {"foreman_cif_yuv420p10le.yuv", {0, 0, 0, nullptr}, 3 * cif420, GEOMETRY_REFUSED, 0, 0, nullptr,
         0, 0, "not a whole number of 304128-byte frames"},
        {"foreman_cif_10bit.yuv", {0, 0, 0, nullptr}, 2 * cif420, GEOMETRY_REFUSED, 0, 0, nullptr, 0, 0,
         "'10bit'"},
        {"foreman_cif_10bit.yuv", {1, 352, 288, nullptr}, 2 * cif420, GEOMETRY_RESOLVED, 352, 288,
         "yuv420p", GEOMETRY_FROM_FLAGS, GEOMETRY_BY_DEFAULT, ""},
        {"foreman_cif_P010.yuv", {0, 0, 0, nullptr}, 2 * cif420, GEOMETRY_REFUSED, 0, 0, nullptr, 0, 0,
         "'P010'"},
        {"foreman_cif_yuv420p10le.yuv", {1, 352, 288, findFrameFormat("420")}, 2 * cif420,
         GEOMETRY_RESOLVED, 352, 288, "yuv420p", GEOMETRY_FROM_FLAGS, GEOMETRY_FROM_FLAGS, ""},
        {"foreman_cif_10b_rate.yuv", {0, 0, 0, nullptr}, 2 * cif420, GEOMETRY_REFUSED, 0, 0, nullptr,
         0, 0, "'10b'"},
        {"foreman_cif_10fps.yuv", {0, 0, 0, nullptr}, 2 * cif420, GEOMETRY_RESOLVED, 352, 288, "yuv420p",
         GEOMETRY_FROM_NAME, GEOMETRY_BY_DEFAULT, ""},
        {"foreman_cif_10.yuv", {0, 0, 0, nullptr}, 2 * cif420, GEOMETRY_RESOLVED, 352, 288, "yuv420p",
         GEOMETRY_FROM_NAME, GEOMETRY_BY_DEFAULT, ""},
        {"foreman_cif_YUV444P12.yuv", {0, 0, 0, nullptr}, 2 * cif420, GEOMETRY_REFUSED, 0, 0, nullptr,
         0, 0, "'YUV444P12'"},
        {"foreman_cif.gray16be.yuv", {0, 0, 0, nullptr}, 2 * cif420, GEOMETRY_REFUSED, 0, 0, nullptr, 0,
         0, "'gray16be'"},
        {"clip.yuv", {0, 0, 0, nullptr}, cif420, GEOMETRY_NO_SIZE, 0, 0, nullptr, 0, 0, "holds no size"},
        {"clip_cif.yuv", {0, 0, 0, nullptr}, 6 * cif420, GEOMETRY_RESOLVED, 352, 288, "yuv420p",
         GEOMETRY_FROM_NAME, GEOMETRY_BY_DEFAULT, ""},
    };
    for (const Case& c : cases) {
        Geometry geometry = {};
        char why[512];
        const int result = resolveGeometry(&c.request, c.name, c.fileSize, &geometry, why, sizeof why);
        EXPECT_EQ(result, c.result) << c.name << ": " << why;
        if (c.result == GEOMETRY_RESOLVED && result == GEOMETRY_RESOLVED) {
            EXPECT_EQ(geometry.width, c.width) << c.name;
            EXPECT_EQ(geometry.height, c.height) << c.name;
            EXPECT_STREQ(geometry.format->name, c.format) << c.name;
            EXPECT_EQ(geometry.sizeFrom, c.sizeFrom) << c.name;
            EXPECT_EQ(geometry.formatFrom, c.formatFrom) << c.name;
        } else {
            EXPECT_NE(std::string(why).find(c.why), std::string::npos) << c.name << ": " << why;
        }
    }
}

// Odd sizes: the word that named the format lays the chroma out, --format's
// first; else the layout whose whole frames the file holds, else FFmpeg's.
TEST(NameGuess, OddSizeLayoutFromTheWordThenTheFileSize) {
    const int64_t up = 35 * 17 + 2 * 18 * 9, down = 35 * 17 + 2 * 17 * 8;
    const FrameFormat* f420 = findFrameFormat("420");
    struct Case {
        const char* name;
        GeometryRequest request;
        int64_t fileSize;
        int32_t rounding;
        const char* why;
    } cases[] = {
        {"c.yuv", {1, 35, 17, f420, "yuv420p"}, 2 * down, CHROMA_ROUNDED_UP, "--format yuv420p names FFmpeg's"},
        {"c.yuv", {1, 35, 17, f420, "420"}, 2 * up, CHROMA_ROUNDED_DOWN, "--format 420 names the viewer's"},
        {"c_420.yuv", {1, 35, 17, nullptr}, 3 * down, CHROMA_ROUNDED_DOWN, "the viewer's layout only"},
        {"c_420.yuv", {1, 35, 17, nullptr}, 3 * down + 1, CHROMA_ROUNDED_DOWN, "420 in the file's name"},
        {"c_420.yuv", {1, 35, 17, nullptr}, 3 * up, CHROMA_ROUNDED_UP, "whole frames of FFmpeg's layout only"},
        {"c_I420.yuv", {1, 35, 17, nullptr}, 3 * up + 1, CHROMA_ROUNDED_UP, "I420 in the file's name names FFmpeg's"},
        {"c_35x17.yuv", {0, 0, 0, nullptr}, 2 * down, CHROMA_ROUNDED_DOWN, "the viewer's layout only"},
        {"c.yuv", {1, 35, 17, nullptr}, 2 * up, CHROMA_ROUNDED_UP, "FFmpeg's layout only"},
        {"c.yuv", {1, 35, 17, nullptr}, 2 * up + 5, CHROMA_ROUNDED_UP, "FFmpeg's layout, as nothing names one"},
        {"c.yuv", {1, 35, 17, f420}, up * down, CHROMA_ROUNDED_UP, "FFmpeg's layout, as nothing names one"},
    };
    for (const Case& c : cases) {
        Geometry geometry = {};
        char why[512];
        ASSERT_EQ(resolveGeometry(&c.request, c.name, c.fileSize, &geometry, why, sizeof why), GEOMETRY_RESOLVED)
            << c.name << ": " << why;
        EXPECT_EQ(geometry.rounding, c.rounding) << c.name << " " << c.fileSize;
        EXPECT_NE(std::string(geometry.layoutWhy).find(c.why), std::string::npos) << geometry.layoutWhy;
    }
}

} // namespace
