#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

#include "tests/test_files.h"
#include "snap/snap.h"
#include "video/video_file.h"

namespace {

struct Planes {
    size_t luma, chroma; // samples per plane, as the viewer lays the frame out
};

Planes planesOf(int32_t width, int32_t height, int32_t code) {
    VideoFile video;
    clearVideo(&video);
    const std::string path = writeBytes("layout.yuv", {});
    EXPECT_TRUE(openVideo(&video, path.c_str(), width, height, code, 40));
    Planes planes{size_t(width) * height, size_t(video.chromaWidth) * video.chromaHeight};
    EXPECT_EQ(size_t(video.frameBytes), planes.luma + 2 * planes.chroma);
    closeVideo(&video);
    return planes;
}

// One frame's offsets: the other clip's samples are the input's plus these.
struct Offsets {
    int y, u, v;
};

// Writes the input clip (random samples that leave room for the offsets) and
// the other clip, frame by frame.
void writeClips(const std::string& input, const std::string& other, Planes planes,
                const std::vector<Offsets>& frames, size_t extraOtherFrames = 0) {
    FILE* a = fopen(input.c_str(), "wb");
    FILE* b = fopen(other.c_str(), "wb");
    ASSERT_TRUE(a && b);
    uint32_t seed = 7;
    std::vector<Offsets> all = frames;
    all.resize(frames.size() + extraOtherFrames, Offsets{0, 0, 0});
    for (size_t k = 0; k < all.size(); ++k) {
        const int offset[3] = {all[k].y, all[k].u, all[k].v};
        for (int p = 0; p < 3; ++p) {
            std::vector<uint8_t> samples = randomBytes(p == 0 ? planes.luma : planes.chroma, seed++);
            if (samples.empty()) continue;
            for (uint8_t& s : samples) s = uint8_t(s % 190);
            if (k < frames.size()) fwrite(samples.data(), 1, samples.size(), a);
            for (uint8_t& s : samples) s = uint8_t(s + offset[p]);
            fwrite(samples.data(), 1, samples.size(), b);
        }
    }
    fclose(a);
    fclose(b);
}

// Text mode: the stats file has the platform's line ends, as the common tools write it.
std::string readText(const std::string& path) {
    std::string text;
    FILE* file = fopen(path.c_str(), "r");
    if (!file) return text;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
    fclose(file);
    return text;
}

// PSNR of a constant offset d worked out as 20 log10(255 / d), two decimals.
std::string offsetPsnr(int d) {
    if (d == 0) return "inf";
    char text[32];
    snprintf(text, sizeof text, "%.2f", 20 * log10(255.0 / std::abs(d)));
    return text;
}

std::string twoDecimals(double value) {
    char text[32];
    snprintf(text, sizeof text, "%.2f", value);
    return text;
}

struct Result {
    int status;
    std::string stdoutText, stderrText, stats;
};

// --compare through the command line, the geometry given by flags.
Result compare(const std::string& input, const std::string& other, int32_t width, int32_t height,
               int32_t code, const char* statsPath = "stats", double failBelow = NAN) {
    const std::string stats = scratchPath("stats.txt");
    std::filesystem::remove(stats);
    std::vector<std::string> args = {"corvane-snap", "--compare", "--size",
                                     std::to_string(width) + "x" + std::to_string(height), "--format",
                                     std::to_string(code), input, other};
    if (statsPath) args.insert(args.end(), {"--stats", std::string(statsPath) == "stats" ? stats : statsPath});
    if (!std::isnan(failBelow)) {
        char limit[64];
        snprintf(limit, sizeof limit, "%.17g", failBelow);
        args.insert(args.end(), {"--fail-below", limit});
    }
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    Result result;
    result.status = snapMain(int(args.size()), argv.data());
    result.stdoutText = testing::internal::GetCapturedStdout();
    result.stderrText = testing::internal::GetCapturedStderr();
    result.stats = readText(stats);
    return result;
}

TEST(Compare, KnownAnswersPerPlaneAndTheirWeightedAverage) {
    struct Case {
        int32_t width, height, code;
        Offsets offsets;
    } cases[] = {
        {16, 8, 420, {0, 0, 0}},    {16, 8, 420, {1, 1, 1}},    {16, 8, 420, {3, 0, 5}},
        {35, 17, 420, {2, 7, 0}},   {35, 17, 422, {0, 9, 4}},   {33, 5, 411, {6, 1, 2}},
        {3, 7, 411, {4, 10, 10}},   {1, 1, 420, {12, 0, 0}},    {17, 3, 444, {1, 2, 64}},
        {64, 48, 444, {0, 0, 1}},
    };
    for (const Case& c : cases) {
        const Planes planes = planesOf(c.width, c.height, c.code);
        const std::string a = scratchPath("a.yuv"), b = scratchPath("b.yuv");
        writeClips(a, b, planes, {c.offsets});
        const Result r = compare(a, b, c.width, c.height, c.code);
        const std::string what = std::to_string(c.width) + "x" + std::to_string(c.height) + " " +
                                 std::to_string(c.code) + " " + std::to_string(c.offsets.y);
        ASSERT_EQ(r.status, 0) << what << r.stderrText;
        EXPECT_EQ(r.stderrText, "") << what;

        // Planes of no samples (chroma narrower than the subsampling) count as identical.
        const int dy = c.offsets.y, du = planes.chroma ? c.offsets.u : 0, dv = planes.chroma ? c.offsets.v : 0;
        const double averageMse =
            double(dy * dy * planes.luma + (du * du + dv * dv) * planes.chroma) /
            double(planes.luma + 2 * planes.chroma);
        const std::string average =
            averageMse == 0 ? "inf" : twoDecimals(10 * log10(255.0 * 255.0 / averageMse));
        EXPECT_EQ(r.stats, "n:1 mse_avg:" + twoDecimals(averageMse) + " mse_y:" + twoDecimals(dy * dy) +
                               " mse_u:" + twoDecimals(du * du) + " mse_v:" + twoDecimals(dv * dv) +
                               " psnr_avg:" + average + " psnr_y:" + offsetPsnr(dy) +
                               " psnr_u:" + offsetPsnr(du) + " psnr_v:" + offsetPsnr(dv) + "\n")
            << what;
    }
}

TEST(Compare, SummaryTakesTheMeanErrorAndTheWorstAndBestFrames) {
    struct Case {
        std::vector<Offsets> frames;
        const char* summary;
        int status; // with --fail-below 1000: identical frames (inf) are never below
    } cases[] = {
        // y: mean MSE (4 + 16 + 0) / 3; min the frame of offset 4, max the identical one.
        {{{2, 2, 2}, {4, 4, 4}, {0, 0, 0}},
         "PSNR y:39.891716 u:39.891716 v:39.891716 average:39.891716 min:36.089604 max:inf\n", 1},
        {{{0, 0, 0}, {0, 0, 0}}, "PSNR y:inf u:inf v:inf average:inf min:inf max:inf\n", 0},
        // 16x8 at 4:2:0: Y weighs 128 samples against 32 + 32 for U and V.
        {{{1, 0, 0}}, "PSNR y:48.130804 u:inf v:inf average:49.891716 min:49.891716 max:49.891716\n", 1},
    };
    for (const Case& c : cases) {
        const std::string a = scratchPath("a.yuv"), b = scratchPath("b.yuv");
        writeClips(a, b, planesOf(16, 8, 420), c.frames);
        const Result r = compare(a, b, 16, 8, 420, nullptr, 1000);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.stdoutText, c.summary);
        EXPECT_EQ(r.stats, "");
    }
}

