#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "snap/metric/metric.h"
#include "snap/format/frame_format.h"
#include "snap/metric/psnr.h"
#include "snap/report/html_report.h"
#include "snap/report/plot.h"
#include "snap/report/pooled.h"
#include "snap/report/worst_frames.h"
#include "tests/test_files.h"

namespace {

// The y coordinates of every point of every curve, and how many times the
// curves start afresh.
std::vector<double> curveHeights(const std::string& svg, int* moves = nullptr) {
    std::vector<double> heights;
    if (moves) *moves = 0;
    for (size_t at = svg.find(" d=\""); at != std::string::npos; at = svg.find(" d=\"", at + 1)) {
        const char* c = svg.c_str() + at + 4;
        while (*c && *c != '"') {
            if (*c == 'M' && moves) ++*moves;
            if (*c == 'M' || *c == 'L') {
                char* end;
                strtod(c + 1, &end);
                heights.push_back(strtod(end, &end));
                c = end;
            } else {
                ++c;
            }
        }
    }
    return heights;
}

// Hands the picture to programs that read it the way a browser does: an XML
// parser and a real SVG renderer, where this machine has them.
void checkWithOtherPrograms(const std::string& svg, const char* name) {
#ifdef _WIN32
    (void)svg, (void)name;
#else
    const std::string path = writeBytes(name, std::vector<uint8_t>(svg.begin(), svg.end()));
    if (system("python3 -c '' >/dev/null 2>&1") == 0) {
        EXPECT_EQ(system(("python3 -c 'import sys, xml.etree.ElementTree as E; E.parse(sys.argv[1])' " + path).c_str()), 0)
            << name << " is not well-formed XML";
    }
    if (system("rsvg-convert --version >/dev/null 2>&1") == 0) {
        EXPECT_EQ(system(("rsvg-convert -o " + path + ".png " + path).c_str()), 0) << name << " does not render";
    }
#endif
}

TEST(Plot, TenFramesEveryPointLabelsAndTheWorstFrame) {
    std::vector<double> y = {40, 41, 42, 39, 38, 20, 41, INFINITY, 42, 43};
    std::vector<double> average = {41, 42, 43, 40, 39, 21.5, 42, INFINITY, 43, 44};
    std::vector<double> ssim = {15, 16, 17, NAN, 16, 9.25, 16, INFINITY, 17, 18};
    const PlotSeries series[] = {{"PSNR Y", "#1f77b4", y.data(), 0},
                                 {"PSNR average", "#2ca02c", average.data(), 1},
                                 {"SSIM All (dB)", "#d62728", ssim.data(), 1}};
    PlotInput input = {10, 1, series, 3, "a <&> b.yuv"};
    std::string svg;
    ASSERT_TRUE(buildPlotSvg(&input, &svg));
    EXPECT_EQ(svg.find("<?xml"), 0u);
    EXPECT_NE(svg.find("a &lt;&amp;&gt; b.yuv"), std::string::npos);
    for (const char* word : {">frame<", ">dB<", ">PSNR Y<", ">PSNR average<", ">SSIM All (dB)<",
                             "worst PSNR average: frame 6, 21.50 dB", "worst SSIM All (dB): frame 6, 9.25 dB",
                             ">1<", ">10<", "(inf) on the top edge"})
        EXPECT_NE(svg.find(word), std::string::npos) << word;
    // Ten points each, the NaN a gap: one more move for the SSIM curve.
    int moves;
    EXPECT_EQ(curveHeights(svg, &moves).size(), 29u);
    EXPECT_EQ(moves, 4);
    checkWithOtherPrograms(svg, "ten.svg");
}

// 100,000 frames: a few points per pixel column, and the one deep dip and the
// one peak still drawn.
TEST(Plot, ManyFramesAreThinnedButKeepTheExtremes) {
    const int64_t frames = 100000;
    std::vector<double> y(frames);
    for (int64_t i = 0; i < frames; ++i) y[i] = 40 + 2 * sin(double(i) / 500);
    y[54321] = 12.5;
    y[777] = 60;
    const PlotSeries series[] = {{"PSNR Y", "#1f77b4", y.data(), 1}};
    PlotInput input = {frames, 1, series, 1, nullptr};
    std::string svg;
    ASSERT_TRUE(buildPlotSvg(&input, &svg));
    const std::vector<double> heights = curveHeights(svg);
    EXPECT_LT(heights.size(), 2000u);
    EXPECT_LT(svg.size(), 100000u);
    double lowest = 1e9, highest = -1e9;
    for (double h : heights) lowest = std::min(lowest, h), highest = std::max(highest, h);
    // The dip is the largest y coordinate, the peak the smallest; both at the scale's ends.
    EXPECT_NE(svg.find("worst PSNR Y: frame 54322, 12.50 dB"), std::string::npos);
    EXPECT_NE(svg.find(">100000<"), std::string::npos);
    const size_t circle = svg.find("<circle");
    ASSERT_NE(circle, std::string::npos);
    EXPECT_DOUBLE_EQ(strtod(svg.c_str() + svg.find("cy=\"", circle) + 4, nullptr), highest);
    EXPECT_LT(lowest, 60.0);
    checkWithOtherPrograms(svg, "many.svg");
}

TEST(Plot, NothingToDrawOrNothingFinite) {
    std::vector<double> same(5, INFINITY);
    const PlotSeries series[] = {{"PSNR Y", "#1f77b4", same.data(), 0},
                                 {"PSNR average", "#2ca02c", same.data(), 1}};
    PlotInput none = {5, 1, series, 0, nullptr};
    PlotInput empty = {0, 1, series, 1, nullptr};
    PlotInput identical = {5, 0, series, 2, nullptr};
    std::string svg;
    EXPECT_FALSE(buildPlotSvg(&none, &svg));
    EXPECT_FALSE(buildPlotSvg(&empty, &svg));
    ASSERT_TRUE(buildPlotSvg(&identical, &svg));
    EXPECT_NE(svg.find("worst PSNR average: frame 0, inf"), std::string::npos);
    EXPECT_EQ(svg.find("nan"), std::string::npos);
    checkWithOtherPrograms(svg, "identical.svg");
}

// Titles come from file names: bytes that are not UTF-8 become U+FFFD, and
// long names lose their middle, never a character's half, before the legend.
TEST(Plot, TitlesAreUtf8AndShortenedInTheMiddle) {
    const struct {
        const char* text;
        size_t characters;
        const char* shortened;
    } cases[] = {
        {"short.yuv", 9, "short.yuv"},
        {"abcdefghij", 5, "ab\u2026ij"},
        {"abcdefghij", 4, "ab\u2026j"},
        {"\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9", 4, "\u00e9\u00e9\u2026\u00e9"},
        {"a\xff\xfe\xc3" "bcd", 4, "a\xff\u2026d"},
    };
    for (const auto& c : cases) EXPECT_EQ(shortenedInMiddle(c.text, c.characters), c.shortened) << c.text;

    std::vector<double> y = {30, 31, 29};
    const PlotSeries series[] = {{"PSNR Y", "#1f77b4", y.data(), 1}};
    // Replaced as the JSON writer replaces them: a cut-short character is one U+FFFD.
    const std::string title = "bad\xff\xc3(\xed\xa0\x80)\xe2\x82" + std::string(200, 'n') + ".yuv against b.yuv";
    PlotInput input = {3, 0, series, 1, title.c_str()};
    std::string svg;
    ASSERT_TRUE(buildPlotSvg(&input, &svg));
    const std::string bold = "font-weight=\"bold\">";
    const size_t start = svg.find(bold) + bold.size(), end = svg.find("</text>", start);
    EXPECT_EQ(svg.substr(start, end - start).find("bad\xef\xbf\xbd\xef\xbf\xbd(\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd)\xef\xbf\xbdn"), 0u);
    EXPECT_NE(svg.find("n\u2026n"), std::string::npos);
    EXPECT_NE(svg.find(".yuv against b.yuv</text>"), std::string::npos);
    EXPECT_LT(end - start, 120u);
    EXPECT_NE(svg.find("worst PSNR Y: frame 2, 29.00 dB"), std::string::npos);
    checkWithOtherPrograms(svg, "title.svg");
}

// Percentiles as Python's statistics.quantiles(data, n=100, method="inclusive")
// gives them (the values worked by hand: j, delta = divmod(p * (n - 1), 100)).
TEST(Report, PercentilesInterpolateBetweenClosestRanks) {
    const struct {
        std::vector<double> sorted;
        int p;
        double want;
    } cases[] = {
        {{10}, 25, 10},                     // one value is every percentile
        {{10, 20}, 1, 10.1},                // (10 * 99 + 20 * 1) / 100
        {{10, 20}, 50, 15},
        {{1, 2, 3, 4, 5}, 25, 2},           // p * 4 = 100: on a rank
        {{1, 2, 3, 4, 5}, 10, 1.4},
        {{1, 2, 3, 4, 5}, 5, 1.2},
        {{0, 100, 200, INFINITY}, 50, 150},
        {{0, 100, INFINITY}, 50, 100},      // on the rank below an infinity: no 0 x inf
        {{0, 100, INFINITY}, 51, INFINITY},
        {{}, 50, NAN},
    };
    for (const auto& c : cases) {
        const double got = inclusivePercentile(c.sorted.data(), c.sorted.size(), c.p);
        if (std::isnan(c.want)) EXPECT_TRUE(std::isnan(got));
        else EXPECT_DOUBLE_EQ(got, c.want) << c.p << " of " << c.sorted.size();
    }
}

TEST(Report, PoolingLeavesOutNanAndTakesDecibelsOverTheirError) {
    PooledFigure pooled;
    const std::vector<double> plain = {4, NAN, 1, 4};
    poolValues(plain.data(), plain.size(), 0, &pooled);
    EXPECT_EQ(pooled.count, 3);
    EXPECT_EQ(pooled.min, 1);
    EXPECT_EQ(pooled.max, 4);
    EXPECT_DOUBLE_EQ(pooled.mean, 3);
    EXPECT_DOUBLE_EQ(pooled.harmonicMean, 2); // 3 / (1/4 + 1 + 1/4)
    EXPECT_DOUBLE_EQ(pooled.percentile[4], 4);
    // 10 dB and 20 dB are errors of 0.1 and 0.01: their mean 0.055 is 12.596 dB.
    const std::vector<double> decibels = {10, 20, INFINITY};
    poolValues(decibels.data(), decibels.size(), 1, &pooled);
    EXPECT_DOUBLE_EQ(pooled.mean, -10 * log10(0.11 / 3));
    EXPECT_EQ(pooled.max, INFINITY);
    EXPECT_DOUBLE_EQ(pooled.harmonicMean, 3 / (0.1 + 0.05));
    const std::vector<double> same = {INFINITY, INFINITY};
    poolValues(same.data(), same.size(), 1, &pooled);
    EXPECT_EQ(pooled.mean, INFINITY);
    EXPECT_EQ(pooled.harmonicMean, INFINITY);
    const std::vector<double> negative = {-1, 2};
    poolValues(negative.data(), negative.size(), 0, &pooled);
    EXPECT_TRUE(std::isnan(pooled.harmonicMean));
    poolValues(nullptr, 0, 0, &pooled);
    EXPECT_EQ(pooled.count, 0);
    EXPECT_TRUE(std::isnan(pooled.min) && std::isnan(pooled.percentile[0]));
}

TEST(Report, PicturesShrinkByWholeBoxes) {
    const struct {
        int32_t width, most;
        int factor;
    } factors[] = {{640, 640, 1}, {641, 640, 2}, {1280, 640, 2}, {1920, 640, 3}, {3840, 640, 6}, {1, 640, 1}};
    for (const auto& f : factors) EXPECT_EQ(scaleFactorFor(f.width, f.most), f.factor) << f.width;
    // 5 x 3 grey by 2: two boxes across, one down; the rest left out; means rounded.
    const std::vector<uint8_t> grey = {0, 1, 10, 20, 99,
                                       2, 2, 30, 41, 99,
                                       99, 99, 99, 99, 99};
    const FrameGeometry greyGeometry = {findFrameFormat("gray"), 5, 3, CHROMA_ROUNDED_UP};
    FrameGeometry scaled;
    std::vector<uint8_t> out;
    ASSERT_TRUE(scaleFrame(&greyGeometry, grey.data(), 2, &scaled, &out));
    EXPECT_EQ(scaled.width, 2);
    EXPECT_EQ(scaled.height, 1);
    EXPECT_EQ(out, (std::vector<uint8_t>{1, 25}));
    // 4:2:0 of 3 x 2 by 2, chroma rounded up: Y is 1 x 1 of the top-left box,
    // chroma 1 x 1 of its own 2 x 1 plane; 10-bit samples stay 10-bit.
    const std::vector<uint16_t> deep = {100, 200, 999, 300, 400, 999, /* U */ 7, 9, /* V */ 1000, 1001};
    const FrameGeometry deepGeometry = {findFrameFormat("yuv420p10le"), 3, 2, CHROMA_ROUNDED_UP};
    ASSERT_TRUE(scaleFrame(&deepGeometry, reinterpret_cast<const uint8_t*>(deep.data()), 2, &scaled, &out));
    ASSERT_EQ(out.size(), 6u);
    const uint16_t* samples = reinterpret_cast<const uint16_t*>(out.data());
    EXPECT_EQ(samples[0], 250);
    EXPECT_EQ(samples[1], 8);
    EXPECT_EQ(samples[2], 1001); // 1000.5 rounds up
    // nv12 comes out planar, U and V apart.
    const std::vector<uint8_t> nv12 = {10, 20, 30, 40, 50, 60, 70, 80, /* U V pairs */ 100, 200, 110, 210};
    const FrameGeometry nv12Geometry = {findFrameFormat("nv12"), 4, 2, CHROMA_ROUNDED_UP};
    ASSERT_TRUE(scaleFrame(&nv12Geometry, nv12.data(), 2, &scaled, &out));
    EXPECT_EQ(scaled.format, findFrameFormat("yuv420p"));
    EXPECT_EQ(out, (std::vector<uint8_t>{35, 55, 105, 205}));
    // A single row stays one row.
    const std::vector<uint8_t> row = {8, 9, 10, 11, 12};
    const FrameGeometry rowGeometry = {findFrameFormat("gray"), 5, 1, CHROMA_ROUNDED_UP};
    ASSERT_TRUE(scaleFrame(&rowGeometry, row.data(), 3, &scaled, &out));
    EXPECT_EQ(out, (std::vector<uint8_t>{9}));
}

TEST(Report, WorstFramesAreHeldWorstFirstAndBase64IsStandard) {
    WorstFrames worst;
    startWorstFrames(&worst, 2, &psnrMetric, 1);
    const double mse[] = {4, 9, 1, 9, 16, 0};
    for (int64_t i = 0; i < 6; ++i) {
        // One plane of 4 samples whose squares give the MSE.
        MetricFigures figures = {};
        *figuresAs<PsnrFrame>(&figures) = {1, 8, {uint64_t(mse[i] * 4)}, {4}};
        const uint8_t frame[2] = {uint8_t(i), uint8_t(10 + i)};
        ASSERT_TRUE(considerWorstFrame(&worst, i, &figures, frame, 1, frame + 1, 1));
    }
    ASSERT_EQ(worst.held.size(), 2u);
    EXPECT_EQ(worst.held[0].index, 4);
    EXPECT_EQ(worst.held[1].index, 1); // on a tie the earlier frame
    EXPECT_EQ(worst.held[0].bytes[0], std::vector<uint8_t>{4});
    EXPECT_EQ(worst.held[1].bytes[1], std::vector<uint8_t>{11});
    startWorstFrames(&worst, 0, &psnrMetric, 1);
    EXPECT_TRUE(worst.held.empty());
    // Without holding, only the numbers are kept: the files are read again.
    startWorstFrames(&worst, 1, &psnrMetric, 0);
    MetricFigures figures = {};
    *figuresAs<PsnrFrame>(&figures) = {1, 8, {4}, {4}};
    const uint8_t frame[2] = {1, 2};
    ASSERT_TRUE(considerWorstFrame(&worst, 9, &figures, frame, 1, frame + 1, 1));
    ASSERT_EQ(worst.held.size(), 1u);
    EXPECT_TRUE(worst.held[0].bytes[0].empty());

    const struct {
        std::string bytes, text;
    } codes[] = {{"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="},
                 {std::string("\xff\xfe\0", 3), "//4A"}};
    for (const auto& c : codes)
        EXPECT_EQ(base64Text(std::vector<uint8_t>(c.bytes.begin(), c.bytes.end())), c.text) << c.text;
    EXPECT_EQ(reportNumber(INFINITY, 2), "inf");
    EXPECT_EQ(reportNumber(NAN, 2), "\u2014");
    EXPECT_EQ(reportNumber(0.9876543, 6), "0.987654");
}

} // namespace
