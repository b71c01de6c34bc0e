#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "snap/metric/metric.h"
#include "snap/metric/ssim.h"
#include "tests/snap_metric_clips.h"
#include "tests/test_files.h"

namespace {

std::string frameLine(int64_t n, const SsimFrame& frame) {
    char text[256];
    formatSsimFrameLine(text, sizeof text, n, &frame);
    return text;
}

// Every frame's line and the summary, as this program prints them.
void ourListing(const ClipRecipe& recipe, const ClipPair& pair, std::vector<std::string>* lines,
                std::string* summary) {
    SsimTotals totals;
    clearSsimTotals(&totals);
    lines->clear();
    for (int f = 0; f < recipe.frames; ++f) {
        const MetricFrame a = clipFrame(&pair, false, f), b = clipFrame(&pair, true, f);
        SsimFrame frame;
        ASSERT_TRUE(ssimFrame(&a, &b, &frame));
        addSsimFrame(&totals, &frame);
        lines->push_back(frameLine(f + 1, frame));
    }
    char text[256];
    formatSsimSummary(text, sizeof text, &totals);
    *summary = text;
}

TEST(Ssim, WindowsAreWholeBlocksLessOneEachWay) {
    const struct {
        int32_t width, height;
        int64_t windows;
    } cases[] = {{8, 8, 1}, {11, 11, 1}, {12, 8, 2}, {1920, 1080, 479 * 269}, {7, 100, 0},
                 {100, 7, 0}, {4, 4, 0}, {0, 0, 0}};
    for (const auto& c : cases) EXPECT_EQ(ssimWindows(c.width, c.height), c.windows) << c.width << "x" << c.height;
}

// Known answers: identical planes, a flat plane against a constant offset of
// it (only the luminance term is left: (2 s1 s2 + C1) / (s1^2 + s2^2 + C1) with
// window sums s = 64 x value and C1 = 416, 0.9954751 exactly), and planes too
// small for a window. The dB figures are the ones FFmpeg prints too: float
// windows put them 4e-5 from the exact 23.443943.
TEST(Ssim, KnownAnswers) {
    const struct {
        const char* pixelFormat;
        int32_t width, height;
        int offset;        // b = a + offset, or -1: b = a
        bool flat;         // a holds one value everywhere
        const char* line;  // the frame's line
    } cases[] = {
        {"yuv420p", 64, 48, -1, false, "n:1 Y:1.000000 U:1.000000 V:1.000000 All:1.000000 (inf)\n"},
        {"yuv420p10le", 33, 21, -1, false, "n:1 Y:1.000000 U:1.000000 V:1.000000 All:1.000000 (inf)\n"},
        {"gray16le", 16, 16, -1, false, "n:1 Y:1.000000 All:1.000000 (inf)\n"},
        // 100 against 110: (2 * 6400 * 7040 + 416) / (6400^2 + 7040^2 + 416).
        {"gray", 28, 20, 10, true, "n:1 Y:0.995475 All:0.995475 (23.443980)\n"},
        // The same at 10 bits, 400 against 440, C1 = 6698.
        {"gray10le", 24, 20, 40, true, "n:1 Y:0.995475 All:0.995475 (23.443912)\n"},
        // No whole window: no value rather than a division by nothing,
        // printed as FFmpeg prints it.
        {"gray", 7, 30, -1, false, "n:1 Y:-nan All:-nan (inf)\n"},
        // Luma has windows, chroma (6x6) none: no figure for the frame either.
        {"yuv420p", 12, 12, -1, false, "n:1 Y:1.000000 U:-nan V:-nan All:-nan (inf)\n"},
    };
    for (const auto& c : cases) {
        ClipRecipe recipe = {c.pixelFormat, c.width, c.height, 1, 7};
        ClipPair pair;
        ASSERT_TRUE(makeClipPair(&recipe, &pair));
        const size_t sampleBytes = pair.depth > 8 ? 2 : 1;
        const int base = c.flat ? 100 << (pair.depth - 8) : 0;
        for (size_t i = 0; i < pair.frameBytes; i += sampleBytes) {
            int value = c.flat ? base : pair.a[i] | (sampleBytes == 2 ? pair.a[i + 1] << 8 : 0);
            const int other = c.offset >= 0 ? value + c.offset : value;
            pair.a[i] = uint8_t(value), pair.b[i] = uint8_t(other);
            if (sampleBytes == 2) pair.a[i + 1] = uint8_t(value >> 8), pair.b[i + 1] = uint8_t(other >> 8);
        }
        const MetricFrame a = clipFrame(&pair, false, 0), b = clipFrame(&pair, true, 0);
        MetricFigures figures;
        ASSERT_TRUE(ssimMetric.measure(&a, &b, &figures)) << c.pixelFormat;
        const SsimFrame& frame = *figuresAs<SsimFrame>(&figures);
        EXPECT_EQ(frameLine(1, frame), c.line) << c.pixelFormat << " " << c.width << "x" << c.height;
        // Every figure here is at least 0.995; a frame without one fails any gate.
        EXPECT_EQ(ssimMetric.below(&figures, 0.99), std::isnan(frame.all)) << c.pixelFormat;
    }
}

TEST(Ssim, FramesThatDisagreeAreRefused) {
    ClipRecipe recipe = {"yuv420p", 32, 32, 1, 3}, other = {"yuv444p", 32, 32, 1, 3};
    ClipPair pair, otherPair;
    ASSERT_TRUE(makeClipPair(&recipe, &pair));
    ASSERT_TRUE(makeClipPair(&other, &otherPair));
    const MetricFrame a = clipFrame(&pair, false, 0), b = clipFrame(&otherPair, true, 0);
    SsimFrame frame;
    EXPECT_FALSE(ssimFrame(&a, &b, &frame));
    MetricFrame deep = a;
    deep.depth = 17;
    EXPECT_FALSE(ssimFrame(&deep, &deep, &frame));
}

TEST(Ssim, SummaryMeansAndDecibelsFromTheSums) {
    SsimTotals totals;
    clearSsimTotals(&totals);
    SsimFrame frames[2] = {{3, {0.9, 0.8, 0.7}, 0.85}, {3, {1.0, 1.0, 1.0}, 1.0}};
    for (const SsimFrame& f : frames) addSsimFrame(&totals, &f);
    char text[256];
    formatSsimSummary(text, sizeof text, &totals);
    // Y: 10 log10(2 / (2 - 1.9)) = 13.0103.
    EXPECT_STREQ(text, "SSIM Y:0.950000 (13.010300) U:0.900000 (10.000000) V:0.850000 (8.239087) "
                       "All:0.925000 (11.249387)\n");
    SsimFrame grey = {1, {1.0, 0, 0}, 1.0};
    clearSsimTotals(&totals);
    addSsimFrame(&totals, &grey);
    formatSsimSummary(text, sizeof text, &totals);
    EXPECT_STREQ(text, "SSIM Y:1.000000 (inf) All:1.000000 (inf)\n");
    char small[12];
    EXPECT_GT(formatSsimSummary(small, sizeof small, &totals), 0);
    EXPECT_EQ(strlen(small), sizeof small - 1); // cut short, still a string
}

// The vector rows against the scalar rows on the same random planes: every
// block count up to 17 (four a step and each tail), unaligned starts, rows
// exactly as long as the blocks so that a read past them is caught.
TEST(Ssim, VectorRowsEqualScalarRows) {
    const SsimRows* scalar = ssimRowsNamed("scalar");
    const SsimRows* vector = ssimRowsNamed("avx2");
    if (!vector) GTEST_SKIP() << "no AVX2 on this CPU";
    const std::vector<uint8_t> bytes = randomBytes(1 << 16, 11);
    for (int blocks = 1; blocks <= 17; ++blocks)
        for (int start = 0; start < 3; ++start) {
            const ptrdiff_t stride = 4 * blocks + start;
            std::vector<uint8_t> a(bytes.begin() + start, bytes.begin() + start + 3 * stride + 4 * blocks);
            std::vector<uint8_t> b(bytes.begin() + 999 + start, bytes.begin() + 999 + start + 3 * stride + 4 * blocks);
            std::vector<int32_t> want(4 * blocks), got(4 * blocks);
            scalar->row8(a.data(), stride, b.data(), stride, blocks, reinterpret_cast<int32_t(*)[4]>(want.data()));
            vector->row8(a.data(), stride, b.data(), stride, blocks, reinterpret_cast<int32_t(*)[4]>(got.data()));
            ASSERT_EQ(got, want) << "8-bit, " << blocks << " blocks, start " << start;
            // The window row over the same sums as top and bottom rows (the
            // bottom one reversed), the sum exactly the scalar row's.
            std::vector<int32_t> bottom(want.size());
            for (int z = 0; z < blocks; ++z)
                for (int k = 0; k < 4; ++k) bottom[4 * z + k] = want[4 * (blocks - 1 - z) + k];
            const auto* t = reinterpret_cast<const int32_t(*)[4]>(want.data());
            const auto* u = reinterpret_cast<const int32_t(*)[4]>(bottom.data());
            ASSERT_EQ(vector->windows8(t, u, blocks - 1), scalar->windows8(t, u, blocks - 1)) << blocks << " blocks";
            for (int depth : {9, 10, 12}) {
                std::vector<uint16_t> wa(a.size()), wb(b.size());
                for (size_t i = 0; i < a.size(); ++i) {
                    wa[i] = uint16_t((a[i] << 8 | b[i]) >> (16 - depth));
                    wb[i] = uint16_t((b[i] << 8 | a[i]) >> (16 - depth));
                }
                if (depth == 12) wa[0] = 4095, wb[0] = 4095; // the largest sample
                if (depth == 9 && blocks > 5) wb[4 * blocks - 1] = 65535; // breaks its depth
                std::vector<int64_t> want16(4 * blocks), got16(4 * blocks);
                scalar->row16(wa.data(), stride, wb.data(), stride, blocks, reinterpret_cast<int64_t(*)[4]>(want16.data()));
                vector->row16(wa.data(), stride, wb.data(), stride, blocks, reinterpret_cast<int64_t(*)[4]>(got16.data()));
                ASSERT_EQ(got16, want16) << depth << "-bit, " << blocks << " blocks, start " << start;
                std::vector<int64_t> bottom16(want16.size());
                for (int z = 0; z < blocks; ++z)
                    for (int k = 0; k < 4; ++k) bottom16[4 * z + k] = want16[4 * (blocks - 1 - z) + k];
                const int64_t c1 = 6698, c2 = 3797644; // 10-bit constants; both paths take them as given
                const auto* t16 = reinterpret_cast<const int64_t(*)[4]>(want16.data());
                const auto* u16 = reinterpret_cast<const int64_t(*)[4]>(bottom16.data());
                ASSERT_EQ(vector->windows16(t16, u16, blocks - 1, c1, c2), scalar->windows16(t16, u16, blocks - 1, c1, c2))
                    << depth << "-bit windows, " << blocks << " blocks";
            }
        }
}

// Whole frames through either path give the same lines, deep ones included.
TEST(Ssim, EveryPathGivesTheSameFrames) {
    const ClipRecipe recipes[] = {{"yuv420p", 101, 37, 2, 5}, {"yuv444p10le", 66, 35, 2, 6},
                              {"gray16le", 45, 44, 2, 7}};
    for (const ClipRecipe& recipe : recipes) {
        ClipPair pair;
        ASSERT_TRUE(makeClipPair(&recipe, &pair));
        for (const char* name : {"scalar", "avx2"}) {
            const SsimRows* rows = ssimRowsNamed(name);
            if (!rows) continue;
            for (int f = 0; f < recipe.frames; ++f) {
                const MetricFrame a = clipFrame(&pair, false, f), b = clipFrame(&pair, true, f);
                SsimFrame mine, reference;
                ASSERT_TRUE(ssimFrameWith(rows, &a, &b, &mine));
                ASSERT_TRUE(ssimFrameWith(ssimRowsNamed("scalar"), &a, &b, &reference));
                EXPECT_EQ(mine.all, reference.all) << recipe.pixelFormat << " " << name;
                for (int p = 0; p < pair.planes; ++p) EXPECT_EQ(mine.plane[p], reference.plane[p]) << p;
            }
        }
    }
}

// Listings FFmpeg 5.1's ssim filter wrote for these clips (made by
// makeClipPair): odd sizes, 4:2:0, 4:2:2, 4:4:4 and grey, 8 and 10 bits.
struct Fixture {
    ClipRecipe recipe;
    const char* lines; // the stats file
    const char* summary;
};

const Fixture fixtures[] = {
#include "tests/ssim_fixtures.inc"
};

TEST(Ssim, EqualsFfmpegListingsKeptHere) {
    for (const Fixture& fixture : fixtures) {
        ClipPair pair;
        ASSERT_TRUE(makeClipPair(&fixture.recipe, &pair));
        std::vector<std::string> lines;
        std::string summary, joined;
        ourListing(fixture.recipe, pair, &lines, &summary);
        for (const std::string& line : lines) joined += line;
        EXPECT_EQ(joined, fixture.lines) << fixture.recipe.pixelFormat << " " << fixture.recipe.width << "x"
                                         << fixture.recipe.height;
        EXPECT_EQ(summary, fixture.summary) << fixture.recipe.pixelFormat;
    }
}

// The same against the ffmpeg binary itself, where there is one, on more
// and larger clips. FFmpeg's x86 vector code goes wrong on 8-bit planes whose
// width holds 4k + 2 blocks of 4 (8-11, 24-27, ... samples wide): its own C
// code, asked for with -cpuflags 0, is the reference there.
TEST(Ssim, EqualsTheFfmpegBinary) {
    if (!ffmpegRuns()) GTEST_SKIP() << "no ffmpeg here";
    const struct {
        ClipRecipe recipe;
        const char* options;
    } cases[] = {
        {{"yuv420p", 352, 288, 4, 21}, ""},     {{"yuv420p", 183, 143, 4, 22}, ""},
        {{"yuv422p", 129, 67, 3, 23}, ""},      {{"yuv444p", 96, 50, 3, 24}, ""},
        {{"gray", 61, 99, 3, 25}, ""},          {{"yuv420p10le", 353, 287, 3, 26}, ""},
        {{"yuv422p10le", 88, 41, 3, 27}, ""},   {{"yuv444p10le", 41, 40, 3, 28}, ""},
        {{"gray10le", 102, 33, 3, 29}, ""},     {{"yuv420p12le", 64, 64, 2, 30}, ""},
        {{"yuv420p", 176, 144, 3, 31}, "-cpuflags 0"}, {{"gray", 40, 16, 3, 32}, "-cpuflags 0"},
        // Chroma planes without a whole window: -nan for them and for the frame.
        {{"yuv420p", 9, 9, 2, 33}, "-cpuflags 0"},      {{"yuv422p", 12, 8, 2, 34}, "-cpuflags 0"},
        {{"yuv420p10le", 13, 14, 2, 35}, ""},          {{"yuv420p", 16, 16, 2, 36}, "-cpuflags 0"},
    };
    for (const auto& c : cases) {
        ClipPair pair;
        ASSERT_TRUE(makeClipPair(&c.recipe, &pair));
        std::vector<std::string> want, got;
        std::string wantSummary, gotSummary;
        ASSERT_TRUE(ffmpegListing(&c.recipe, &pair, "ssim", c.options, &want, &wantSummary)) << c.recipe.pixelFormat;
        ourListing(c.recipe, pair, &got, &gotSummary);
        EXPECT_EQ(got, want) << c.recipe.pixelFormat << " " << c.recipe.width << "x" << c.recipe.height;
        EXPECT_EQ(gotSummary, wantSummary) << c.recipe.pixelFormat << " " << c.recipe.width << "x" << c.recipe.height;
    }
}

} // namespace
