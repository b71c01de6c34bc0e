#include <gtest/gtest.h>

#include <vector>

#include "render/colour.h"
#include "tests/test_files.h"

namespace {

void expectRgb(int y, int u, int v, int red, int green, int blue) {
    Rgb rgb = yuvToRgb(static_cast<uint8_t>(y), static_cast<uint8_t>(u), static_cast<uint8_t>(v));
    EXPECT_EQ(rgb.red, red) << y << "," << u << "," << v;
    EXPECT_EQ(rgb.green, green) << y << "," << u << "," << v;
    EXPECT_EQ(rgb.blue, blue) << y << "," << u << "," << v;
}

TEST(YuvToRgb, WorkedValues) {
    expectRgb(128, 128, 128, 128, 128, 128);
    expectRgb(255, 128, 255, 255, 164, 255); // green uses the unclamped red
    expectRgb(81, 90, 240, 238, 14, 14);
    expectRgb(0, 0, 0, 0, 136, 0);
    expectRgb(145, 54, 34, 13, 238, 14);
    expectRgb(41, 240, 110, 16, 15, 239);
}

TEST(YuvToRgb, NeutralChromaIsGrey) {
    for (int y = 0; y < 256; ++y) expectRgb(y, 128, 128, y, y, y);
}

TEST(ClampByte, Limits) {
    EXPECT_EQ(clampByte(-1), 0);
    EXPECT_EQ(clampByte(INT32_MIN), 0);
    EXPECT_EQ(clampByte(0), 0);
    EXPECT_EQ(clampByte(200), 200);
    EXPECT_EQ(clampByte(255), 255);
    EXPECT_EQ(clampByte(256), 255);
}

TEST(PictureStride, RowsPadToFourBytes) {
    EXPECT_EQ(pictureStride(352, 24), 1056);
    EXPECT_EQ(pictureStride(350, 24), 1052);
    EXPECT_EQ(pictureStride(6, 24), 20);
    EXPECT_EQ(pictureStride(531, 8), 532);
    EXPECT_EQ(pictureStride(528, 8), 528);
    EXPECT_EQ(pictureStride(1, 24), 4);
}

// The chroma sample a pixel should use, worked out from the file layout alone.
struct Expected {
    const std::vector<uint8_t>& frame;
    int w, h, cw, ch, hf, vf;
    Rgb at(int r, int c) const {
        uint8_t u = 128, v = 128;
        if (cw > 0 && ch > 0) {
            int cr = std::min(r / vf, ch - 1), cc = std::min(c / hf, cw - 1);
            u = frame[w * h + cr * cw + cc];
            v = frame[w * h + cw * ch + cr * cw + cc];
        }
        return yuvToRgb(frame[r * w + c], u, v);
    }
};

constexpr uint8_t PAD = 0xA5;

// Builds into a buffer of exactly stride x height, padding pre-filled, so the
// sanitizer sees any write past the picture and the test sees any padding write.
std::vector<uint8_t> colourPicture(const VideoFile& video) {
    std::vector<uint8_t> bits(static_cast<size_t>(pictureStride(video.width, 24) * video.height), PAD);
    buildColourPicture(&video, video.format, bits.data());
    return bits;
}

TEST(ColourPicture, EveryFormatAndSizeMatchesTheFileLayout) {
    const int sizes[][2] = {{1, 1}, {2, 2}, {3, 3}, {5, 3}, {6, 2}, {7, 5},
                            {16, 9}, {17, 8}, {33, 7}, {64, 4}, {65, 3}};
    uint32_t start = 1;
    for (const ChromaFormat& format : chromaFormats) {
        for (const auto& size : sizes) {
            const int w = size[0], h = size[1];
            const int cw = w / format.horizontalFactor, ch = h / format.verticalFactor;
            std::vector<uint8_t> frame = randomBytes(size_t(w * h + 2 * cw * ch), start++);
            VideoFile video;
            ASSERT_TRUE(openFrameBytes(&video, frame, w, h, format.code));
            std::vector<uint8_t> bits = colourPicture(video);
            std::vector<uint8_t> reference(bits.size(), PAD);
            buildColourPictureReference(&video, video.format, reference.data());
            EXPECT_EQ(bits, reference) << format.name << " " << w << "x" << h;

            Expected expected{frame, w, h, cw, ch, format.horizontalFactor, format.verticalFactor};
            const int64_t stride = pictureStride(w, 24);
            for (int r = 0; r < h; ++r) {
                for (int c = 0; c < w; ++c) {
                    Rgb rgb = expected.at(r, c);
                    const uint8_t* p = &bits[r * stride + 3 * c];
                    ASSERT_EQ(p[0], rgb.blue) << format.name << " " << w << "x" << h << " " << r << "," << c;
                    ASSERT_EQ(p[1], rgb.green);
                    ASSERT_EQ(p[2], rgb.red);
                }
                for (int64_t i = 3 * w; i < stride; ++i) ASSERT_EQ(bits[r * stride + i], PAD);
            }
            closeVideo(&video);
        }
    }
}

TEST(ColourPicture, ChromaSharing) {
    // 4 x 4: 4:2:0 shares one sample among a 2 x 2 block; 4:2:2 rows differ.
    std::vector<uint8_t> frame(16 + 8, 128);
    for (int i = 0; i < 16; ++i) frame[i] = 100;
    VideoFile video;
    // U plane of 4:2:0 is 2 x 2: sample 0 = 60, others 200.
    frame[16] = 60;
    frame[17] = frame[18] = frame[19] = 200;
    ASSERT_TRUE(openFrameBytes(&video, frame, 4, 4, 420));
    std::vector<uint8_t> bits = colourPicture(video);
    const int64_t stride = pictureStride(4, 24);
    for (int r : {0, 1})
        for (int c : {0, 1}) EXPECT_EQ(bits[r * stride + 3 * c], bits[0]) << r << "," << c;
    EXPECT_NE(bits[0 * stride + 3 * 2], bits[0]);
    EXPECT_NE(bits[2 * stride], bits[0]);
    closeVideo(&video);

    // 4:2:2, 4 x 2: U plane 2 x 2 with rows 60 and 200.
    std::vector<uint8_t> frame422(8 + 8, 128);
    frame422[8] = frame422[9] = 60;
    frame422[10] = frame422[11] = 200;
    ASSERT_TRUE(openFrameBytes(&video, frame422, 4, 2, 422));
    bits = colourPicture(video);
    EXPECT_NE(bits[0], bits[pictureStride(4, 24)]);
    closeVideo(&video);
}

TEST(ColourPicture, OddSizesTakeVWhereTheFileHoldsIt) {
    // 5 x 3 at 4:2:0: luma 15, U 2 x 1 at 15, V 2 x 1 at 17. The old
    // lumaSize + lumaSize / 4 would put V at 18, inside nothing.
    std::vector<uint8_t> frame(19, 128);
    frame[17] = frame[18] = 240; // V: strong red
    VideoFile video;
    ASSERT_TRUE(openFrameBytes(&video, frame, 5, 3, 420));
    std::vector<uint8_t> bits = colourPicture(video);
    Rgb red = yuvToRgb(128, 128, 240);
    const int64_t stride = pictureStride(5, 24);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 5; ++c) ASSERT_EQ(bits[r * stride + 3 * c + 2], red.red) << r << "," << c;
    closeVideo(&video);
}

TEST(ColourPicture, EmptyGeometryDrawsNothing) {
    std::vector<uint8_t> bits(16, PAD);
    VideoFile video;
    clearVideo(&video);
    buildColourPicture(&video, &chromaFormats[0], bits.data());
    EXPECT_EQ(bits, std::vector<uint8_t>(16, PAD));
}

} // namespace
