#include <gtest/gtest.h>

#include <vector>

#include "render/colour.h"
#include "render/separate.h"
#include "snap/format/narrow.h"
#include "tests/test_files.h"

namespace {

std::vector<uint8_t> narrowed(const FrameGeometry& geometry, const std::vector<uint8_t>& frame) {
    EXPECT_EQ(int64_t(frame.size()), frameBytes(&geometry));
    std::vector<uint8_t> out(size_t(narrowFrameBytes(&geometry)), 0xA5);
    EXPECT_TRUE(narrowFrame(&geometry, frame.data(), out.data()));
    return out;
}

std::vector<uint8_t> colourPicture(const FrameGeometry& geometry, std::vector<uint8_t>* bytes) {
    VideoFile view;
    EXPECT_TRUE(narrowView(&geometry, bytes->data(), &view));
    EXPECT_FALSE(videoIsOpen(&view));
    std::vector<uint8_t> bits(size_t(pictureStride(view.width, 24) * view.height), 0);
    buildColourPicture(&view, view.format, bits.data());
    return bits;
}

// 16-bit little-endian words of `samples`, each shifted left by `shift`.
std::vector<uint8_t> words(const std::vector<uint8_t>& samples, int toDepth, int shift) {
    std::vector<uint8_t> out;
    for (uint8_t s : samples) {
        // v << (d - 8) with the most low bits that still round down to v.
        const uint32_t low = (1u << (toDepth - 9)) - 1;
        const uint32_t deep = (uint32_t{s} << (toDepth - 8) | low) << shift;
        out.push_back(uint8_t(deep & 255));
        out.push_back(uint8_t(deep >> 8));
    }
    return out;
}

TEST(Narrow, RoundsDeepSamplesToEightBits) {
    struct Case {
        uint32_t value;
        int depth;
        uint8_t narrow;
    } cases[] = {
        {0, 10, 0},      {1, 10, 0},     {2, 10, 1},     {5, 10, 1},      {6, 10, 2},
        {1017, 10, 254}, {1018, 10, 255}, {1023, 10, 255}, {65535, 10, 255}, // beyond 10 bits: clamped
        {7, 12, 0},      {8, 12, 1},     {4087, 12, 255}, {4095, 12, 255},
        {127, 16, 0},    {128, 16, 1},   {65151, 16, 254}, {65152, 16, 255}, {65535, 16, 255},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(narrowSample(c.value, c.depth), c.narrow) << c.value << " at " << c.depth << " bits";
        // In a file, as a little-endian word at an odd address.
        const uint8_t stored[3] = {0, uint8_t(c.value & 255), uint8_t(c.value >> 8)};
        uint8_t out = 0;
        narrowRow(stored + 1, &out, 1, c.depth, 0);
        EXPECT_EQ(out, c.narrow);
    }
    // p010le: the sample is in the top 10 bits; the low 6 are not read.
    const uint8_t p010[2] = {uint8_t(((1018u << 6) | 63) & 255), uint8_t(1018u >> 2)};
    uint8_t out = 0;
    narrowRow(p010, &out, 1, 10, 6);
    EXPECT_EQ(out, 255);
    const uint8_t low[2] = {uint8_t(((5u << 6) | 63) & 255), uint8_t(((5u << 6) | 63) >> 8)};
    narrowRow(low, &out, 1, 10, 6);
    EXPECT_EQ(out, 1);
}

// Every layout holding the same 8-bit frame narrows to it, and so gives the
// viewer's picture of it: deep words rounding back to each byte, NV12/NV21
// interleaved, p010 in its top bits. Odd sizes, both roundings.
TEST(Narrow, EveryLayoutOfOneFrameGivesTheSamePlanarFrame) {
    const int32_t sizes[][2] = {{8, 4}, {7, 5}, {1, 1}, {5, 2}};
    const int roundings[] = {CHROMA_ROUNDED_DOWN, CHROMA_ROUNDED_UP};
    for (const auto& size : sizes) {
        for (int rounding : roundings) {
            const FrameGeometry planar = {findFrameFormat("yuv420p"), size[0], size[1], rounding};
            FramePlanes p;
            ASSERT_TRUE(framePlanes(&planar, &p));
            const std::vector<uint8_t> frame = randomBytes(size_t(p.frameBytes), uint32_t(size[0] * 10 + rounding));
            const std::vector<uint8_t> y(frame.begin(), frame.begin() + p.offset[1]);
            const std::vector<uint8_t> u(frame.begin() + p.offset[1], frame.begin() + p.offset[2]);
            const std::vector<uint8_t> v(frame.begin() + p.offset[2], frame.end());
            ASSERT_TRUE(frameIsNarrow(&planar));
            std::vector<uint8_t> reference = frame;
            const std::vector<uint8_t> picture = colourPicture(planar, &reference);
            if (rounding == CHROMA_ROUNDED_DOWN) { // raw: the viewer's own picture of the file
                VideoFile video;
                ASSERT_TRUE(openFrameBytes(&video, frame, size[0], size[1], 420));
                std::vector<uint8_t> viewer(picture.size(), 0);
                buildColourPicture(&video, video.format, viewer.data());
                EXPECT_EQ(picture, viewer);
                closeVideo(&video);
            }

            struct Layout {
                const char* format;
                std::vector<uint8_t> bytes;
            };
            std::vector<Layout> layouts;
            for (int depth : {10, 12, 16}) {
                std::vector<uint8_t> all = words(y, depth, 0);
                for (const std::vector<uint8_t>* plane : {&u, &v}) {
                    const std::vector<uint8_t> w = words(*plane, depth, 0);
                    all.insert(all.end(), w.begin(), w.end());
                }
                layouts.push_back({depth == 10 ? "yuv420p10le" : depth == 12 ? "yuv420p12le" : "yuv420p16le", all});
            }
            std::vector<uint8_t> uv, vu;
            for (size_t i = 0; i < u.size(); ++i) {
                uv.insert(uv.end(), {u[i], v[i]});
                vu.insert(vu.end(), {v[i], u[i]});
            }
            std::vector<uint8_t> nv12 = y, nv21 = y;
            nv12.insert(nv12.end(), uv.begin(), uv.end());
            nv21.insert(nv21.end(), vu.begin(), vu.end());
            layouts.push_back({"nv12", nv12});
            layouts.push_back({"nv21", nv21});
            std::vector<uint8_t> p010 = words(y, 10, 6);
            const std::vector<uint8_t> p010uv = words(uv, 10, 6);
            p010.insert(p010.end(), p010uv.begin(), p010uv.end());
            layouts.push_back({"p010le", p010});

            for (const Layout& layout : layouts) {
                SCOPED_TRACE(testing::Message() << layout.format << " " << size[0] << "x" << size[1]
                                                << (rounding == CHROMA_ROUNDED_UP ? " up" : " down"));
                const FrameGeometry geometry = {findFrameFormat(layout.format), size[0], size[1], rounding};
                EXPECT_FALSE(frameIsNarrow(&geometry));
                std::vector<uint8_t> out = narrowed(geometry, layout.bytes);
                EXPECT_EQ(out, frame);
                EXPECT_EQ(colourPicture(geometry, &out), picture);
                // Stored planar at its own depth, as a Y4M stream holds it.
                std::vector<uint8_t> planarForm(layout.bytes.size(), 0xA5);
                const bool split = planarFrame(&geometry, layout.bytes.data(), planarForm.data()) != 0;
                EXPECT_EQ(split, planarFormOf(geometry.format) != geometry.format);
                if (split) {
                    EXPECT_EQ(planarForm, geometry.format->depth == 8 ? frame : layouts[0].bytes);
                }
            }
        }
    }
}

TEST(Narrow, Y4mOddSizeShowsItsOwnLastChromaSamples) {
    // 5x3 4:2:0 rounded up has 3x2 chroma: the last column and row have
    // their own samples, which the picture must show.
    const FrameGeometry geometry = {findFrameFormat("yuv420p"), 5, 3, CHROMA_ROUNDED_UP};
    std::vector<uint8_t> frame(15, 100);
    const uint8_t u[6] = {128, 128, 30, 128, 128, 200};
    const uint8_t v[6] = {128, 128, 220, 128, 128, 40};
    frame.insert(frame.end(), u, u + 6);
    frame.insert(frame.end(), v, v + 6);
    std::vector<uint8_t> out = narrowed(geometry, frame);
    const std::vector<uint8_t> bits = colourPicture(geometry, &out);
    const int64_t stride = pictureStride(5, 24);
    const Rgb topRight = yuvToRgb(100, 30, 220), bottomRight = yuvToRgb(100, 200, 40);
    EXPECT_EQ(bits[12 + 2], topRight.red);
    EXPECT_EQ(bits[12 + 0], topRight.blue);
    EXPECT_EQ(bits[2 * stride + 12 + 2], bottomRight.red);
    EXPECT_EQ(bits[2 * stride + 12 + 0], bottomRight.blue);
}

TEST(Narrow, GreyHasMidGreyChroma) {
    const FrameGeometry geometry = {findFrameFormat("gray10le"), 5, 3, CHROMA_ROUNDED_DOWN};
    std::vector<uint8_t> stored;
    for (int i = 0; i < 15; ++i) stored.insert(stored.end(), {uint8_t((i * 68) & 255), uint8_t((i * 68) >> 8)});
    std::vector<uint8_t> out = narrowed(geometry, stored);
    ASSERT_EQ(out.size(), 15u + 2 * 3 * 2);
    for (int i = 0; i < 15; ++i) EXPECT_EQ(out[size_t(i)], narrowSample(uint32_t(i * 68), 10));
    for (size_t i = 15; i < out.size(); ++i) EXPECT_EQ(out[i], 128);
    // The separate view's chroma fields are mid-grey on every row, odd height too.
    VideoFile view;
    ASSERT_TRUE(narrowView(&geometry, out.data(), &view));
    const int64_t width = separatePictureWidth(&view), stride = pictureStride(width, 8);
    std::vector<uint8_t> separate(size_t(stride * 3), 0);
    buildSeparatePicture(&view, separate.data());
    for (int r = 0; r < 3; ++r)
        for (int64_t c = 5; c < width; ++c) EXPECT_EQ(separate[size_t(r * stride + c)], 128) << r << "," << c;
}

} // namespace
