#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "snap/format/frame_format.h"
#include "tests/test_files.h"

namespace {

TEST(FrameFormat, NamesInAnyCaseAndTodaysShortOnes) {
    struct Case {
        const char* name;
        const char* row; // nullptr: not a format
        int32_t shiftX, shiftY, depth, bytes, storage;
    } cases[] = {
        {"yuv420p", "yuv420p", 1, 1, 8, 1, STORAGE_PLANAR},
        {"420", "yuv420p", 1, 1, 8, 1, STORAGE_PLANAR},
        {"I420", "yuv420p", 1, 1, 8, 1, STORAGE_PLANAR},
        {"411", "yuv411p", 2, 0, 8, 1, STORAGE_PLANAR},
        {"444", "yuv444p", 0, 0, 8, 1, STORAGE_PLANAR},
        {"GRAY", "gray", 0, 0, 8, 1, STORAGE_GREY},
        {"yuv420P10LE", "yuv420p10le", 1, 1, 10, 2, STORAGE_PLANAR},
        {"yuv444p16le", "yuv444p16le", 0, 0, 16, 2, STORAGE_PLANAR},
        {"gray12le", "gray12le", 0, 0, 12, 2, STORAGE_GREY},
        {"Nv12", "nv12", 1, 1, 8, 1, STORAGE_SEMI_PLANAR_UV},
        {"nv21", "nv21", 1, 1, 8, 1, STORAGE_SEMI_PLANAR_VU},
        {"P010LE", "p010le", 1, 1, 10, 2, STORAGE_SEMI_PLANAR_UV},
        {"yuv420p10", nullptr, 0, 0, 0, 0, 0}, // the byte order is part of the name
        {"p010", nullptr, 0, 0, 0, 0, 0},
        {"yuv420p ", nullptr, 0, 0, 0, 0, 0},
        {"", nullptr, 0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const FrameFormat* format = findFrameFormat(c.name);
        if (!c.row) {
            EXPECT_EQ(format, nullptr);
            continue;
        }
        ASSERT_NE(format, nullptr);
        EXPECT_STREQ(format->name, c.row);
        EXPECT_EQ(format->chromaShiftX, c.shiftX);
        EXPECT_EQ(format->chromaShiftY, c.shiftY);
        EXPECT_EQ(format->depth, c.depth);
        EXPECT_EQ(format->bytesPerSample, c.bytes);
        EXPECT_EQ(format->storage, c.storage);
        EXPECT_EQ(findFrameFormatWord(c.name, strlen(c.name)), format);
    }
    EXPECT_EQ(findFrameFormat(nullptr), nullptr);
    EXPECT_EQ(findFrameFormatWord("nv12_cif", 4), findFrameFormat("nv12"));
    EXPECT_EQ(findFrameFormat("p010le")->sampleShift, 6);
}

TEST(FrameFormat, FrameBytesRoundedDownForRawAndUpForY4m) {
    // Rounded up, the sizes are FFmpeg's for the same geometry.
    struct Case {
        const char* format;
        int32_t width, height;
        int64_t down, up;
    } cases[] = {
        {"yuv420p", 5, 3, 19, 27},    {"yuv422p", 5, 3, 27, 33},   {"yuv411p", 5, 3, 21, 27},
        {"yuv444p", 5, 3, 45, 45},    {"gray", 5, 3, 15, 15},      {"nv12", 5, 3, 19, 27},
        {"nv21", 5, 3, 19, 27},       {"p010le", 5, 3, 38, 54},    {"yuv420p10le", 5, 3, 38, 54},
        {"gray10le", 5, 3, 30, 30},   {"yuv411p", 6, 2, 16, 20},   {"yuv420p", 1, 1, 1, 3},
        {"yuv420p", 352, 288, 152064, 152064},                    {"yuv422p16le", 352, 288, 405504, 405504},
        // A frame must fit in 32 bits, each side be at least 1.
        {"yuv420p", 46341, 46341, -1, -1}, {"gray", 46340, 46340, 2147395600, 2147395600},
        {"gray16le", 32768, 32768, -1, -1}, {"yuv444p16le", INT32_MAX, INT32_MAX, -1, -1},
        {"nv12", INT32_MAX, 2, -1, -1},    {"yuv420p", 0, 288, -1, -1},  {"yuv420p", 352, -2, -1, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.format << " " << c.width << "x" << c.height);
        FrameGeometry geometry = {findFrameFormat(c.format), c.width, c.height, CHROMA_ROUNDED_DOWN};
        EXPECT_EQ(frameBytes(&geometry), c.down);
        if (c.down > 0) {
            EXPECT_EQ(roundingChangesLayout(&geometry) != 0, c.down != c.up);
        }
        geometry.rounding = CHROMA_ROUNDED_UP;
        EXPECT_EQ(frameBytes(&geometry), c.up);
    }
}

TEST(FrameFormat, RoundedDownIsTheViewersOwnLayout) {
    const char* names[] = {"420", "422", "411", "444"};
    for (const char* name : names) {
        for (int32_t width = 1; width <= 9; ++width) {
            for (int32_t height = 1; height <= 5; ++height) {
                SCOPED_TRACE(testing::Message() << name << " " << width << "x" << height);
                const FrameFormat* format = findFrameFormat(name);
                const FrameGeometry geometry = {format, width, height, CHROMA_ROUNDED_DOWN};
                FramePlanes planes;
                ASSERT_TRUE(framePlanes(&geometry, &planes));
                VideoFile video;
                ASSERT_TRUE(openFrameBytes(&video, std::vector<uint8_t>(size_t(planes.frameBytes), 0), width,
                                           height, format->viewerCode));
                EXPECT_EQ(video.frameBytes, planes.frameBytes);
                EXPECT_EQ(video.chromaWidth, planes.chromaWidth);
                EXPECT_EQ(video.chromaHeight, planes.chromaHeight);
                EXPECT_EQ(planes.offset[2] - planes.offset[1], int64_t{video.chromaWidth} * video.chromaHeight);
                closeVideo(&video);
            }
        }
    }
}

TEST(FrameFormat, EveryY4mTagAndBack) {
    for (const Y4mColour& colour : y4mColourRows()) {
        EXPECT_EQ(findY4mColour(colour.tag, strlen(colour.tag)), &colour) << colour.tag;
        ASSERT_NE(y4mColourFormat(&colour), nullptr) << colour.tag;
        EXPECT_EQ(y4mColourFormat(y4mColourOf(y4mColourFormat(&colour))), y4mColourFormat(&colour)) << colour.tag;
    }
    for (const FrameFormat& format : frameFormatRows())
        if (const Y4mColour* colour = y4mColourOf(&format)) { // a format Y4M has no tag for is never written as one
            EXPECT_EQ(y4mColourFormat(colour), planarFormOf(&format)) << format.name;
        }
    EXPECT_NE(y4mColourOf(findFrameFormat("p010le")), nullptr);
    EXPECT_EQ(findY4mColour("420JPEG", 7), nullptr);
    EXPECT_EQ(findY4mColour("420p1", 5), nullptr);
}

// A row is all the code knows of a format, so each must agree with itself:
// its names find it, its planar form holds the same samples, its shown name
// is the viewer's.
TEST(FrameFormat, EveryRowAgreesWithItself) {
    for (const FrameFormat& format : frameFormatRows()) {
        SCOPED_TRACE(format.name);
        EXPECT_EQ(findFrameFormat(format.name), &format);
        // Pixel-format names lay odd sizes out as FFmpeg does; the viewer's codes as the viewer does.
        EXPECT_EQ(chromaRoundingOfWord(format.name, strlen(format.name)), CHROMA_ROUNDED_UP);
        for (const char* alias = format.aliases; *alias;) {
            const size_t n = strcspn(alias, " ");
            EXPECT_EQ(findFrameFormatWord(alias, n), &format) << std::string(alias, n);
            const bool code = std::to_string(format.viewerCode) == std::string(alias, n);
            EXPECT_EQ(chromaRoundingOfWord(alias, n), code ? CHROMA_ROUNDED_DOWN : CHROMA_ROUNDED_UP) << alias;
            alias += n + (alias[n] ? 1 : 0);
        }
        const FrameFormat* planar = planarFormOf(&format);
        ASSERT_NE(planar, nullptr);
        EXPECT_EQ(planarFormOf(planar), planar);
        EXPECT_EQ(planar->chromaPerSample, 1);
        EXPECT_EQ(planar->sampleShift, 0);
        EXPECT_EQ(planar->depth, format.depth);
        EXPECT_EQ(planar->chromaShiftX, format.chromaShiftX);
        EXPECT_EQ(planar->chromaShiftY, format.chromaShiftY);
        EXPECT_EQ(planar->planeCount, format.planeCount == 1 ? 1 : 3);
        const ChromaFormat* viewer = findChromaFormat(format.viewerCode);
        EXPECT_EQ(viewer != nullptr, format.viewerCode != 0);
        if (format.shown) {
            EXPECT_STREQ(format.shown, viewer ? viewer->name : "");
        }
        EXPECT_EQ(format.shown != nullptr, formatIsViewers(&format) != 0);
        const FrameFormat* eight = eightBitFormatOf(&format);
        ASSERT_NE(eight, nullptr);
        EXPECT_EQ(eight->depth, 8);
        EXPECT_EQ(eight->viewerCode, format.viewerCode);
    }
    EXPECT_EQ(defaultFrameFormat(), findFrameFormat("yuv420p"));
    EXPECT_EQ(viewerFrameFormat(411), findFrameFormat("411"));
    EXPECT_EQ(viewerFrameFormat(440), nullptr);
    EXPECT_EQ(chromaRoundingOfWord("411", 3), CHROMA_ROUNDED_DOWN);
    EXPECT_EQ(chromaRoundingOfWord("I420", 4), CHROMA_ROUNDED_UP);
    EXPECT_EQ(chromaRoundingOfWord("4200", 4), CHROMA_ROUNDED_UP); // no format at all
}

} // namespace
