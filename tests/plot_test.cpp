#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "snap/report/plot.h"
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

} // namespace