TEST(Compare, FailBelowAndWhereTheLinesGo) {
    const std::string a = scratchPath("a.yuv"), b = scratchPath("b.yuv");
    // Frame averages: 42.11 dB (offset 2) and inf.
    writeClips(a, b, planesOf(20, 10, 422), {{2, 2, 2}, {0, 0, 0}});
    struct Case {
        const char* stats;
        double failBelow;
        int status;
        size_t stdoutLines, statsLines;
    } cases[] = {
        {"stats", NAN, 0, 1, 2},  {"-", NAN, 0, 3, 0},     {nullptr, 42.2, 1, 1, 0},
        {"stats", 42.0, 0, 1, 2}, {"-", 1e9, 1, 3, 0},     {nullptr, 1e308, 1, 1, 0},
    };
    for (const Case& c : cases) {
        const Result r = compare(a, b, 20, 10, 422, c.stats, c.failBelow);
        EXPECT_EQ(r.status, c.status) << c.failBelow;
        EXPECT_EQ(std::count(r.stdoutText.begin(), r.stdoutText.end(), '\n'), long(c.stdoutLines));
        EXPECT_EQ(std::count(r.stats.begin(), r.stats.end(), '\n'), long(c.statsLines));
        EXPECT_EQ(r.stdoutText.substr(r.stdoutText.rfind("PSNR ")),
                  "PSNR y:45.120504 u:45.120504 v:45.120504 average:45.120504 min:42.110204 max:inf\n");
        if (c.stats && std::string(c.stats) == "-") {
            EXPECT_EQ(r.stdoutText.substr(0, 20), "n:1 mse_avg:4.00 mse");
        }
    }
}

