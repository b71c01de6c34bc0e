#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "snap/metric/psnr.h"
#include "tests/snap_metric_clips.h"
#include "tests/test_files.h"
#include "snap/snap.h"
#include "video/video_file.h"

namespace {

template <typename T>
uint64_t plainSquares(const T* a, const T* b, size_t count) {
    uint64_t sum = 0;
    for (size_t i = 0; i < count; ++i) sum += uint64_t((int64_t(a[i]) - b[i]) * (int64_t(a[i]) - b[i]));
    return sum;
}

TEST(PsnrSums, EveryPathAgreesWithThePlainSum) {
    const std::vector<uint8_t> bytes = randomBytes(6000, 3);
    std::vector<uint16_t> words(3000);
    for (size_t i = 0; i < words.size(); ++i) words[i] = uint16_t(bytes[2 * i] | bytes[2 * i + 1] << 8);
    for (const char* name : {"scalar", "avx2"}) {
        const PsnrSums* sums = psnrSumsNamed(name);
        if (!sums) continue; // not on this CPU
        for (size_t count = 0; count <= 70; ++count)
            for (size_t start : {0, 1, 7}) {
                ASSERT_EQ(sums->sum8(&bytes[start], &bytes[start + 3001], count),
                          plainSquares(&bytes[start], &bytes[start + 3001], count)) << name << " " << count;
                ASSERT_EQ(sums->sum16(&words[start], &words[start + 1500], count),
                          plainSquares(&words[start], &words[start + 1500], count)) << name << " " << count;
            }
    }
}

TEST(PsnrSums, LargestDifferencesDoNotOverflow) {
    const size_t count = 3 * 8192 * 32 + 45;
    const std::vector<uint8_t> white(count, 255), black(count, 0);
    const std::vector<uint16_t> top(count, 65535), bottom(count, 0);
    for (const char* name : {"scalar", "avx2"}) {
        const PsnrSums* sums = psnrSumsNamed(name);
        if (!sums) continue;
        EXPECT_EQ(sums->sum8(white.data(), black.data(), count), uint64_t{65025} * count) << name;
        EXPECT_EQ(sums->sum16(bottom.data(), top.data(), count), uint64_t{65535} * 65535 * count) << name;
    }
}

// The PSNR functions' per-frame lines and summary of a clip pair.
void psnrLinesOf(const ClipRecipe* recipe, const ClipPair* pair, std::vector<std::string>* lines,
                 std::string* summary) {
    PsnrTotals totals;
    clearPsnrTotals(&totals);
    char text[512];
    for (int f = 0; f < recipe->frames; ++f) {
        const MetricFrame x = clipFrame(pair, false, f), y = clipFrame(pair, true, f);
        PsnrFrame frame;
        ASSERT_TRUE(psnrFrame(&x, &y, &frame));
        addPsnrFrame(&totals, &frame);
        formatPsnrFrameLine(text, sizeof text, f + 1, &frame);
        lines->push_back(text);
    }
    formatPsnrSummary(text, sizeof text, &totals);
    *summary = text;
}

// The 8-bit lines and summary --compare writes are the PSNR functions', byte for byte.
TEST(Psnr, EightBitLinesAreTodaysCompareLines) {
    const ClipRecipe recipe = {"yuv420p", 48, 32, 4, 41};
    ClipPair pair;
    ASSERT_TRUE(makeClipPair(&recipe, &pair));
    for (size_t i = 0; i < pair.frameBytes; ++i) pair.b[pair.frameBytes + i] = pair.a[pair.frameBytes + i];
    const std::string a = writeBytes("psnr_a.yuv", pair.a), b = writeBytes("psnr_b.yuv", pair.b);
    const std::string stats = scratchPath("psnr_stats.txt");
    std::vector<std::string> args = {"corvane-snap", "--compare", "--size", "48x32", a, b, "--stats", stats};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    testing::internal::CaptureStdout();
    ASSERT_EQ(snapMain(int(argv.size()), argv.data()), 0);
    const std::string todaySummary = testing::internal::GetCapturedStdout();

    std::vector<std::string> perFrame;
    std::string summary;
    psnrLinesOf(&recipe, &pair, &perFrame, &summary);
    std::string lines;
    for (const std::string& line : perFrame) lines += line;
    FILE* file = fopen(stats.c_str(), "r"); // text, as it was written
    ASSERT_TRUE(file);
    std::string today(4096, '\0');
    today.resize(fread(&today[0], 1, today.size(), file));
    fclose(file);
    EXPECT_EQ(lines, today);
    EXPECT_NE(lines.find("psnr_avg:inf psnr_y:inf psnr_u:inf psnr_v:inf\n"), std::string::npos);
    EXPECT_EQ(summary, todaySummary);
}

// FFmpeg's psnr filter on the clips, the 10-bit ones first: the peak is 1023.
TEST(Psnr, EqualsFfmpegListings) {
    const struct {
        ClipRecipe recipe;
        const char* firstLine;  // kept from FFmpeg 5.1, for machines without it
        const char* summary;
    } cases[] = {
#include "tests/psnr_fixtures.inc"
    };
    for (const auto& c : cases) {
        ClipPair pair;
        ASSERT_TRUE(makeClipPair(&c.recipe, &pair));
        std::vector<std::string> lines;
        PsnrTotals totals;
        clearPsnrTotals(&totals);
        char text[512];
        for (int f = 0; f < c.recipe.frames; ++f) {
            const MetricFrame x = clipFrame(&pair, false, f), y = clipFrame(&pair, true, f);
            PsnrFrame frame;
            ASSERT_TRUE(psnrFrame(&x, &y, &frame));
            addPsnrFrame(&totals, &frame);
            formatPsnrFrameLine(text, sizeof text, f + 1, &frame);
            lines.push_back(text);
        }
        formatPsnrSummary(text, sizeof text, &totals);
        EXPECT_EQ(lines[0], c.firstLine) << c.recipe.pixelFormat;
        EXPECT_EQ(text, std::string(c.summary)) << c.recipe.pixelFormat;
        std::vector<std::string> want;
        std::string wantSummary;
        if (!ffmpegListing(&c.recipe, &pair, "psnr", "", &want, &wantSummary)) continue;
        EXPECT_EQ(lines, want) << c.recipe.pixelFormat;
        EXPECT_EQ(text, wantSummary) << c.recipe.pixelFormat;
    }
}

// Many small frames of noise with small differences, so that the frame's
// MSE often falls exactly halfway at the second decimal: there FFmpeg's
// weighting of the planes' MSEs decides the printed digit, and the summary's
// min and max come from the same figure.
TEST(Psnr, EqualsFfmpegOnTiesInManySmallFrames) {
    if (!ffmpegRuns()) GTEST_SKIP() << "no ffmpeg here";
    const ClipRecipe recipes[] = {
        {"yuv420p", 16, 16, 3000, 51},   {"yuv422p", 6, 4, 2000, 52},      {"yuv444p", 5, 3, 2000, 53},
        {"gray", 7, 5, 2000, 54},        {"yuv420p", 9, 7, 2000, 55},      {"yuv420p10le", 16, 16, 2000, 56},
        {"yuv422p10le", 9, 5, 2000, 57}, {"yuv444p10le", 4, 4, 2000, 58},  {"gray10le", 3, 5, 2000, 59},
    };
    for (const ClipRecipe& recipe : recipes) {
        ClipPair pair;
        ASSERT_TRUE(makeClipPair(&recipe, &pair));
        const size_t bytes = pair.depth > 8 ? 2 : 1;
        const int peak = (1 << pair.depth) - 1;
        const std::vector<uint8_t> noise = randomBytes(pair.a.size() * 2 / bytes, recipe.seed);
        for (size_t i = 0, k = 0; i < pair.a.size(); i += bytes, k += 2) {
            const int value = (noise[k] << 2 | noise[k + 1] >> 6) & peak;
            const int step = (noise[k + 1] & 7) - 3 - (noise[k + 1] >> 3 & 1) * 8; // -11..4
            const int other = value + step < 0 ? 0 : value + step > peak ? peak : value + step;
            pair.a[i] = uint8_t(value), pair.b[i] = uint8_t(other);
            if (bytes == 2) pair.a[i + 1] = uint8_t(value >> 8), pair.b[i + 1] = uint8_t(other >> 8);
        }
        std::vector<std::string> lines, want;
        std::string wantSummary, summary;
        psnrLinesOf(&recipe, &pair, &lines, &summary);
        ASSERT_TRUE(ffmpegListing(&recipe, &pair, "psnr", "", &want, &wantSummary)) << recipe.pixelFormat;
        ASSERT_EQ(lines.size(), want.size()) << recipe.pixelFormat;
        int differ = 0;
        for (size_t i = 0; i < lines.size(); ++i)
            if (lines[i] != want[i] && differ++ == 0) ADD_FAILURE() << lines[i] << "FFmpeg: " << want[i];
        EXPECT_EQ(differ, 0) << recipe.pixelFormat << " " << recipe.width << "x" << recipe.height;
        EXPECT_EQ(summary, wantSummary) << recipe.pixelFormat << " " << recipe.width << "x" << recipe.height;
    }
}

} // namespace
