// Every colour path this CPU runs, byte for byte against the reference. A
// path the CPU lacks is left out (and named in the test's output).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "render/colour_rows.h"
#include "tests/test_files.h"

namespace {

struct Path {
    std::string name;
    ColourRow row;
    ColourRowPair pair; // nullptr when the path has none
};

// The fast paths present here; the reference is what they are held to.
std::vector<Path> fastPaths() {
    std::vector<Path> paths;
    for (const char* name : colourPathNames) {
        if (strcmp(name, "reference") == 0) continue;
        ColourRow row = colourRowNamed(name);
        if (row) paths.push_back({name, row, colourRowPairNamed(name)});
        else std::printf("[ skipped  ] colour path %s: not on this CPU or build\n", name);
    }
    return paths;
}

TEST(ColourPaths, NamesAndChoice) {
    EXPECT_EQ(colourRowNamed("reference"), colourRowReference);
    EXPECT_EQ(colourRowNamed("scalar"), colourRowScalar);
    EXPECT_EQ(colourRowNamed("sse9"), nullptr);
    EXPECT_EQ(colourRowNamed(nullptr), nullptr);
    EXPECT_EQ(colourRowPairNamed("reference"), nullptr);
    EXPECT_EQ(colourRowPairNamed("sse9"), nullptr);
    const char* fastest = fastestColourPath();
    ASSERT_NE(colourRowNamed(fastest), nullptr);
    // Nothing faster than the chosen one is available.
    bool after = false;
    for (const char* name : colourPathNames) {
        if (after) {
            EXPECT_EQ(colourRowNamed(name), nullptr) << name;
        }
        if (strcmp(name, fastest) == 0) after = true;
    }
    EXPECT_TRUE(after);
}

// All 2^24 triples: for each (u, v) pair one row of 256 pixels holding every
// y once, with the chroma laid out one sample per pixel so that the vector
// rows take their full steps. The y values turn with the pair, so each y
// meets every lane position.
TEST(ColourPaths, ExhaustiveTriplesMatchTheReference) {
    const std::vector<Path> paths = fastPaths();
    std::vector<uint8_t> y(256), u(256), v(256), expected(3 * 256), got(3 * 256);
    std::vector<long> wrong(paths.size(), 0);
    std::vector<std::string> firstWrong(paths.size());
    for (int cu = 0; cu < 256; ++cu) {
        memset(u.data(), cu, 256);
        for (int cv = 0; cv < 256; ++cv) {
            memset(v.data(), cv, 256);
            for (int i = 0; i < 256; ++i) y[i] = static_cast<uint8_t>(i + cu + 3 * cv);
            colourRowReference(y.data(), u.data(), v.data(), expected.data(), 256, 1, 256);
            for (size_t p = 0; p < paths.size(); ++p) {
                paths[p].row(y.data(), u.data(), v.data(), got.data(), 256, 1, 256);
                if (memcmp(got.data(), expected.data(), got.size()) == 0) continue;
                for (int i = 0; i < 3 * 256; ++i) {
                    if (got[i] == expected[i]) continue;
                    if (wrong[p]++ == 0)
                        firstWrong[p] = "y " + std::to_string(y[i / 3]) + " u " + std::to_string(cu) +
                                        " v " + std::to_string(cv) + " byte " + std::to_string(i % 3);
                }
            }
        }
    }
    for (size_t p = 0; p < paths.size(); ++p)
        EXPECT_EQ(wrong[p], 0) << paths[p].name << ", first at " << firstWrong[p];
}

// Rows at every width from 1 to 70 and every chroma step, in buffers of exactly
// the bytes the row may touch, starting on odd addresses too: the sanitizer
// sees any read or write past an end.
TEST(ColourPaths, RowsInExactBuffers) {
    uint32_t start = 7;
    for (const Path& path : fastPaths()) {
        for (int factor : {1, 2, 3, 4}) {
            for (int width = 1; width <= 70; ++width) {
                const int floorWidth = width / factor > 0 ? width / factor : 1;
                const int ceilWidth = (width + factor - 1) / factor;
                for (int chromaWidth : {1, floorWidth, ceilWidth}) {
                    for (int skew : {0, 1, 3}) {
                        std::vector<uint8_t> yb = randomBytes(size_t(width + skew), start++);
                        std::vector<uint8_t> ub = randomBytes(size_t(chromaWidth + skew), start++);
                        std::vector<uint8_t> vb = randomBytes(size_t(chromaWidth + skew), start++);
                        std::vector<uint8_t> out(size_t(3 * width + skew)), expected(size_t(3 * width));
                        colourRowReference(yb.data() + skew, ub.data() + skew, vb.data() + skew,
                                           expected.data(), width, factor, chromaWidth);
                        path.row(yb.data() + skew, ub.data() + skew, vb.data() + skew,
                                 out.data() + skew, width, factor, chromaWidth);
                        ASSERT_EQ(std::vector<uint8_t>(out.begin() + skew, out.end()), expected)
                            << path.name << " width " << width << " factor " << factor
                            << " chroma " << chromaWidth << " skew " << skew;
                        if (!path.pair) continue;
                        // A second row of its own under the same chroma.
                        std::vector<uint8_t> yb1 = randomBytes(size_t(width + skew), start++);
                        std::vector<uint8_t> out1(size_t(3 * width + skew)), expected1(size_t(3 * width));
                        colourRowReference(yb1.data() + skew, ub.data() + skew, vb.data() + skew,
                                           expected1.data(), width, factor, chromaWidth);
                        std::fill(out.begin(), out.end(), 0);
                        path.pair(yb.data() + skew, yb1.data() + skew, ub.data() + skew, vb.data() + skew,
                                  out.data() + skew, out1.data() + skew, width, factor, chromaWidth);
                        ASSERT_EQ(std::vector<uint8_t>(out.begin() + skew, out.end()), expected)
                            << path.name << " pair, first row, width " << width << " factor " << factor;
                        ASSERT_EQ(std::vector<uint8_t>(out1.begin() + skew, out1.end()), expected1)
                            << path.name << " pair, second row, width " << width << " factor " << factor;
                    }
                }
            }
        }
    }
}

// Whole pictures at every format, odd sizes included, through the builder's
// own chroma stepping and clamping; rows of odd widths start unaligned.
TEST(ColourPaths, PicturesMatchTheReference) {
    std::vector<std::pair<int, int>> sizes;
    for (int w = 1; w <= 70; ++w)
        for (int h : {1, 2, 3, 5}) sizes.push_back({w, h});
    for (int w : {127, 128, 129, 352, 353, 1921}) sizes.push_back({w, 3});
    uint32_t start = 1000;
    for (const Path& path : fastPaths()) {
        for (const ChromaFormat& format : chromaFormats) {
            for (const auto& size : sizes) {
                const int w = size.first, h = size.second;
                const int cw = w / format.horizontalFactor, ch = h / format.verticalFactor;
                std::vector<uint8_t> frame = randomBytes(size_t(w * h + 2 * cw * ch), start++);
                VideoFile video;
                ASSERT_TRUE(openFrameBytes(&video, frame, w, h, format.code));
                const size_t bytes = size_t(pictureStride(w, 24) * h);
                std::vector<uint8_t> bits(bytes, 0xA5), paired(bytes, 0xA5), reference(bytes, 0xA5);
                buildColourPictureWith(&video, video.format, bits.data(), path.row);
                buildColourPictureWith(&video, video.format, paired.data(), path.row, path.pair);
                buildColourPictureReference(&video, video.format, reference.data());
                closeVideo(&video);
                ASSERT_EQ(bits, reference) << path.name << " " << format.name << " " << w << "x" << h;
                ASSERT_EQ(paired, reference) << path.name << " pairs " << format.name << " " << w << "x" << h;
            }
        }
    }
}

} // namespace