// The report's outputs from one run, its pictures made on every core (this
// file runs under ThreadSanitizer too): the worst frames by PSNR, worst first.
TEST(Compare, ReportCsvAndJsonFromOneRun) {
    const std::string a = scratchPath("a.yuv"), b = scratchPath("b.yuv");
    const std::string html = scratchPath("r.html"), csv = scratchPath("r.csv"), json = scratchPath("r.json");
    writeClips(a, b, planesOf(30, 20, 420), {{1, 1, 1}, {5, 5, 5}, {2, 2, 2}, {9, 9, 9}, {0, 0, 0}});
    std::vector<std::string> args = {"corvane-snap", "--compare", "--metric", "psnr,ssim", "--size", "30x20",
                                     "--format", "420", a, b, "--report", html, "--csv", csv, "--json", json};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    testing::internal::CaptureStdout();
    ASSERT_EQ(snapMain(int(args.size()), argv.data()), 0);
    testing::internal::GetCapturedStdout();
    const std::string page = readText(html);
    size_t pictures = 0;
    for (size_t at = page.find("data:image/png;base64,"); at != std::string::npos; at = page.find("data:image/png", at + 1))
        ++pictures;
    EXPECT_EQ(pictures, 9u);
    const size_t worst = page.find("<h3>Frame 3</h3>"), second = page.find("<h3>Frame 1</h3>"),
                 third = page.find("<h3>Frame 2</h3>");
    ASSERT_NE(third, std::string::npos);
    EXPECT_LT(worst, second);
    EXPECT_LT(second, third);
    EXPECT_EQ(page.find("<h3>Frame 4</h3>"), std::string::npos); // identical: never among the worst
    EXPECT_NE(page.find("psnr_avg <b>" + offsetPsnr(9) + "</b>"), std::string::npos);
    const std::string rows = readText(csv);
    EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), 6);
    EXPECT_NE(rows.find("\n4,,,,,0,0,0,0,,1,1,1,"), std::string::npos) << rows; // identical: no PSNR, no error
    EXPECT_NE(readText(json).find("\"pooled_metrics\""), std::string::npos);
}

TEST(Compare, DifferentLengthsCompareTheCommonFrames) {
    const std::string a = scratchPath("a.yuv"), b = scratchPath("b.yuv");
    const Planes planes = planesOf(30, 20, 420);
    writeClips(a, b, planes, {{1, 1, 1}, {2, 2, 2}, {3, 3, 3}}, 2);
    // A partial frame at the end of the longer one, too.
    FILE* file = fopen(b.c_str(), "ab");
    fputs("tail", file);
    fclose(file);
    for (bool swapped : {false, true}) {
        const Result r = swapped ? compare(b, a, 30, 20, 420) : compare(a, b, 30, 20, 420);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(std::count(r.stats.begin(), r.stats.end(), '\n'), 3);
        EXPECT_EQ(r.stats.substr(r.stats.rfind("n:")), "n:3 mse_avg:9.00 mse_y:9.00 mse_u:9.00 "
                                                         "mse_v:9.00 psnr_avg:38.59 psnr_y:38.59 "
                                                         "psnr_u:38.59 psnr_v:38.59\n");
        EXPECT_NE(r.stderrText.find("3 frames"), std::string::npos) << r.stderrText;
        EXPECT_NE(r.stderrText.find("5 frames"), std::string::npos) << r.stderrText;
        EXPECT_NE(r.stderrText.find("comparing the first 3"), std::string::npos) << r.stderrText;
        EXPECT_NE(r.stderrText.find("partial frame of 4 bytes"), std::string::npos) << r.stderrText;
    }
}

