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

    std::string lines;
    PsnrTotals totals;
    clearPsnrTotals(&totals);
    char text[512];
    for (int f = 0; f < recipe.frames; ++f) {
        const MetricFrame x = clipFrame(&pair, false, f), y = clipFrame(&pair, true, f);
        PsnrFrame frame;
        ASSERT_TRUE(psnrFrame(&x, &y, &frame));
        addPsnrFrame(&totals, &frame);
        formatPsnrFrameLine(text, sizeof text, f + 1, &frame);
        lines += text;
    }
    FILE* file = fopen(stats.c_str(), "r"); // text, as it was written
    ASSERT_TRUE(file);
    std::string today(4096, '\0');
    today.resize(fread(&today[0], 1, today.size(), file));
    fclose(file);
    EXPECT_EQ(lines, today);
    EXPECT_NE(lines.find("psnr_avg:inf psnr_y:inf psnr_u:inf psnr_v:inf\n"), std::string::npos);
    formatPsnrSummary(text, sizeof text, &totals);
    EXPECT_EQ(text, todaySummary);
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

} // namespace
