// corvane-snap's shared output layer: the progress line, the frames a run
// takes, and outputs that are a file or standard output.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "snap/io/frames.h"
#include "snap/io/output.h"
#include "snap/io/progress.h"
#include "tests/test_files.h"

namespace {


} // namespace

TEST(SnapIo, ProgressLineSaysOnlyWhatIsKnown) {
    struct Case {
        const char* noun;
        int64_t done, total;
        double seconds;
        const char* line;
    } cases[] = {
        {"pictures", 0, 300, 0.0, "corvane-snap: 0 of 300 pictures"},
        {"pictures", 0, 300, 2.0, "corvane-snap: 0 of 300 pictures"},
        {"pictures", 120, 300, 3.0, "corvane-snap: 120 of 300 pictures, 40.0 a second, 5 s left"},
        {"frames", 100, 1000, 10.0, "corvane-snap: 100 of 1000 frames, 10.0 a second, 1:30 left"},
        {"frames", 10, 100000, 1.0, "corvane-snap: 10 of 100000 frames, 10.0 a second, 2:46:39 left"},
        {"frames", 300, 300, 1.5, "corvane-snap: 300 of 300 frames, 200.0 a second, 0 s left"},
        // No total: no time left, and never a guess at one.
        {"frames", 120, -1, 3.0, "corvane-snap: 120 frames, 40.0 a second"},
        {"frames", 7, -1, 0.0, "corvane-snap: 7 frames"},
    };
    for (const Case& c : cases) {
        char line[160];
        const int length = formatProgressLine(line, sizeof line, c.noun, c.done, c.total, c.seconds);
        EXPECT_STREQ(line, c.line);
        EXPECT_EQ(length, static_cast<int>(strlen(c.line)));
    }
    // A short buffer holds what fits and says how long the line would be.
    char small[20];
    EXPECT_EQ(formatProgressLine(small, sizeof small, "frames", 120, 300, 3.0),
              static_cast<int>(strlen("corvane-snap: 120 of 300 frames, 40.0 a second, 5 s left")));
    EXPECT_EQ(strlen(small), sizeof small - 1);
}

TEST(SnapIo, ProgressNeverStartedStaysSilent) {
    Progress progress;
    testing::internal::CaptureStderr();
    progressStep(&progress, 5);
    progressEnd(&progress);
    // Tests run without a terminal: started or not, nothing is shown.
    progressStart(&progress, "frames", 100);
    for (int64_t i = 1; i <= 100; ++i) progressStep(&progress, i);
    progressEnd(&progress);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(SnapIo, FramesChosenWithinTheCount) {
    struct Case {
        int kind;
        int64_t first, last, count;
        int ok;
        int64_t chosenFirst, chosenLast;
    } cases[] = {
        {FRAMES_ONE, 3, 3, 10, 1, 3, 3},
        {FRAMES_ONE, 10, 10, 10, 0, 0, 0},
        {FRAMES_ONE, 0, 0, 0, 0, 0, 0},
        {FRAMES_LAST, 0, 0, 10, 1, 9, 9},
        {FRAMES_LAST, 0, 0, 0, 0, 0, 0},
        {FRAMES_ALL, 0, INT64_MAX, 10, 1, 0, 9},
        {FRAMES_ALL, 0, INT64_MAX, 0, 0, 0, 0},
        {FRAMES_RANGE, 2, 20, 10, 1, 2, 9},
        {FRAMES_RANGE, 2, 5, 10, 1, 2, 5},
        {FRAMES_RANGE, 10, 12, 10, 0, 0, 0},
        // A count known only at the end: every frame runs on, "last" cannot be chosen.
        {FRAMES_ALL, 0, INT64_MAX, -1, 1, 0, INT64_MAX},
        {FRAMES_RANGE, 2, 5, -1, 1, 2, 5},
        {FRAMES_ONE, 7, 7, -1, 1, 7, 7},
        {FRAMES_LAST, 0, 0, -1, 0, 0, 0},
    };
    for (const Case& c : cases) {
        const FrameChoice choice = {c.kind, c.first, c.last};
        int64_t first = -5, last = -5;
        testing::internal::CaptureStderr();
        const int ok = chooseFrames(&choice, c.count, "'v.yuv' holds", &first, &last);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(ok != 0, c.ok != 0) << c.kind << " " << c.first << " of " << c.count;
        EXPECT_EQ(said.empty(), c.ok != 0) << said;
        if (ok) {
            EXPECT_EQ(first, c.chosenFirst);
            EXPECT_EQ(last, c.chosenLast);
        }
    }
}

TEST(SnapIo, OutputsAreAFileStandardOutputOrNone) {
    EXPECT_TRUE(isStandardStream("-"));
    EXPECT_FALSE(isStandardStream("-.txt"));
    EXPECT_FALSE(isStandardStream(nullptr));
    std::string error;
    const std::string path = scratchPath("lines.txt");
    Output out;
    ASSERT_TRUE(openRunOutput(&out, path.c_str(), nullptr, "--stats", &error)) << error;
    putLine(&out, "one\n");
    putLine(&out, "two\n");
    EXPECT_EQ(standardOutputStreams(), 0);
    ASSERT_TRUE(finishRunOutput(&out, &error)) << error;
    EXPECT_EQ(readWholeFile(path), "one\ntwo\n");

    Output none;
    ASSERT_TRUE(openRunOutput(&none, nullptr, nullptr, "--stats", &error));
    putLine(&none, "dropped\n");
    EXPECT_TRUE(finishRunOutput(&none, &error));

    Output stream;
    ASSERT_TRUE(openRunOutput(&stream, "-", nullptr, "--stats", &error));
    EXPECT_EQ(standardOutputStreams(), 1);
    abandonRunOutput(&stream);
    EXPECT_EQ(standardOutputStreams(), 0);

    // A folder is no output: the option's name leads the reason, and nothing is left.
    const std::string folder = scratchPath("");
    ASSERT_FALSE(openRunOutput(&out, folder.c_str(), nullptr, "--stats", &error));
    EXPECT_EQ(error.rfind("--stats: cannot write '", 0), 0u) << error;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(writeDocument(folder.c_str(), "{}", nullptr, "--json"));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("corvane-snap: --json: cannot write '"), std::string::npos);
    EXPECT_TRUE(writeDocument(path.c_str(), "{}\n", nullptr, "--json"));
    EXPECT_EQ(readWholeFile(path), "{}\n");
}
