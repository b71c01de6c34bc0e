#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include "render/colour.h"
#include "render/separate.h"
#include "tests/test_files.h"
#include "tools/snap.h"
#include "video/video_file.h"

namespace {

int runSnap(std::vector<std::string> args) {
    args.insert(args.begin(), "corvane-snap");
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    return snapMain(static_cast<int>(args.size()), argv.data());
}

std::vector<uint8_t> readFile(const std::string& path) {
    std::vector<uint8_t> bytes;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) return bytes;
    uint8_t buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
    fclose(file);
    return bytes;
}

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

// The picture in a bottom-up BMP, turned back to top-down rows at `stride`.
std::vector<uint8_t> bmpPicture(const std::vector<uint8_t>& bmp, int* width, int* height, int* bits) {
    EXPECT_EQ(bmp.at(0), 'B');
    EXPECT_EQ(bmp.at(1), 'M');
    EXPECT_EQ(le32(bmp, 2), bmp.size());
    *width = int(le32(bmp, 18));
    *height = int(le32(bmp, 22));
    *bits = bmp[28];
    const size_t offset = le32(bmp, 10);
    const int64_t stride = pictureStride(*width, *bits);
    std::vector<uint8_t> top(size_t(stride * *height));
    for (int r = 0; r < *height; ++r)
        std::copy_n(&bmp[offset + size_t(*height - 1 - r) * stride], stride, &top[size_t(r) * stride]);
    return top;
}

// The frame the core shows for `frame` (or the last, for -1), in the view asked.
std::vector<uint8_t> corePicture(const std::string& path, int w, int h, int code, int64_t frame,
                                 bool separate) {
    VideoFile video;
    clearVideo(&video);
    EXPECT_TRUE(openVideo(&video, path.c_str(), w, h, code, 40));
    if (frame < 0) seekLastFrame(&video);
    else EXPECT_TRUE(seekFrame(&video, frame));
    int64_t pictureWidth = separate ? separatePictureWidth(&video) : w;
    std::vector<uint8_t> bits(size_t(pictureStride(pictureWidth, separate ? 8 : 24) * h), 0);
    if (separate) buildSeparatePicture(&video, bits.data());
    else buildColourPicture(&video, video.format, bits.data());
    closeVideo(&video);
    return bits;
}

TEST(Snap, RoundTripInBothViews) {
    const std::string clip = scratchPath("clip_36x20.yuv");
    ASSERT_EQ(runSnap({"--make-sample", "36x20", "5", clip}), 0);
    EXPECT_EQ(std::filesystem::file_size(clip), 5u * (36 * 20 + 2 * 18 * 10));

    struct Case {
        const char* frame;
        int64_t index;
        bool separate;
    } cases[] = {{"0", 0, false}, {"last", -1, false}, {"3", 3, true}, {"last", -1, true}};
    for (const Case& c : cases) {
        const std::string out = scratchPath("snap.bmp");
        std::vector<std::string> args = {"--size", "36x20", "--frame", c.frame, clip, out};
        if (c.separate) args.insert(args.begin(), "--separate");
        ASSERT_EQ(runSnap(args), 0) << c.frame;
        int width, height, bits;
        std::vector<uint8_t> picture = bmpPicture(readFile(out), &width, &height, &bits);
        EXPECT_EQ(width, c.separate ? 54 : 36);
        EXPECT_EQ(height, 20);
        EXPECT_EQ(bits, c.separate ? 8 : 24);
        EXPECT_EQ(picture, corePicture(clip, 36, 20, 420, c.index, c.separate)) << c.frame;
        if (c.separate) {
            std::vector<uint8_t> bmp = readFile(out);
            EXPECT_EQ(bmp[54 + 4 * 200], 200); // the grey ramp is the palette
        }
    }
}

TEST(Snap, SampleClipMovesFromFrameToFrame) {
    const std::string clip = scratchPath("moving.yuv");
    ASSERT_EQ(runSnap({"--make-sample", "64x48", "3", "--format", "422", clip}), 0);
    EXPECT_NE(corePicture(clip, 64, 48, 422, 0, false), corePicture(clip, 64, 48, 422, 2, false));
}

TEST(Snap, ErrorsExitTwoAndLeaveNoOutput) {
    const std::string clip = scratchPath("errors.yuv");
    ASSERT_EQ(runSnap({"--make-sample", "16x8", "2", clip}), 0);
    const std::string out = scratchPath("never.bmp");
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"--size", "16x8", clip},
        {"--size", "16by8", clip, out},
        {"--size", "0x8", clip, out},
        {"--size", "-4x8", clip, out},
        {"--size", "16x8", "--format", "421", clip, out},
        {"--size", "16x8", "--frame", "-1", clip, out},
        {"--size", "16x8", "--frame", "2", clip, out},
        {"--size", "16x8", "--frame", "x", clip, out},
        {"--size", "16x8", "--bogus", clip, out},
        {"--size", "16x8", scratchPath("absent.yuv"), out},
        {"--size", "99999x99999", clip, out},
        {"--size", "64x64", "--frame", "last", clip, out},
        {"--size", "16x8", clip, scratchPath("no/such/folder/out.bmp")},
        {"--make-sample", "0x8", "2", out},
        {"--make-sample", "16x8", "none", out},
    };
    for (const auto& args : bad) {
        EXPECT_EQ(runSnap(args), 2) << (args.empty() ? "" : args.back());
        EXPECT_FALSE(std::filesystem::exists(out));
    }
}

} // namespace
