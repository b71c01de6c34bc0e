#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <algorithm>
#include <filesystem>
#include <vector>

#include "tests/test_files.h"
#include "video/video_file.h"

namespace {

// 16 x 8 at 4:2:0: 128 + 2 * 32 = 192 bytes a frame.
constexpr int32_t W = 16, H = 8, FRAME = 192;

struct OpenVideo {
    VideoFile video;
    explicit OpenVideo(const std::string& path, int32_t width = W, int32_t height = H,
                       int32_t code = 420) {
        clearVideo(&video);
        EXPECT_TRUE(openVideo(&video, path.c_str(), width, height, code, 40)) << path;
    }
    ~OpenVideo() { closeVideo(&video); }
    int64_t shown() const { return numberInFrame(video.frameBuffer); }
};

bool recordIsClear(const VideoFile& video) {
    VideoFile clear;
    memset(&clear, 0, sizeof clear);
    return memcmp(&video, &clear, sizeof clear) == 0;
}

TEST(ChromaFormatTable, RowsInOrderWithTheirFactors) {
    ASSERT_EQ(chromaFormats[0].code, 420);
    EXPECT_STREQ(chromaFormats[1].name, "4:2:2");
    EXPECT_EQ(chromaFormats[2].horizontalFactor, 4);
    EXPECT_EQ(chromaFormats[3].verticalFactor, 1);
    EXPECT_EQ(findChromaFormat(444), &chromaFormats[3]);
    EXPECT_EQ(findChromaFormat(421), nullptr);
}

TEST(OpenVideo, FrameSizesFollowTheFormat) {
    std::string path = writeNumberedFile("sizes.yuv", 64, 1);
    struct Case {
        int32_t width, height, code, chromaWidth, chromaHeight, frameBytes;
    } cases[] = {
        {352, 288, 420, 176, 144, 152064}, {176, 144, 422, 88, 144, 50688},
        {16, 4, 411, 4, 4, 96},            {6, 2, 444, 6, 2, 36},
        {5, 3, 420, 2, 1, 19},             {0, 288, 420, 0, 144, 0},
    };
    for (const Case& c : cases) {
        OpenVideo open(path, c.width, c.height, c.code);
        EXPECT_EQ(open.video.chromaWidth, c.chromaWidth) << c.width << "x" << c.height;
        EXPECT_EQ(open.video.chromaHeight, c.chromaHeight);
        EXPECT_EQ(open.video.frameBytes, c.frameBytes);
        EXPECT_EQ(open.video.frameIndex, -1);
        EXPECT_EQ(open.video.format->code, c.code);
        EXPECT_TRUE(videoIsOpen(&open.video));
    }
}

TEST(OpenVideo, GeometryThatCannotFormAFrameFailsWithTheRecordCleared) {
    std::string path = writeNumberedFile("geometry.yuv", 64, 1);
    struct Case {
        int32_t width, height, code;
    } cases[] = {
        {-5, 288, 420},   {352, -1, 420},       {99999, 99999, 420}, {INT32_MAX, 2, 420},
        {INT32_MAX, INT32_MAX, 444}, {46341, 46341, 444}, {352, 288, 421},
    };
    for (const Case& c : cases) {
        VideoFile video;
        clearVideo(&video);
        // A video already open is closed first, whatever happens to the new one.
        ASSERT_TRUE(openVideo(&video, path.c_str(), W, H, 420, 40));
        EXPECT_FALSE(openVideo(&video, path.c_str(), c.width, c.height, c.code, 40))
            << c.width << "x" << c.height << " " << c.code;
        EXPECT_TRUE(recordIsClear(video));
        EXPECT_FALSE(videoIsOpen(&video));
    }
}

TEST(OpenVideo, MissingFileFails) {
    VideoFile video;
    clearVideo(&video);
    EXPECT_FALSE(openVideo(&video, scratchPath("absent.yuv").c_str(), W, H, 420, 40));
    EXPECT_TRUE(recordIsClear(video));
}

TEST(OpenVideo, TitleIsAlwaysTerminated) {
    VideoFile video;
    clearVideo(&video);
    std::string longName(200, 'n');
    setVideoTitle(&video, longName.c_str());
    EXPECT_EQ(strlen(video.title), size_t{TITLE_SIZE - 1});
    setVideoTitle(&video, "clip.yuv");
    EXPECT_STREQ(video.title, "clip.yuv");
}

TEST(FrameMovement, TenFrameFile) {
    OpenVideo open(writeNumberedFile("ten.yuv", FRAME, 10));
    VideoFile& video = open.video;
    ASSERT_TRUE(readNextFrame(&video));
    EXPECT_EQ(video.frameIndex, 0);
    for (int k = 1; k < 10; ++k) {
        ASSERT_TRUE(readNextFrame(&video)) << k;
        EXPECT_EQ(video.frameIndex, k);
        EXPECT_EQ(open.shown(), k);
    }
    EXPECT_FALSE(readNextFrame(&video));
    EXPECT_EQ(video.frameIndex, 9);
    EXPECT_EQ(open.shown(), 9);
    EXPECT_FALSE(readNextFrame(&video));

    rewindVideo(&video);
    EXPECT_EQ(video.frameIndex, 0);
    EXPECT_EQ(open.shown(), 0);
    ASSERT_TRUE(readNextFrame(&video));
    EXPECT_EQ(open.shown(), 1);

    seekLastFrame(&video);
    EXPECT_EQ(video.frameIndex, 9);
    EXPECT_EQ(open.shown(), 9);
    EXPECT_FALSE(readNextFrame(&video));
}

TEST(FrameMovement, StepBackRewindsWhenTooFewFramesPrecede) {
    OpenVideo open(writeNumberedFile("twenty.yuv", FRAME, 20));
    VideoFile& video = open.video;
    for (int k = 0; k <= 4; ++k) readNextFrame(&video);
    stepBack(&video, 10);
    EXPECT_EQ(video.frameIndex, 0);
    EXPECT_EQ(open.shown(), 0);

    for (int k = 1; k <= 12; ++k) readNextFrame(&video);
    ASSERT_EQ(video.frameIndex, 12);
    stepBack(&video, 10);
    EXPECT_EQ(video.frameIndex, 2);
    EXPECT_EQ(open.shown(), 2);
    stepBack(&video, 1);
    EXPECT_EQ(open.shown(), 1);
    // The read position follows the frame in the buffer.
    ASSERT_TRUE(readNextFrame(&video));
    EXPECT_EQ(open.shown(), 2);
    EXPECT_EQ(video.frameIndex, 2);

    stepBack(&video, 2);
    EXPECT_EQ(video.frameIndex, 0);
    stepBack(&video, 1);
    EXPECT_EQ(video.frameIndex, 0);
}

TEST(FrameMovement, PartialTailIsNeverCountedNorShown) {
    OpenVideo open(writeNumberedFile("tail.yuv", FRAME, 3, FRAME / 2));
    VideoFile& video = open.video;
    for (int k = 0; k < 3; ++k) ASSERT_TRUE(readNextFrame(&video));
    EXPECT_FALSE(readNextFrame(&video));
    EXPECT_EQ(video.frameIndex, 2);
    // The buffer still holds all of frame 2, not the partial frame 3 over its front.
    std::vector<uint8_t> frame2(FRAME);
    fillNumberedFrame(frame2.data(), FRAME, 2);
    EXPECT_TRUE(std::equal(frame2.begin(), frame2.end(), video.frameBuffer));
    EXPECT_FALSE(readNextFrame(&video));
    EXPECT_TRUE(std::equal(frame2.begin(), frame2.end(), video.frameBuffer));
    stepBack(&video, 1);
    EXPECT_EQ(open.shown(), 1);
    ASSERT_TRUE(readNextFrame(&video));
    EXPECT_EQ(open.shown(), 2);

    // End: the last whole frame, with its own number.
    rewindVideo(&video);
    seekLastFrame(&video);
    EXPECT_EQ(video.frameIndex, 2);
    EXPECT_TRUE(std::equal(frame2.begin(), frame2.end(), video.frameBuffer));
    EXPECT_FALSE(readNextFrame(&video));
    EXPECT_EQ(video.frameIndex, 2);
}

TEST(FrameMovement, EmptyAndShortFiles) {
    OpenVideo empty(writeBytes("empty.yuv", {}));
    EXPECT_FALSE(readNextFrame(&empty.video));
    EXPECT_EQ(empty.video.frameIndex, -1);
    seekLastFrame(&empty.video);
    EXPECT_EQ(empty.video.frameIndex, -1);
    rewindVideo(&empty.video);
    EXPECT_EQ(empty.video.frameIndex, 0);

    OpenVideo shortFile(writeNumberedFile("short.yuv", FRAME, 0, 10));
    EXPECT_FALSE(readNextFrame(&shortFile.video));
    EXPECT_EQ(shortFile.video.frameIndex, -1);
    seekLastFrame(&shortFile.video);
    EXPECT_EQ(shortFile.video.frameIndex, -1);
}

TEST(FrameMovement, ZeroSizedFramesCountWithoutEnd) {
    OpenVideo open(writeNumberedFile("zero.yuv", FRAME, 2), 0, 288);
    for (int k = 0; k < 100; ++k) ASSERT_TRUE(readNextFrame(&open.video));
    EXPECT_EQ(open.video.frameIndex, 99);
    seekLastFrame(&open.video); // no last frame of nothing: stays put
    EXPECT_EQ(open.video.frameIndex, 99);
    stepBack(&open.video, 10);
    EXPECT_EQ(open.video.frameIndex, 89);

    // Counting stops at the largest frame number instead of overflowing.
    ASSERT_TRUE(seekFrame(&open.video, INT64_MAX));
    EXPECT_FALSE(readNextFrame(&open.video));
    EXPECT_EQ(open.video.frameIndex, INT64_MAX);
}

TEST(FrameMovement, FailedSeekKeepsTheFrameItNames) {
    OpenVideo open(writeNumberedFile("seek.yuv", FRAME, 4, FRAME / 3));
    VideoFile& video = open.video;
    ASSERT_TRUE(seekFrame(&video, 1));
    EXPECT_EQ(open.shown(), 1);
    // Frame 4 is partial and frame 9 lies past the end: neither is shown, and
    // the buffer still holds frame 1, whose number is kept.
    EXPECT_FALSE(seekFrame(&video, 4));
    EXPECT_EQ(video.frameIndex, 1);
    EXPECT_EQ(open.shown(), 1);
    EXPECT_FALSE(seekFrame(&video, 9));
    EXPECT_EQ(open.shown(), 1);
    ASSERT_TRUE(readNextFrame(&video));
    EXPECT_EQ(open.shown(), 2);
}

TEST(FrameMovement, NoVideoOpenLeavesTheRecordUnchanged) {
    VideoFile video;
    clearVideo(&video);
    EXPECT_FALSE(readNextFrame(&video));
    rewindVideo(&video);
    seekLastFrame(&video);
    stepBack(&video, 1);
    stepBack(&video, 10);
    EXPECT_FALSE(seekFrame(&video, 3));
    EXPECT_EQ(videoFileSize(&video), -1);
    EXPECT_TRUE(recordIsClear(video));

    // After a close as well.
    OpenVideo open(writeNumberedFile("closed.yuv", FRAME, 3));
    closeVideo(&open.video);
    EXPECT_FALSE(readNextFrame(&open.video));
    seekLastFrame(&open.video);
    EXPECT_TRUE(recordIsClear(open.video));
}

#ifndef _WIN32
// A folder opens as a stream on Linux but every read of it fails: an error,
// not the end of the file, and not a frame.
TEST(FrameMovement, ReadErrorIsNotAFrame) {
    std::string folder = scratchPath("folder.yuv");
    std::filesystem::create_directories(folder);
    VideoFile video;
    clearVideo(&video);
    ASSERT_TRUE(openVideo(&video, folder.c_str(), W, H, 420, 40));
    EXPECT_FALSE(readNextFrame(&video));
    EXPECT_EQ(video.frameIndex, -1);
    closeVideo(&video);
}
#endif

TEST(FrameMovement, SparseFilePastFourGibibytes) {
    // 352 x 288 4:2:0 frames; the file ends 1 GiB past 4 GiB with a partial frame.
    const size_t frameBytes = 152064;
    const int64_t size = (int64_t{5} << 30) + 12345;
    const int64_t frames = size / static_cast<int64_t>(frameBytes);
    const int64_t past2 = (int64_t{1} << 31) / static_cast<int64_t>(frameBytes) + 1;
    const int64_t past4 = (int64_t{1} << 32) / static_cast<int64_t>(frameBytes) + 1;
    std::string path = writeSparseFile("sparse.yuv", size, frameBytes,
                                       {past2, past4, frames - 12, frames - 11, frames - 2, frames - 1});
    OpenVideo open(path, 352, 288, 420);
    VideoFile& video = open.video;
    EXPECT_EQ(videoFileSize(&video), size);

    seekLastFrame(&video);
    ASSERT_EQ(video.frameIndex, frames - 1);
    EXPECT_EQ(open.shown(), frames - 1);
    EXPECT_EQ(numberInFrame(video.frameBuffer + frameBytes - 8), frames - 1);
    stepBack(&video, 1);
    EXPECT_EQ(video.frameIndex, frames - 2);
    EXPECT_EQ(open.shown(), frames - 2);
    ASSERT_TRUE(readNextFrame(&video));
    EXPECT_EQ(open.shown(), frames - 1);
    stepBack(&video, 10);
    EXPECT_EQ(open.shown(), frames - 11);
    stepBack(&video, 1);
    EXPECT_EQ(open.shown(), frames - 12);
    ASSERT_TRUE(readNextFrame(&video));
    EXPECT_EQ(video.frameIndex, frames - 11);

    ASSERT_TRUE(seekFrame(&video, past4));
    EXPECT_EQ(open.shown(), past4);
    ASSERT_TRUE(seekFrame(&video, past2));
    EXPECT_EQ(open.shown(), past2);
    ASSERT_TRUE(seekFrame(&video, frames - 1));
    EXPECT_FALSE(readNextFrame(&video)); // only the partial frame remains
    EXPECT_EQ(video.frameIndex, frames - 1);
    EXPECT_FALSE(seekFrame(&video, frames));

    rewindVideo(&video);
    EXPECT_EQ(video.frameIndex, 0);
    EXPECT_EQ(open.shown(), 0);
}

} // namespace
