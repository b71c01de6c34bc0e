// --metric exact: the row scan against a plain loop, the summary's runs of
// frames, and whole runs through the command line at 8 and 10 bits, stored
// planar, as NV12 and as P010, one sample changed in each plane and at the
// frame's last sample.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "snap/metric/exact.h"
#include "snap/snap.h"
#include "tests/snap_run.h"
#include "tests/test_files.h"

namespace {

TEST(Exact, RowScanAgreesWithAPlainLoop) {
    const std::vector<uint8_t> noise = randomBytes(400, 5);
    for (int bytes : {1, 2})
        for (int32_t width = 1; width <= 65; ++width)
            for (int changes : {0, 1, 2, 7}) {
                std::vector<uint16_t> a(size_t(width) + 1), b; // one more: nothing past the row is read
                for (int32_t x = 0; x < width; ++x) a[size_t(x)] = uint16_t(noise[size_t(x)] * (bytes == 2 ? 4 : 1));
                b = a;
                for (int k = 0; k < changes; ++k) b[size_t(noise[size_t(100 + k)] % width)] ^= uint16_t(bytes == 2 ? 0x200 : 1);
                a[size_t(width)] = 1, b[size_t(width)] = 2;
                std::vector<uint8_t> rowA, rowB;
                for (int32_t x = 0; x < width; ++x)
                    for (int i = 0; i < bytes; ++i) {
                        rowA.push_back(uint8_t(a[size_t(x)] >> (8 * i)));
                        rowB.push_back(uint8_t(b[size_t(x)] >> (8 * i)));
                    }
                int64_t count = 0;
                int32_t first = -1;
                for (int32_t x = width - 1; x >= 0; --x)
                    if (a[size_t(x)] != b[size_t(x)]) ++count, first = x;
                int32_t firstX = -2;
                // Deeper rows start on a whole word, as the metric's frames guarantee.
                std::vector<uint16_t> wordsA(rowA.size() / 2 + 1), wordsB(wordsA.size());
                memcpy(wordsA.data(), rowA.data(), rowA.size());
                memcpy(wordsB.data(), rowB.data(), rowB.size());
                const uint8_t* pa = bytes == 1 ? rowA.data() : reinterpret_cast<const uint8_t*>(wordsA.data());
                const uint8_t* pb = bytes == 1 ? rowB.data() : reinterpret_cast<const uint8_t*>(wordsB.data());
                EXPECT_EQ(exactRowDiffers(pa, pb, width, bytes, &firstX), count) << bytes << " " << width;
                EXPECT_EQ(firstX, first) << bytes << " " << width;
            }
}

// Frames added in order join runs; past EXACT_RANGES runs the rest are counted.
TEST(Exact, SummaryNamesRunsOfFramesAndCountsThoseLeftOut) {
    struct Case {
        std::vector<int> differing; // of 100 frames
        const char* frames;         // as the summary names them
    } cases[] = {
        {{3, 7, 8, 9}, "4 of 100 frames differ: 3, 7-9;"},
        {{0}, "1 of 100 frames differs: 0;"},
        {{98, 99}, "2 of 100 frames differ: 98-99;"},
        // 25 runs of one frame: 20 named, 5 more counted.
        {{0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30, 32, 34, 36, 38, 40, 42, 44, 46, 48},
         "25 of 100 frames differ: 0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30, 32, 34, 36, 38 and 5 more;"},
    };
    for (const Case& c : cases) {
        ExactTotals totals;
        clearExactTotals(&totals);
        for (int f = 0; f < 100; ++f) {
            ExactFrame frame = {};
            frame.planes = 3;
            frame.first.frame = f;
            frame.first.plane = -1;
            for (int d : c.differing)
                if (d == f) frame.differing[1] = 2, frame.first = {f, 1, 4, 5, 200, 201};
            addExactFrame(&totals, &frame);
        }
        char text[512];
        formatExactSummary(text, sizeof text, &totals);
        const std::string expected = std::string("EXACT ") + c.frames + " samples y:0 u:" +
                                     std::to_string(2 * c.differing.size()) + " v:0, " +
                                     std::to_string(2 * c.differing.size()) + " in all; first at frame " +
                                     std::to_string(c.differing[0]) + " plane u x:4 y:5 input:200 other:201\n";
        EXPECT_EQ(text, expected);
    }
    // Far frame numbers never overrun the line: the runs stop where it would.
    ExactTotals totals;
    clearExactTotals(&totals);
    for (int64_t f = 0; f < 40; ++f) {
        ExactFrame frame = {};
        frame.planes = 1;
        frame.differing[0] = 1;
        frame.first = {INT64_MAX / 4 + 2 * f, 0, 0, 0, 1, 2};
        addExactFrame(&totals, &frame);
    }
    char text[512];
    const int length = formatExactSummary(text, sizeof text, &totals);
    EXPECT_LT(length, 511);
    EXPECT_NE(std::string(text).find(" more; samples y:40, 40 in all; first at frame"), std::string::npos) << text;
}

// 16x8 4:2:0 frames as sample values: Y (128), U (32), V (32).
constexpr size_t LUMA = 16 * 8, CHROMA = 8 * 4, FRAME = LUMA + 2 * CHROMA;

// The values stored as `layout`: planar at 8 or 10 bits, nv12, or p010le.
std::vector<uint8_t> stored(const std::vector<uint16_t>& values, const std::string& layout) {
    std::vector<uint8_t> bytes;
    auto put = [&](uint16_t v) {
        if (layout == "yuv420p" || layout == "nv12") bytes.push_back(uint8_t(v));
        else if (layout == "p010le") bytes.insert(bytes.end(), {uint8_t(v << 6), uint8_t(v >> 2)});
        else bytes.insert(bytes.end(), {uint8_t(v), uint8_t(v >> 8)});
    };
    for (size_t f = 0; f < values.size() / FRAME; ++f) {
        const uint16_t* frame = values.data() + f * FRAME;
        const bool semiPlanar = layout == "nv12" || layout == "p010le";
        for (size_t i = 0; i < (semiPlanar ? LUMA : FRAME); ++i) put(frame[i]);
        for (size_t i = 0; semiPlanar && i < CHROMA; ++i) put(frame[LUMA + i]), put(frame[LUMA + CHROMA + i]);
    }
    return bytes;
}

struct OneChange {
    const char* input;  // its layout; OTHER's below
    const char* other;
    int frame, plane, x, y; // the sample changed; plane -1 for none
    int otherFrames;        // 3, or fewer for a missing frame
    int status;
};

const OneChange oneChanges[] = {
    {"yuv420p", "yuv420p", 1, 0, 3, 2, 3, 1},
    {"yuv420p", "yuv420p", 0, 1, 7, 0, 3, 1},
    {"yuv420p", "yuv420p", 2, 2, 0, 3, 3, 1},
    {"yuv420p", "yuv420p", 2, 2, 7, 3, 3, 1},   // the frame's last sample
    {"yuv420p10le", "yuv420p10le", 0, 0, 15, 7, 3, 1},
    {"yuv420p10le", "yuv420p10le", 1, 1, 2, 1, 3, 1},
    {"yuv420p10le", "yuv420p10le", 2, 2, 7, 3, 3, 1},
    {"yuv420p", "nv12", 1, 1, 5, 1, 3, 1},
    {"nv12", "yuv420p", 0, 2, 7, 3, 3, 1},
    {"yuv420p10le", "p010le", 2, 2, 7, 3, 3, 1},
    {"p010le", "yuv420p10le", 1, 1, 0, 0, 3, 1},
    {"yuv420p", "yuv420p", 0, -1, 0, 0, 3, 0},
    {"yuv420p10le", "p010le", 0, -1, 0, 0, 3, 0},
    {"nv12", "yuv420p", 0, -1, 0, 0, 3, 0},
    {"yuv420p", "yuv420p", 0, -1, 0, 0, 2, 1}, // a frame missing from OTHER
};

// One case: the clips written as its layouts, compared, and every output checked.
void expectOneChange(const OneChange& c, const std::vector<uint8_t>& noise) {
    const bool deep = strstr(c.input, "10") != nullptr;
    std::vector<uint16_t> a(3 * FRAME), b;
    for (size_t i = 0; i < a.size(); ++i)
        a[i] = deep ? uint16_t((noise[2 * i] | noise[2 * i + 1] << 8) % 1000) : noise[i];
    b = a;
    const size_t width = c.plane == 0 ? 16 : 8;
    const size_t at = size_t(c.frame) * FRAME + (c.plane > 0 ? LUMA + size_t(c.plane - 1) * CHROMA : 0) +
                      size_t(c.y) * width + size_t(c.x);
    const unsigned before = a[at], after = deep ? (before + 23) % 1024 : (before + 1) % 256;
    if (c.plane >= 0) b[at] = uint16_t(after);
    b.resize(size_t(c.otherFrames) * FRAME);
    const std::string what = std::string(c.input) + " " + c.other + " plane " + std::to_string(c.plane);
    const std::string input = writeBytes(std::string("xa_16x8_") + c.input + ".yuv", stored(a, c.input));
    const std::string other = writeBytes(std::string("xb_16x8_") + c.other + ".yuv", stored(b, c.other));
    const std::string lines = scratchPath("x.log"), json = scratchPath("x.json");
    const SnapRun r = snap({"--compare", "--metric", "exact,psnr", input, other, "--exact-stats", lines, "--json", json});
    EXPECT_EQ(r.status, c.status) << what << ": " << r.err;
    const nlohmann::json j = nlohmann::json::parse(readWholeFile(json), nullptr, false);
    const std::string text = readWholeFile(lines);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), c.otherFrames) << what;
    if (c.plane < 0) {
        EXPECT_NE(r.out.find("EXACT identical: " + std::to_string(c.otherFrames) + " frame"), std::string::npos)
            << what << r.out;
        EXPECT_TRUE(j["exact"]["first"].is_null()) << what;
        EXPECT_EQ(j["exact"]["frames_differing"], 0) << what;
        EXPECT_EQ(r.err.find("1 frame is missing") != std::string::npos, c.otherFrames < 3) << what << r.err;
        EXPECT_EQ(j["gate"]["passed"], c.status == 0) << what;
        return;
    }
    const char plane = "yuv"[c.plane];
    char first[128], line[160];
    snprintf(first, sizeof first, "first at frame %d plane %c x:%d y:%d input:%u other:%u\n", c.frame, plane,
             c.x, c.y, before, after);
    snprintf(line, sizeof line, "n:%d y:%d u:%d v:%d first:%c x:%d y:%d input:%u other:%u\n", c.frame + 1,
             c.plane == 0, c.plane == 1, c.plane == 2, plane, c.x, c.y, before, after);
    EXPECT_NE(r.out.find(std::string("EXACT 1 of 3 frames differs: ") + std::to_string(c.frame) + "; samples y:" +
                         std::to_string(c.plane == 0) + " u:" + std::to_string(c.plane == 1) + " v:" +
                         std::to_string(c.plane == 2) + ", 1 in all; " + first),
              std::string::npos) << what << r.out;
    EXPECT_NE(text.find(line), std::string::npos) << what << text;
    EXPECT_EQ(r.err, "corvane-snap: --metric exact fails: 1 of 3 frames, the first frame " + std::to_string(c.frame) + "\n")
        << what;
    const nlohmann::json& e = j["exact"];
    EXPECT_EQ(e["frames_differing"], 1) << what;
    EXPECT_EQ(e["samples_differing"], 1) << what;
    EXPECT_EQ(e["first"], nlohmann::json({{"frame", c.frame}, {"plane", std::string(1, plane)}, {"x", c.x},
                                          {"y", c.y}, {"input", before}, {"other", after}})) << what;
    EXPECT_EQ(j["frames"][size_t(c.frame)]["exact"][std::string(1, plane)], 1) << what;
    EXPECT_EQ(j["frames"][size_t(c.frame)]["exact"]["samples"], 1) << what;
    EXPECT_EQ(j["pooled_metrics"]["exact_all"]["max"], 1) << what;
    EXPECT_EQ(j["exit_status"], 1) << what;
}

