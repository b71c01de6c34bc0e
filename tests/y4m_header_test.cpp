#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "snap/source/y4m_header.h"

namespace {

int parse(const std::string& text, Y4mHeader* header, std::string* error) {
    char line[256];
    memset(line, 'x', sizeof line);
    const int status = parseY4mHeader(reinterpret_cast<const uint8_t*>(text.data()), text.size(), header,
                                      line, sizeof line);
    EXPECT_NE(memchr(line, '\0', sizeof line), nullptr);
    *error = line;
    return status;
}

TEST(Y4mHeader, FieldsInAnyOrder) {
    const std::string longX = "XLONG=" + std::string(120, 'z');
    struct Case {
        std::string text;
        int32_t width, height;
        const char* format;
        int32_t rateN, rateD, aspectN, aspectD;
        char interlacing;
        int extensions;
    } cases[] = {
        {"YUV4MPEG2 W352 H288 F30000:1001 Ip A1:1 C420jpeg\n", 352, 288, "yuv420p", 30000, 1001, 1, 1, 'p', 0},
        {"YUV4MPEG2 C420p10 A128:117 It F25:1 H288 W352\n", 352, 288, "yuv420p10le", 25, 1, 128, 117, 't', 0},
        // No C: 8-bit 4:2:0; no F, A or I: unknown.
        {"YUV4MPEG2 W5 H3\n", 5, 3, "yuv420p", 0, 0, 0, 0, '?', 0},
        {"YUV4MPEG2 W1920 H1080 F50:1 Ip A0:0 C422p12 XYSCSS=422P12 XCOLORRANGE=LIMITED\n", 1920, 1080,
         "yuv422p12le", 50, 1, 0, 0, 'p', 2},
        // X fields of any length, headers well past 80 bytes.
        {"YUV4MPEG2 " + longX + " W64 " + longX + " H48 Cmono16 " + longX + "\n", 64, 48, "gray16le", 0, 0, 0, 0,
         '?', 3},
        {"YUV4MPEG2 W8 H8 Cmono\n", 8, 8, "gray", 0, 0, 0, 0, '?', 0},
        {"YUV4MPEG2 W8 H8 C411 Ib\n", 8, 8, "yuv411p", 0, 0, 0, 0, 'b', 0},
        {"YUV4MPEG2 W8 H8 C444p16 Im\n", 8, 8, "yuv444p16le", 0, 0, 0, 0, 'm', 0},
        // Spaces doubled, and a field letter Y4M may add later, are passed over.
        {"YUV4MPEG2  W8  H8 Z9 \n", 8, 8, "yuv420p", 0, 0, 0, 0, '?', 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Y4mHeader header;
        std::string error;
        // What follows the header is not read.
        ASSERT_EQ(parse(c.text + "FRAME\n\x01\x02", &header, &error), Y4M_HEADER_READ) << error;
        EXPECT_EQ(header.width, c.width);
        EXPECT_EQ(header.height, c.height);
        EXPECT_STREQ(header.geometry.format->name, c.format);
        EXPECT_EQ(header.geometry.width, c.width);
        EXPECT_EQ(header.geometry.rounding, CHROMA_ROUNDED_UP);
        EXPECT_EQ(header.frameBytes, frameBytes(&header.geometry));
        EXPECT_EQ(header.rateNumerator, c.rateN);
        EXPECT_EQ(header.rateDenominator, c.rateD);
        EXPECT_EQ(header.aspectNumerator, c.aspectN);
        EXPECT_EQ(header.aspectDenominator, c.aspectD);
        EXPECT_EQ(header.interlacing, c.interlacing);
        EXPECT_EQ(header.headerBytes, int64_t(c.text.size()));
        EXPECT_EQ(header.extensionCount, c.extensions);
        for (int i = 0; i < c.extensions; ++i)
            EXPECT_EQ(c.text[size_t(header.extensions[i].offset)], 'X');
    }
    Y4mHeader header;
    std::string error;
    ASSERT_EQ(parse("YUV4MPEG2 W4 H4 " + longX + "\n", &header, &error), Y4M_HEADER_READ);
    EXPECT_EQ(header.extensions[0].offset, 16);
    EXPECT_EQ(header.extensions[0].length, int64_t(longX.size()));
}

TEST(Y4mHeader, RefusalsSayWhyInOneLine) {
    struct Case {
        std::string text;
        int status;
        const char* says;
    } cases[] = {
        {"YUV4MPEG2 H288 C420\n", Y4M_HEADER_BAD, "no width (W)"},
        {"YUV4MPEG2 W352\n", Y4M_HEADER_BAD, "no height (H)"},
        {"YUV4MPEG2 \n", Y4M_HEADER_BAD, "no width (W) or height (H)"},
        {"YUV4MPEG2 W352 H288 C420p14\n", Y4M_HEADER_BAD, "colour space '420p14'"},
        {"YUV4MPEG2 W352 H288 C\n", Y4M_HEADER_BAD, "colour space"},
        {"YUV4MPEG2 W352 H288 C\x01\xff\n", Y4M_HEADER_BAD, "colour space '\\x01\\xff'"},
        {"YUV4MPEG2 W352 H288\r\n", Y4M_HEADER_BAD, "'H288\\r' is malformed"},
        {"YUV4MPEG2 W352 H288 C420jpeg\r\n", Y4M_HEADER_BAD, "colour space '420jpeg\\r'"},
        {"YUV4MPEG2 W0 H288\n", Y4M_HEADER_BAD, "'W0' is malformed"},
        {"YUV4MPEG2 W-352 H288\n", Y4M_HEADER_BAD, "'W-352'"},
        {"YUV4MPEG2 W99999999999 H288\n", Y4M_HEADER_BAD, "malformed"},
        {"YUV4MPEG2 W352 H288 F25\n", Y4M_HEADER_BAD, "'F25'"},
        {"YUV4MPEG2 W352 H288 F-25:1\n", Y4M_HEADER_BAD, "'F-25:1'"},
        {"YUV4MPEG2 W352 H288 A1:1:1\n", Y4M_HEADER_BAD, "'A1:1:1'"},
        {"YUV4MPEG2 W352 H288 Ix\n", Y4M_HEADER_BAD, "'Ix'"},
        {"YUV4MPEG2 W352 W352 H288\n", Y4M_HEADER_BAD, "gives W twice"},
        {"YUV4MPEG2 W65536 H65536 C444p16\n", Y4M_HEADER_BAD, "too large"},
        {"YUV4MPEG2 W352 H288 Xthe-rest-never-comes", Y4M_HEADER_UNFINISHED, "does not end"},
        {"YUV4MP", Y4M_HEADER_UNFINISHED, "does not start with"},
        {"YUV4MPEG W352 H288\n", Y4M_HEADER_BAD, "does not start with"},
        {"YUV4MPEG2 W352 H288 " + std::string(40, 'C') + "\n", Y4M_HEADER_BAD, "'CCCCCCCCCCCCCCCC...'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        Y4mHeader header;
        std::string error;
        EXPECT_EQ(parse(c.text, &header, &error), c.status);
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos);
        EXPECT_EQ(header.width, 0); // nothing half-filled
    }
}

TEST(Y4mHeader, FrameHeadersWithAndWithoutParameters) {
    struct Case {
        std::string bytes;
        int64_t length;
    } cases[] = {
        {"FRAME\n", 6},
        {"FRAME Ip XNOTE=" + std::string(100, 'n') + "\nYYYY", 116},
        {"FRAME  \n", 8},
        {"FRAMES\n", 0},
        {"frame\n", 0},
        {"YUV4MPEG2 ", 0},
        {"\nFRAME\n", 0},
        {"FRAM", -1}, // the marker so far, its end not yet read
        {"FRAME", -1},
        {"FRAME Ip", -1},
        {"", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(parseY4mFrameHeader(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size()),
                  c.length);
    }
}

TEST(Y4mHeader, FrameFoundByItsOffsetWhereTheMarkerIsWhereExpected) {
    EXPECT_EQ(y4mFrameOffset(47, 6, 152064, 0), 47);
    EXPECT_EQ(y4mFrameOffset(47, 6, 152064, 3), 47 + 3 * 152070);
    EXPECT_EQ(y4mFrameOffset(47, 6, 0, 5), 47 + 30);
    const int64_t most = (INT64_MAX - 47) / 2147483653;
    EXPECT_EQ(y4mFrameOffset(47, 6, 2147483647, most), 47 + most * 2147483653);
    EXPECT_EQ(y4mFrameOffset(47, 6, 2147483647, most + 1), -1);
    EXPECT_EQ(y4mFrameOffset(47, 6, 152064, -1), -1);

    const uint8_t plain[] = "FRAME\nabc";
    const uint8_t longer[] = "FRAME Ip\nabc";
    const uint8_t damaged[] = "FRAMF\nabc";
    EXPECT_TRUE(y4mFrameMarkerAt(plain, 9, 6));
    EXPECT_FALSE(y4mFrameMarkerAt(plain, 5, 6)); // cut short by the end of the file
    EXPECT_FALSE(y4mFrameMarkerAt(longer, 12, 6));
    EXPECT_TRUE(y4mFrameMarkerAt(longer, 12, 9));
    EXPECT_FALSE(y4mFrameMarkerAt(plain, 9, 9)); // a shorter header than the first one
    EXPECT_FALSE(y4mFrameMarkerAt(damaged, 9, 6));
    EXPECT_FALSE(y4mFrameMarkerAt(plain, 9, 0));
}

TEST(Y4mHeader, WrittenAsFfmpegWritesItAndReadBack) {
    struct Case {
        const char* format;
        const char* keep; // the input's own C, or nullptr
        int32_t rateN, rateD;
        const char* header;
    } cases[] = {
        {"yuv420p", nullptr, 25, 1, "YUV4MPEG2 W352 H288 F25:1 Ip A0:0 C420jpeg XYSCSS=420JPEG\n"},
        {"i420", "420mpeg2", 30000, 1001, "YUV4MPEG2 W352 H288 F30000:1001 Ip A0:0 C420mpeg2 XYSCSS=420MPEG2\n"},
        {"nv12", "420paldv", 25, 1, "YUV4MPEG2 W352 H288 F25:1 Ip A0:0 C420paldv XYSCSS=420PALDV\n"},
        {"yuv422p", "420mpeg2", 25, 1, "YUV4MPEG2 W352 H288 F25:1 Ip A0:0 C422 XYSCSS=422\n"},
        {"gray", nullptr, 25, 1, "YUV4MPEG2 W352 H288 F25:1 Ip A0:0 Cmono\n"},
        {"yuv420p10le", nullptr, 25, 1, "YUV4MPEG2 W352 H288 F25:1 Ip A0:0 C420p10 XYSCSS=420P10\n"},
        {"p010le", nullptr, 50, 1, "YUV4MPEG2 W352 H288 F50:1 Ip A0:0 C420p10 XYSCSS=420P10\n"},
        {"yuv422p12le", nullptr, 25, 1, "YUV4MPEG2 W352 H288 F25:1 Ip A0:0 C422p12 XYSCSS=422P12\n"},
        {"yuv444p16le", nullptr, 25, 1, "YUV4MPEG2 W352 H288 F25:1 Ip A0:0 C444p16 XYSCSS=444P16\n"},
        {"gray10le", nullptr, 25, 2, "YUV4MPEG2 W352 H288 F25:2 Ip A0:0 Cmono10\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        const FrameGeometry geometry = {findFrameFormat(c.format), 352, 288, CHROMA_ROUNDED_UP};
        const Y4mColour* keep = c.keep ? findY4mColour(c.keep, strlen(c.keep)) : nullptr;
        char text[128];
        const size_t length = buildY4mHeader(&geometry, keep, c.rateN, c.rateD, text, sizeof text);
        EXPECT_EQ(std::string(text, length), c.header);
        Y4mHeader header;
        std::string error;
        ASSERT_EQ(parse(text, &header, &error), Y4M_HEADER_READ);
        EXPECT_EQ(header.geometry.format, planarFormOf(geometry.format));
        EXPECT_EQ(header.rateNumerator, c.rateN);
        EXPECT_EQ(header.headerBytes, int64_t(length));
    }
    const FrameGeometry geometry = {findFrameFormat("yuv420p"), 352, 288, CHROMA_ROUNDED_UP};
    char text[128];
    EXPECT_EQ(buildY4mHeader(&geometry, nullptr, 0, 1, text, sizeof text), 0u);
    EXPECT_EQ(buildY4mHeader(&geometry, nullptr, 25, 1, text, 20), 0u);
    EXPECT_EQ(strlen(y4mFrameHeader), size_t(Y4M_FRAME_HEADER_BYTES));
}

} // namespace