TEST(Compare, FramesLargerThanOneReadAndFilesPastFourGigabytes) {
    // A 1920x1080 frame spans several reads; plane ends fall inside them.
    const std::string a = scratchPath("a.yuv"), b = scratchPath("b.yuv");
    writeClips(a, b, planesOf(1920, 1080, 420), {{0, 1, 0}, {5, 0, 0}, {0, 0, 0}});
    const Result r = compare(a, b, 1920, 1080, 420);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.stats, "n:1 mse_avg:0.17 mse_y:0.00 mse_u:1.00 mse_v:0.00 psnr_avg:55.91 psnr_y:inf "
                       "psnr_u:48.13 psnr_v:inf\n"
                       "n:2 mse_avg:16.67 mse_y:25.00 mse_u:0.00 mse_v:0.00 psnr_avg:35.91 "
                       "psnr_y:34.15 psnr_u:inf psnr_v:inf\n"
                       "n:3 mse_avg:0.00 mse_y:0.00 mse_u:0.00 mse_v:0.00 psnr_avg:inf psnr_y:inf "
                       "psnr_u:inf psnr_v:inf\n");

    // A sparse 5 GiB file against a short one: its frames are counted from
    // its whole 64-bit size, and only the common frames are read.
    const std::string big = writeSparseFile("big.yuv", 5LL << 30, 0, {});
    const Result r2 = compare(big, a, 1920, 1080, 420, nullptr);
    EXPECT_EQ(r2.status, 0);
    EXPECT_NE(r2.stderrText.find("1726 frames"), std::string::npos) << r2.stderrText;
}

TEST(Compare, ErrorsExitTwoWithOneLineAndLeaveNoStatsFile) {
    const std::string a = scratchPath("a.yuv"), b = scratchPath("b.yuv");
    writeClips(a, b, planesOf(16, 8, 420), {{1, 1, 1}});
    const std::string missing = scratchPath("missing.yuv");
    const std::string shortFile = writeBytes("short.yuv", std::vector<uint8_t>(100));
    const std::string stats = scratchPath("stats.txt");
    const std::string noFolder = scratchPath("no/such/folder/stats.txt");
    const std::string sameAsA = scratchPath("./a.yuv");
    const auto clipSize = std::filesystem::file_size(a);
    struct Case {
        std::string input, other;
        int32_t width, height, code;
        const char* statsPath;
        const char* says;
    } cases[] = {
        {missing, b, 16, 8, 420, "stats", "cannot read '"},
        {a, missing, 16, 8, 420, "stats", "missing.yuv"},
        {a, shortFile, 16, 8, 420, "stats", "holds no whole 16x8 4:2:0 frame"},
        {shortFile, a, 16, 8, 420, nullptr, "short.yuv"},
        {a, b, 99999, 99999, 444, "stats", "cannot be held"},
        {a, b, 16, 8, 420, noFolder.c_str(), "cannot write"},
        {a, b, 16, 8, 420, b.c_str(), "would be overwritten"},
#ifndef _WIN32
        {a, b, 16, 8, 420, sameAsA.c_str(), "would be overwritten"},
        // A device that refuses every write: an error, and the device stays.
        {a, b, 16, 8, 420, "/dev/full", "cannot write '/dev/full'"},
#endif
    };
    for (const Case& c : cases) {
        const Result r = compare(c.input, c.other, c.width, c.height, c.code, c.statsPath);
        EXPECT_EQ(r.status, 2) << c.says;
        EXPECT_EQ(r.stdoutText, "") << c.says;
        EXPECT_EQ(r.stderrText.rfind("corvane-snap: ", 0), 0u) << r.stderrText;
        EXPECT_EQ(std::count(r.stderrText.begin(), r.stderrText.end(), '\n'), 1) << r.stderrText;
        EXPECT_NE(r.stderrText.find(c.says), std::string::npos) << r.stderrText;
        EXPECT_FALSE(std::filesystem::exists(stats)) << c.says;
    }
    EXPECT_EQ(std::filesystem::file_size(a), clipSize);
    EXPECT_EQ(std::filesystem::file_size(b), clipSize);
#ifndef _WIN32
    EXPECT_TRUE(std::filesystem::exists("/dev/full"));

    // A stats file that stops growing part way: it is removed, not left cut short.
    std::vector<Offsets> many(200, Offsets{1, 2, 3});
    writeClips(a, b, planesOf(16, 8, 420), many);
    rlimit limit, saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    limit = saved;
    limit.rlim_cur = 4096;
    void (*previous)(int) = signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limit);
    const Result r = compare(a, b, 16, 8, 420);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, previous);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.stderrText.find("cannot write '"), std::string::npos) << r.stderrText;
    EXPECT_FALSE(std::filesystem::exists(stats));
#endif
}

} // namespace
