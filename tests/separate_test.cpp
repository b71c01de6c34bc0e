#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "render/colour.h"
#include "render/separate.h"
#include "snap/writer/picture.h"
#include "tests/test_files.h"

namespace {

constexpr uint8_t PAD = 0xA5;

std::vector<uint8_t> separatePicture(const VideoFile& video) {
    int64_t stride = pictureStride(separatePictureWidth(&video), 8);
    std::vector<uint8_t> bits(static_cast<size_t>(stride * video.height), PAD);
    buildSeparatePicture(&video, bits.data());
    return bits;
}

// A frame whose every plane is recognisable: Y = 1.., U = 101.., V = 181.. by row.
std::vector<uint8_t> planeFrame(int w, int h, int cw, int ch) {
    std::vector<uint8_t> frame;
    for (int r = 0; r < h; ++r) frame.insert(frame.end(), size_t(w), uint8_t(1 + r % 90));
    for (int r = 0; r < ch; ++r) frame.insert(frame.end(), size_t(cw), uint8_t(101 + r % 70));
    for (int r = 0; r < ch; ++r) frame.insert(frame.end(), size_t(cw), uint8_t(181 + r % 70));
    return frame;
}

TEST(GreyRamp, EntryIsItsOwnGrey) {
    uint8_t table[1024];
    greyRamp(table);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(table[4 * i], i);
        EXPECT_EQ(table[4 * i + 1], i);
        EXPECT_EQ(table[4 * i + 2], i);
        EXPECT_EQ(table[4 * i + 3], 0);
    }
}

TEST(SeparatePicture, PlanesSideBySide) {
    struct Case {
        int w, h, code, pictureWidth, stride;
    } cases[] = {
        {352, 288, 420, 528, 528}, {176, 144, 420, 264, 264}, {354, 8, 420, 531, 532},
        {6, 5, 420, 9, 12},        {5, 4, 420, 7, 8},         {8, 6, 422, 12, 12},
        {8, 4, 444, 12, 12},       {8, 4, 411, 12, 12},       {1, 1, 420, 1, 4},
        // Rows of 16 to 66 bytes: whole and partial 16- and 32-byte copies.
        {32, 4, 420, 48, 48},      {33, 3, 420, 49, 52},      {47, 2, 444, 70, 72},
        {66, 2, 422, 99, 100},     {16, 2, 444, 24, 24},      {600, 2, 420, 900, 900},
    };
    for (const Case& c : cases) {
        const ChromaFormat* format = findChromaFormat(c.code);
        const int cw = c.w / format->horizontalFactor, ch = c.h / format->verticalFactor;
        std::vector<uint8_t> frame = planeFrame(c.w, c.h, cw, ch);
        VideoFile video;
        ASSERT_TRUE(openFrameBytes(&video, frame, c.w, c.h, c.code));
        ASSERT_EQ(separatePictureWidth(&video), c.pictureWidth);
        ASSERT_EQ(pictureStride(c.pictureWidth, 8), c.stride);
        std::vector<uint8_t> bits = separatePicture(video);
        const int half = c.h / 2, column = c.pictureWidth - c.w;
        for (int r = 0; r < c.h; ++r) {
            const uint8_t* row = &bits[size_t(r) * c.stride];
            for (int x = 0; x < c.w; ++x) ASSERT_EQ(row[x], 1 + r % 90) << c.w << "x" << c.h;
            const int chromaRow = r < half ? r : r - half;
            const int base = r < half ? 101 : 181;
            for (int x = 0; x < column; ++x) {
                int expected = chromaRow < ch && x < cw ? base + chromaRow % 70 : 0;
                ASSERT_EQ(row[c.w + x], expected) << c.code << " " << c.w << "x" << c.h << " row " << r << " x " << x;
            }
            for (int x = c.pictureWidth; x < c.stride; ++x) ASSERT_EQ(row[x], PAD);
        }
        closeVideo(&video);
    }
}

TEST(SeparatePicture, FourTwoTwoShowsTheTopHalvesOfUAndV) {
    const int w = 8, h = 6;
    std::vector<uint8_t> frame = planeFrame(w, h, 4, 6);
    VideoFile video;
    ASSERT_TRUE(openFrameBytes(&video, frame, w, h, 422));
    std::vector<uint8_t> bits = separatePicture(video);
    EXPECT_EQ(bits[0 * 12 + 8], 101);     // U row 0
    EXPECT_EQ(bits[2 * 12 + 8], 103);     // U row 2
    EXPECT_EQ(bits[3 * 12 + 8], 181);     // V row 0
    EXPECT_EQ(bits[5 * 12 + 11], 183);    // V row 2
    closeVideo(&video);
}

// corvane-snap's separate view shows every chroma sample of the layout read:
// 4:2:0 rounded up at an odd side stacks U above V in a column as wide as
// the planes, one row taller than an odd height; the viewer's layout and
// the other formats keep the viewer's picture.
TEST(SeparatePicture, SnapShowsEveryChromaSampleAtOddSizes) {
    struct Case {
        const char* format;
        int w, h, rounding, pictureWidth, pictureHeight;
    } cases[] = {
        {"yuv420p", 5, 3, CHROMA_ROUNDED_UP, 8, 4},   {"yuv420p", 6, 3, CHROMA_ROUNDED_UP, 9, 4},
        {"yuv420p", 5, 4, CHROMA_ROUNDED_UP, 8, 4},   {"yuv420p", 5, 3, CHROMA_ROUNDED_DOWN, 7, 3},
        {"yuv420p", 6, 4, CHROMA_ROUNDED_UP, 9, 4},   {"gray", 5, 3, CHROMA_ROUNDED_UP, 7, 3},
        {"yuv422p", 5, 3, CHROMA_ROUNDED_UP, 11, 3},  {"nv12", 5, 3, CHROMA_ROUNDED_UP, 8, 4},
        {"yuv420p10le", 5, 3, CHROMA_ROUNDED_UP, 8, 4},
    };
    for (const Case& c : cases) {
        WriterContext context = WriterContext();
        context.geometry = {findFrameFormat(c.format), c.w, c.h, c.rounding};
        context.separate = 1;
        FramePlanes planes;
        ASSERT_TRUE(framePlanes(&context.geometry, &planes));
        std::vector<uint8_t> frame = randomBytes(size_t(planes.frameBytes), 7);
        WriterOutput out;
        int32_t width = 0, height = 0;
        ASSERT_TRUE(buildPicture(&context, frame.data(), &out, &width, &height, 0)) << c.format;
        EXPECT_EQ(width, c.pictureWidth) << c.format << " " << c.w << "x" << c.h;
        EXPECT_EQ(height, c.pictureHeight) << c.format << " " << c.w << "x" << c.h;
        EXPECT_EQ(exportPictureHeight(&context.geometry, 1), c.pictureHeight);
        if (std::string(c.format) != "yuv420p" || c.pictureHeight == c.h) continue;
        // Stacked: every U and V sample where it belongs, black under the last luma row.
        const int64_t stride = pictureStride(width, 8), cw = planes.chromaWidth, ch = planes.chromaHeight;
        for (int64_t r = 0; r < height; ++r)
            for (int64_t x = 0; x < cw; ++x) {
                const int plane = r < ch ? 1 : 2;
                const int64_t row = r < ch ? r : r - ch;
                ASSERT_EQ(out.pixels[size_t(r * stride + c.w + x)], frame[size_t(planes.offset[plane] + row * cw + x)]);
            }
        for (int64_t x = 0; x < c.w; ++x) EXPECT_EQ(out.pixels[size_t((height - 1) * stride + x)], 0);
    }
}

} // namespace