TEST(Exact, OneChangedSampleIsFoundInEveryPlaneDepthAndLayout) {
    const std::vector<uint8_t> noise = randomBytes(3 * FRAME * 2, 17);
    for (const OneChange& c : oneChanges) expectOneChange(c, noise);
}

// Frames rank by their differing samples, the most first, in the report;
// the CSV holds each plane's count and the frame's.
TEST(Exact, ReportRanksByDifferingSamplesAndCsvCountsThem) {
    std::vector<uint16_t> a(4 * FRAME);
    const std::vector<uint8_t> noise = randomBytes(a.size(), 23);
    for (size_t i = 0; i < a.size(); ++i) a[i] = uint16_t(noise[i] & 0x7f);
    std::vector<uint16_t> b = a;
    // Frame 0 equal; frame 1: 3 in Y; frame 2: 1 in V; frame 3: 1 in Y and 1 in U.
    for (size_t at : {FRAME + 1, FRAME + 20, FRAME + 127, 3 * FRAME - 1, 3 * FRAME, 3 * FRAME + LUMA}) b[at] += 1;
    const std::string input = writeBytes("ra_16x8.yuv", stored(a, "yuv420p"));
    const std::string other = writeBytes("rb_16x8.yuv", stored(b, "yuv420p"));
    const std::string html = scratchPath("x.html"), csv = scratchPath("x.csv");
    const SnapRun r = snap({"--compare", "--metric", "exact", input, other, "--report", html, "--worst", "3", "--csv", csv});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(readWholeFile(csv), "frame,exact_y,exact_u,exact_v,exact_all\r\n0,0,0,0,0\r\n1,3,0,0,3\r\n"
                             "2,0,0,1,1\r\n3,1,1,0,2\r\n");
    const std::string page = readWholeFile(html);
    EXPECT_NE(page.find("By exact_all, the worst first."), std::string::npos);
    const size_t first = page.find("<h3>Frame 1</h3>"), second = page.find("<h3>Frame 3</h3>"),
                 third = page.find("<h3>Frame 2</h3>");
    ASSERT_NE(third, std::string::npos);
    EXPECT_LT(first, second);
    EXPECT_LT(second, third);
    EXPECT_NE(page.find("--metric exact: 3 of 4 frames failing"), std::string::npos);
    EXPECT_NE(r.out.find("EXACT 3 of 4 frames differ: 1-3; samples y:4 u:1 v:1, 6 in all; first at frame 1 plane y x:1 y:0"),
              std::string::npos) << r.out;
}

} // namespace
