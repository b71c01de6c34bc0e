// --compare's SSIM, JSON, plot and gates, and --diff, through the command line.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "snap/cli/options.h"
#include "snap/metric/metric.h"
#include "snap/modes/diff.h"
#include "snap/snap.h"
#include "tests/snap_run.h"
#include "tests/test_files.h"

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#endif
#include "stb_image.h"
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

// The stats lines split and read, below.
std::vector<std::string> linesOf(const std::string& text);
std::string statsField(const std::string& line, const std::string& key);

namespace {

// Two 4:2:0 clips of `frames` (32x16 unless said): a ramp, and the ramp plus
// `offset[f]` in frame f.
void writePair(const std::string& a, const std::string& b, const std::vector<int>& offset, size_t width = 32,
               size_t height = 16) {
    const size_t frameBytes = width * height * 3 / 2;
    std::vector<uint8_t> x, y;
    for (size_t f = 0; f < offset.size(); ++f)
        for (size_t i = 0; i < frameBytes; ++i) {
            const int v = int((i * 7 + f * 13) % 200) + 20;
            x.push_back(uint8_t(v));
            y.push_back(uint8_t(v + offset[f]));
        }
    writeBytes(a, x);
    writeBytes(b, y);
}

bool haveFfmpeg() {
#ifdef _WIN32
    return false;
#else
    static const bool found = system("ffmpeg -version >/dev/null 2>&1") == 0;
    return found;
#endif
}

TEST(Measure, GatesExitOneErrorsTwo) {
    const std::string a = scratchPath("m_32x16.yuv"), b = scratchPath("n_32x16.yuv");
    const std::string shortFile = scratchPath("s_32x16.yuv");
    writePair(a, b, {0, 3, 0});
    writePair(a + ".x", shortFile, {0, 3});
    const std::string tiny = writeBytes("tiny.yuv", std::vector<uint8_t>(24, 9));
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* message;
    } cases[] = {
        {{"--metric", "ssim", a, b}, 0, ""},
        {{"--metric", "ssim", a, b, "--fail-below-ssim", "0.5"}, 0, ""},
        {{"--metric", "ssim", a, b, "--fail-below-ssim", "1"}, 1,
         "--fail-below-ssim 1 fails: 3 of 3 frames below it, the worst frame 1 at 0.99"},
        {{"--metric", "psnr,ssim", a, b, "--fail-below", "60"}, 1,
         "--fail-below 60 fails: 1 of 3 frames below it, the worst frame 1 at 38.588"},
        {{"--metric", "psnr,ssim", a, b, "--fail-below", "30", "--fail-below-ssim", "0.1"}, 0, ""},
        {{"--metric", "ssim", a, shortFile, "--fail-below-ssim", "0"}, 1, "1 frame is missing"},
        {{"--metric", "ssim", a, shortFile}, 0, "comparing the first 2"},
        {{"--metric", "ssim", a, b, "--fail-below-ssim", "2"}, 2, "from 0 to 1"},
        {{"--metric", "psnr", a, b, "--fail-below-ssim", "0.5"}, 0, ""}, // the gate adds SSIM
        {{"--metric", "ssim", a, b, "--stats", "-"}, 2, "need --metric psnr"},
        {{"--metric", "ssim,ssim", a, b}, 2, "--metric takes"},
        {{"--metric", "ssim", a, b, "--plot", "p.png"}, 2, "name it .svg"},
        {{"--metric", "ssim", a, b, "--json", "-", "--ssim-stats", "-"}, 2, "only one of"},
        {{"--metric", "ssim", "--size", "4x4", tiny, tiny}, 2, "at least 8x8"},
        {{"--metric", "ssim", a, b, "--json", a}, 2, "INPUT"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.insert(args.begin(), "--compare");
        const SnapRun r = snap(args);
        EXPECT_EQ(r.status, c.status) << c.args[1] << " " << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.message << ": " << r.err;
    }
}

// Each row's options, found by the parser through its Metric record, land
// in the job at the row's index and nowhere else; its word asks for its bit.
TEST(Measure, MetricTableRowsAnswerTheirOptions) {
    const struct {
        const char* name;
        const char* statsOption;
        const char* gateOption;
        const char* limit;
        double value;
    } rows[] = {{"psnr", "--stats", "--fail-below", "30", 30},
                {"ssim", "--ssim-stats", "--fail-below-ssim", "0.5", 0.5},
                // Always on, at no differing sample: asking for the metric sets its gate.
                {"exact", "--exact-stats", nullptr, nullptr, 0}};
    ASSERT_EQ(metricCount, 3);
    for (const auto& r : rows) {
        const MetricRow* row = findMetric(r.name);
        ASSERT_NE(row, nullptr) << r.name;
        const int index = int(row - metricTable);
        EXPECT_STREQ(row->metric->statsOption, r.statsOption);
        EXPECT_STREQ(row->metric->gateOption, r.gateOption);
        EXPECT_EQ(row->gateAlways, r.gateOption ? 0 : 1) << r.name;
        const char* argv[] = {"corvane-snap", "--compare", "--metric", r.name, "a", "b",
                              r.statsOption, "s.log", r.gateOption, r.limit};
        SnapJob job;
        char error[256];
        ASSERT_TRUE(parseSnapArguments(r.gateOption ? 10 : 8, argv, &job, error, sizeof error)) << error;
        EXPECT_EQ(job.metrics, metricBit(row)) << r.name;
        for (int i = 0; i < metricCount; ++i) {
            EXPECT_EQ(job.statsPaths[i] != nullptr, i == index) << r.name << " row " << i;
            EXPECT_EQ(job.gateSet[i], i == index ? 1 : 0) << r.name << " row " << i;
        }
        EXPECT_STREQ(job.statsPaths[index], "s.log");
        EXPECT_EQ(job.gateLimit[index], r.value);
    }
    EXPECT_EQ(findMetric("vmaf"), nullptr);
}

// Identical frames give 1 and inf, in the listing and in JSON (as null).
TEST(Measure, JsonSaysWhatTheTextSays) {
    const std::string a = scratchPath("j_32x16.yuv"), b = scratchPath("k_32x16.yuv");
    const std::string stats = scratchPath("j.ssim"), json = scratchPath("j.json");
    writePair(a, b, {0, 5, -9});
    const SnapRun r = snap({"--compare", "--metric", "psnr,ssim", a, b, "--ssim-stats", stats, "--json", json,
                        "--fail-below", "40"});
    ASSERT_EQ(r.status, 1) << r.err;
    const nlohmann::json j = nlohmann::json::parse(readWholeFile(json));
    EXPECT_EQ(j["frames_compared"], 3);
    EXPECT_EQ(j["width"], 32);
    EXPECT_EQ(j["exit_status"], 1);
    EXPECT_EQ(j["gate"]["passed"], false);
    EXPECT_TRUE(j["frames"][0]["psnr"]["psnr_y"].is_null());
    EXPECT_DOUBLE_EQ(double(j["frames"][0]["ssim"]["all"]), 1.0);
    EXPECT_TRUE(j["frames"][0]["ssim"]["all_db"].is_null());
    // Every per-frame SSIM line, rebuilt from the JSON's numbers, is the listing's line.
    std::string rebuilt;
    for (const auto& frame : j["frames"]) {
        const auto& s = frame["ssim"];
        char line[256];
        const double db = s["all_db"].is_null() ? INFINITY : double(s["all_db"]);
        EXPECT_EQ(int(frame["frame"]), int(frame["n"]) - 1); // from 0, as --frame counts
        snprintf(line, sizeof line, "n:%d Y:%f U:%f V:%f All:%f (%s)\n", int(frame["n"]), double(s["y"]),
                 double(s["u"]), double(s["v"]), double(s["all"]),
                 std::isinf(db) ? "inf" : std::to_string(db).c_str());
        rebuilt += line;
    }
    EXPECT_EQ(rebuilt, readWholeFile(stats));
    char summary[256];
    snprintf(summary, sizeof summary, "PSNR y:%f u:%f v:%f average:%f min:%f max:inf\n",
             double(j["psnr"]["y"]), double(j["psnr"]["u"]), double(j["psnr"]["v"]),
             double(j["psnr"]["average"]), double(j["psnr"]["min"]));
    EXPECT_EQ(r.out.substr(0, r.out.find('\n') + 1), summary);

    const SnapRun info = snap({"--info", "--json", "-", a});
    ASSERT_EQ(info.status, 0);
    const nlohmann::json i = nlohmann::json::parse(info.out);
    EXPECT_EQ(i["whole_frames"], 3);
    EXPECT_DOUBLE_EQ(double(i["duration_seconds"]), 3 / 25.0);
    EXPECT_DOUBLE_EQ(double(i["frame_interval_seconds"]), 0.04);
    EXPECT_EQ(i["format"], "4:2:0");
    EXPECT_EQ(i["file"], a);
}

// One picture stored two ways is compared as one; another sampling or depth
// is not. p010le's words read as yuv420p10le are measured as they are, with
// one note for the file however many frames hold them.
TEST(Measure, OnePictureStoredTwoWays) {
    const size_t luma = 16 * 8, chroma = luma / 4, frames = 2;
    const std::vector<uint8_t> planar = randomBytes(frames * (luma + 2 * chroma), 11);
    std::vector<uint8_t> nv12, deep, p010;
    for (size_t f = 0; f < frames; ++f) {
        const uint8_t* frame = planar.data() + f * (luma + 2 * chroma);
        nv12.insert(nv12.end(), frame, frame + luma);
        for (size_t i = 0; i < chroma; ++i) nv12.insert(nv12.end(), {frame[luma + i], frame[luma + chroma + i]});
    }
    for (uint8_t v : planar) deep.insert(deep.end(), {uint8_t(v << 2), uint8_t(v >> 6)});
    for (uint8_t v : nv12) p010.insert(p010.end(), {0, v}); // v << 2 in a word's top ten bits
    const std::string a = writeBytes("a_16x8.yuv", planar), b = writeBytes("b_16x8_nv12.yuv", nv12);
    const std::string c = writeBytes("c_16x8_yuv420p10le.yuv", deep), d = writeBytes("d_16x8_p010le.yuv", p010);
    const std::string e = writeBytes("e_16x8_yuv420p10le.yuv", p010), f = writeBytes("f_16x8_yuv444p.yuv", planar);
    const std::string y4m = scratchPath("a.y4m");
    ASSERT_EQ(snap({a, y4m}).status, 0);
    const struct {
        std::string input, other;
        int status;
        std::string says; // on standard output, else standard error
    } cases[] = {
        {a, b, 0, "PSNR y:inf u:inf v:inf"},       {b, a, 0, "PSNR y:inf u:inf v:inf"},
        {c, d, 0, "PSNR y:inf u:inf v:inf"},       {a, c, 2, "the geometries differ"},
        {f, b, 2, "the geometries differ"},        {c, e, 0, "holds 379 samples above 1023"},
        {y4m, b, 0, "PSNR y:inf u:inf v:inf"},
    };
    for (const auto& k : cases) {
        const SnapRun r = snap({"--compare", k.input, k.other});
        EXPECT_EQ(r.status, k.status) << k.input << " " << k.other << ": " << r.err;
        EXPECT_NE((r.out + r.err).find(k.says), std::string::npos) << r.out << r.err;
        const bool pastDepth = k.other == e;
        EXPECT_EQ(r.err.find("samples above 1023, the largest 10 bits hold") != std::string::npos, pastDepth);
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), pastDepth || k.status == 2 ? 1 : 0) << r.err;
    }
}

// FFmpeg's lines without the blank it leaves at their ends.
std::string trimmedLines(const std::string& text) {
    std::string trimmed;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find('\n', at);
        std::string line = text.substr(at, end - at);
        while (!line.empty() && line.back() == ' ') line.pop_back();
        trimmed += line + "\n";
        if (end == std::string::npos) break;
        at = end + 1;
    }
    return trimmed;
}

int sh(const std::string& command) {
    return system(command.c_str());
}

// FFmpeg's ssim and psnr filters as the oracle: every printed value, per frame
// and summary, for 8 and 10 bits, the chroma formats, grey, and odd sizes as Y4M.
TEST(Measure, SsimAndPsnrEqualFfmpegsListings) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    struct Case {
        const char* size;
        const char* pixelFormat;
        bool y4m;  // stored as YUV4MPEG2 (odd sizes: chroma rounded up, as FFmpeg lays them)
    } cases[] = {
        {"64x48", "yuv420p", false},     {"72x40", "yuv422p", false},    {"40x24", "yuv444p", false},
        {"48x32", "gray", false},        {"64x48", "yuv420p10le", false}, {"40x24", "yuv444p10le", false},
        {"48x32", "gray10le", false},    {"67x45", "yuv420p", true},     {"53x31", "yuv420p10le", true},
        {"36x20", "yuv422p10le", true},
        {"351x287", "yuv420p", false},   {"353x289", "yuv420p", false},  {"351x287", "yuv420p", true},
    };
    for (const Case& c : cases) {
        const std::string ext = c.y4m ? ".y4m" : ".yuv";
        const std::string a = scratchPath(std::string("fa") + ext), b = scratchPath(std::string("fb") + ext);
        const std::string mineSsim = scratchPath("mine.ssim"), mine = scratchPath("mine.psnr");
        const std::string ssim = scratchPath("theirs.ssim"), psnr = scratchPath("theirs.psnr");
        const std::string out = c.y4m ? "-strict -1 -f yuv4mpegpipe" : "-f rawvideo";
        const std::string raw = std::string("-f rawvideo -pix_fmt ") + c.pixelFormat + " -s " + c.size;
        const std::string in = c.y4m ? "" : raw;
        ASSERT_EQ(sh("ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=" + std::string(c.size) +
                     ":rate=25 -frames:v 4 -pix_fmt " + c.pixelFormat + " " + out + " '" + a + "'"), 0);
        // The noise filter works at 8 bits: the result is turned back to the clip's format.
        ASSERT_EQ(sh("ffmpeg -nostdin -v error -y " + in + " -i '" + a + "' -vf noise=alls=25:allf=t -pix_fmt " +
                     c.pixelFormat + " " + out + " '" + b + "'"), 0);
        const std::string log = scratchPath("ffmpeg.log");
        ASSERT_EQ(sh("ffmpeg -nostdin -v info -cpuflags 0 " + in + " -i '" + a + "' " + in + " -i '" + b +
                     "' -lavfi '[0:v]split[a0][a1];[1:v]split[b0][b1];[a0][b0]ssim=stats_file=" + ssim +
                     ";[a1][b1]psnr=stats_file=" + psnr + "' -f null - 2>'" + log + "'"), 0);
        const std::string json = scratchPath("mine.json");
        std::vector<std::string> args = {"--compare", "--metric", "psnr,ssim", a, b, "--ssim-stats", mineSsim,
                                         "--stats", mine, "--json", json};
        if (!c.y4m) args.insert(args.end(), {"--size", c.size, "--format", c.pixelFormat});
        const SnapRun r = snap(args);
        ASSERT_EQ(r.status, 0) << c.pixelFormat << " " << r.err;
        EXPECT_EQ(readWholeFile(mineSsim), trimmedLines(readWholeFile(ssim))) << c.pixelFormat << " " << c.size;
        EXPECT_EQ(readWholeFile(mine), trimmedLines(readWholeFile(psnr))) << c.pixelFormat << " " << c.size;
        const std::string ffmpegLog = readWholeFile(log);
        std::string summaries;
        for (const char* start : {"PSNR y:", "SSIM Y:"}) {
            const size_t at = ffmpegLog.find(start);
            ASSERT_NE(at, std::string::npos);
            summaries += ffmpegLog.substr(at, ffmpegLog.find('\n', at) - at + 1);
        }
        EXPECT_EQ(r.out, summaries) << c.pixelFormat << " " << c.size;
        // YUV-PSNR from FFmpeg's own plane figures: per frame (its lines keep two
        // decimals) and of the whole clip (its summary keeps six).
        if (strstr(c.pixelFormat, "gray")) continue;
        const nlohmann::json j = nlohmann::json::parse(readWholeFile(json));
        const auto yuv = [](double y, double u, double v) { return (6 * y + u + v) / 8; };
        const std::vector<std::string> lines = linesOf(trimmedLines(readWholeFile(psnr)));
        for (size_t f = 0; f < lines.size(); ++f) {
            const std::string line = " " + lines[f];
            EXPECT_NEAR(double(j["frames"][f]["psnr"]["psnr_yuv"]),
                        yuv(std::stod(statsField(line, "psnr_y")), std::stod(statsField(line, "psnr_u")),
                            std::stod(statsField(line, "psnr_v"))), 0.01) << c.pixelFormat << " frame " << f;
        }
        double y, u, v;
        ASSERT_EQ(sscanf(summaries.c_str(), "PSNR y:%lf u:%lf v:%lf", &y, &u, &v), 3);
        EXPECT_NEAR(double(j["psnr"]["psnr_yuv"]), yuv(y, u, v), 1e-5) << c.pixelFormat;
    }
}

// A decoder that emits frames late: OTHER lacks INPUT's first three. The
// offset given either way, found by the search, or not found within too small
// a reach; --frame picks frames counted after the offset.
TEST(Measure, OffsetsPairTheFramesADecoderEmitsLate) {
    const std::string a = scratchPath("late_64x32.yuv"), b = scratchPath("late_b_64x32.yuv");
    ASSERT_EQ(snap({"--make-sample", "64x32", "12", a}).status, 0);
    ASSERT_EQ(snap({"--frame", "3-11", a, b}).status, 0);
    struct Row {
        std::vector<std::string> args;
        int status;
        const char* said;
    } rows[] = {
        {{"--offset", "-3", a, b}, 0, "comparing frames 3 to 11 of"},
        {{"--offset", "3", b, a}, 0, "with frames 3 to 11 of"},
        {{"--offset", "0", a, b}, 1, "--fail-below 99 fails: 9 of 9 frames below it"},
        {{"--offset", "auto", a, b}, 0, "--offset auto: -3, INPUT's first 3 frames left out"},
        {{"--offset", "auto", b, a}, 0, "--offset auto: 3, OTHER's first 3 frames left out"},
        {{"--offset", "auto=2", a, b}, 1, "--offset auto: "},
        {{"--offset", "-3", "--frame", "7-20", a, b}, 0, "comparing frames 10 to 11 of"},
        {{"--offset", "-3", "--frame", "9", a, b}, 2, "frame 9 is past the end: the inputs share 9 whole frames"},
        {{"--offset", "12", a, b}, 2, "--offset leaves no frame of"},
        // The exact comparison, read and measured pair by pair, numbers frames as the others do.
        {{"--metric", "exact,psnr", "--offset", "-3", "--frame", "7-20", a, b}, 0, "comparing frames 10 to 11 of"},
        {{"--metric", "psnr,exact", "--offset", "-2", "--frame", "5-6", a, b}, 1,
         "--metric exact fails: 2 of 2 frames, the first frame 5"},
        {{"--metric", "exact,psnr", "--offset", "3", a, b}, 1, "--metric exact fails: 6 of 6 frames, the first frame 0"},
    };
    for (Row& row : rows) {
        row.args.insert(row.args.begin(), "--compare");
        row.args.insert(row.args.end(), {"--fail-below", "99", "--stats", "-"});
        const SnapRun r = snap(row.args);
        EXPECT_EQ(r.status, row.status) << row.args[2] << " " << r.err;
        EXPECT_NE(r.err.find(row.said), std::string::npos) << r.err;
    }
    // The lines number the frames compared, after the offset.
    const SnapRun r = snap({"--compare", "--offset", "-3", "--frame", "7-20", a, b, "--stats", "-"});
    EXPECT_EQ(r.out.rfind("n:8 ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\nn:9 "), std::string::npos) << r.out;
}

TEST(Measure, PlotIsXmlAndRenders) {
    const std::string a = scratchPath("p_32x16.yuv"), b = scratchPath("q_32x16.yuv"), svg = scratchPath("p.svg");
    writePair(a, b, {0, 1, 4, 2, 8, 1, 0, 3, 2, 1});
    ASSERT_EQ(snap({"--compare", "--metric", "psnr,ssim", a, b, "--plot", svg}).status, 0);
    const std::string text = readWholeFile(svg);
    EXPECT_EQ(text.rfind("<svg", 0) == 0 || text.rfind("<?xml", 0) == 0, true);
    // The offset of 8 is frame 4 as --frame counts.
    EXPECT_NE(text.find("worst PSNR average: frame 4, 30.07 dB"), std::string::npos);
    // Each curve's worst frame is marked.
    EXPECT_NE(text.find("worst PSNR Y: frame 4, "), std::string::npos);
    EXPECT_NE(text.find("worst SSIM All (dB): frame 4, "), std::string::npos);
#ifndef _WIN32
    if (system("xmllint --version >/dev/null 2>&1") == 0) {
        EXPECT_EQ(system(("xmllint --noout '" + svg + "'").c_str()), 0);
    }
    if (system("rsvg-convert --version >/dev/null 2>&1") == 0) {
        const std::string png = scratchPath("p.png");
        EXPECT_EQ(system(("rsvg-convert -o '" + png + "' '" + svg + "'").c_str()), 0);
        EXPECT_GT(std::filesystem::file_size(png), 1000u);
    }
#endif
}

TEST(Measure, DifferencePictureOfAKnownPair) {
    struct Case {
        int depth, gain;
        std::vector<int> a, b;
        std::vector<uint8_t> want;
    } cases[] = {
        {8, 1, {10, 200, 0, 255}, {10, 190, 255, 0}, {128, 138, 0, 255}},
        {8, 4, {100, 100, 100}, {99, 101, 131}, {132, 124, 4}},
        {10, 1, {400, 400, 1023, 0}, {396, 402, 0, 1023}, {129, 127, 255, 0}},
        {10, 64, {401, 0}, {400, 0}, {144, 128}},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> a, b, out(c.a.size());
        for (size_t i = 0; i < c.a.size(); ++i) {
            if (c.depth == 8) {
                a.push_back(uint8_t(c.a[i]));
                b.push_back(uint8_t(c.b[i]));
            } else {
                a.insert(a.end(), {uint8_t(c.a[i] & 255), uint8_t(c.a[i] >> 8)});
                b.insert(b.end(), {uint8_t(c.b[i] & 255), uint8_t(c.b[i] >> 8)});
            }
        }
        diffPlane(a.data(), b.data(), int64_t(c.a.size()), c.depth, c.gain, out.data());
        EXPECT_EQ(out, c.want) << c.depth << " " << c.gain;
    }
    // Through the command line: 4:2:0 as --separate lays it out, one file per frame.
    const std::string x = scratchPath("x_32x16.yuv"), y = scratchPath("y_32x16.yuv");
    writePair(x, y, {0, 2});
    const std::string pattern = scratchPath("d_%d.bmp");
    ASSERT_EQ(snap({"--diff", "--gain", "3", "--frame", "all", x, y, pattern}).status, 0);
    const std::string second = readWholeFile(scratchPath("d_1.bmp"));
    ASSERT_EQ(second.size(), 1078u + 48 * 16);
    EXPECT_EQ(uint8_t(second[1078]), 122);  // 128 + 3 x (-2), bottom row first
    EXPECT_EQ(uint8_t(readWholeFile(scratchPath("d_0.bmp"))[1078]), 128);
    EXPECT_EQ(snap({"--diff", "--gain", "65", x, y, pattern}).status, 2);
    EXPECT_EQ(snap({"--diff", x, y, x}).status, 2);
}

} // namespace

// The CSV's cells, row by row; every line must end in CR LF.
std::vector<std::vector<std::string>> csvRows(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find("\r\n", at);
        EXPECT_NE(end, std::string::npos) << "a line without CR LF";
        if (end == std::string::npos) break;
        std::vector<std::string> cells(1);
        for (size_t i = at; i < end; ++i) {
            if (text[i] == ',') cells.emplace_back();
            else cells.back() += text[i];
        }
        rows.push_back(cells);
        at = end + 2;
    }
    return rows;
}

// The value after "key:" in a stats line, as printed.
std::string statsField(const std::string& line, const std::string& key) {
    const size_t at = line.find(" " + key + ":");
    if (at == std::string::npos) return "?";
    const size_t start = at + key.size() + 2;
    return line.substr(start, line.find_first_of(" \n", start) - start);
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(text.substr(at, end - at));
    return lines;
}

TEST(Measure, CsvHoldsTheStatsFilesFiguresInFull) {
    const std::string a = scratchPath("c_32x16.yuv"), b = scratchPath("d_32x16.yuv");
    const std::string stats = scratchPath("c.log"), ssim = scratchPath("c.ssim"), csv = scratchPath("c.csv");
    const std::string json = scratchPath("c.json");
    writePair(a, b, {0, 3, -7, 1, 12});
    const SnapRun r = snap({"--compare", "--metric", "psnr,ssim", a, b, "--stats", stats, "--ssim-stats", ssim,
                            "--csv", csv, "--json", json});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto rows = csvRows(readWholeFile(csv));
    ASSERT_EQ(rows.size(), 6u);
    const std::vector<std::string> header = {"frame", "psnr_y", "psnr_u", "psnr_v", "psnr_avg", "mse_y", "mse_u",
                                             "mse_v", "mse_avg", "psnr_yuv", "ssim_y", "ssim_u", "ssim_v",
                                             "ssim_all", "ssim_all_db"};
    EXPECT_EQ(rows[0], header);
    const auto psnrLines = linesOf(readWholeFile(stats)), ssimLines = linesOf(readWholeFile(ssim));
    const nlohmann::json j = nlohmann::json::parse(readWholeFile(json));
    ASSERT_EQ(psnrLines.size(), 5u);
    ASSERT_EQ(ssimLines.size(), 5u);
    const char* ssimKeys[] = {"Y", "U", "V", "All"};
    for (size_t f = 0; f < 5; ++f) {
        const std::vector<std::string>& row = rows[f + 1];
        ASSERT_EQ(row.size(), header.size());
        EXPECT_EQ(row[0], std::to_string(f));
        for (size_t c = 1; c < header.size(); ++c) {
            const bool ssimColumn = c >= 10; // after psnr_yuv, which the stats lines do not carry
            const std::string key = ssimColumn ? header[c].substr(5) : header[c];
            const nlohmann::json& value = j["frames"][f][ssimColumn ? "ssim" : "psnr"][key];
            // Every digit: the cell reads back as the JSON's double; an infinity is an empty cell.
            if (value.is_null()) EXPECT_EQ(row[c], "") << header[c] << " " << f;
            else EXPECT_EQ(strtod(row[c].c_str(), nullptr), double(value)) << header[c] << " " << f;
            char shown[64];
            const double cell = row[c].empty() ? INFINITY : strtod(row[c].c_str(), nullptr);
            if (header[c] == "psnr_yuv") {
                continue;
            } else if (!ssimColumn) {
                snprintf(shown, sizeof shown, std::isinf(cell) ? "inf" : "%.2f", cell);
                EXPECT_EQ(shown, statsField(" " + psnrLines[f], header[c])) << header[c] << " " << f;
            } else if (c < 14) {
                snprintf(shown, sizeof shown, "%f", cell);
                EXPECT_EQ(shown, statsField(" " + ssimLines[f], ssimKeys[c - 10])) << header[c] << " " << f;
            }
        }
    }
    // Alone on standard output with -, the summaries left out.
    const SnapRun out = snap({"--compare", a, b, "--csv", "-"});
    ASSERT_EQ(out.status, 0) << out.err;
    EXPECT_EQ(out.out.rfind("frame,psnr_y,psnr_u,psnr_v,psnr_avg,mse_y,mse_u,mse_v,mse_avg,psnr_yuv\r\n0,,,,,0,0,0,0,\r\n", 0), 0u)
        << out.out;
    EXPECT_EQ(snap({"--compare", a, b, "--csv", json, "--json", json}).status, 2);
    EXPECT_EQ(snap({"--compare", a, b, "--csv", a}).status, 2);
}

// Python's statistics on the JSON's own per-frame values, each pooled figure
// named where it differs; the dB figures' mean is the dB of the mean error.
const char pooledCheck[] = R"(
import json, math, statistics, sys
j = json.load(open(sys.argv[1]))
wrong = []
for name, pooled in j["pooled_metrics"].items():
    metric, key = ("ssim", name[5:]) if name.startswith("ssim_") else ("psnr", name)
    data = [f[metric][key] for f in j["frames"]]
    decibels = name.startswith("psnr_") and name != "psnr_yuv" or name == "ssim_all_db"
    q = statistics.quantiles(data, n=100, method="inclusive")
    want = {"min": min(data), "max": max(data), "harmonic_mean": statistics.harmonic_mean(data),
            "mean": -10 * math.log10(statistics.fmean([10 ** (-x / 10) for x in data])) if decibels
                    else statistics.fmean(data),
            "p1": q[0], "p5": q[4], "p10": q[9], "p25": q[24], "p50": q[49]}
    if name == "psnr_yuv":  # the same weighting of the planes' pooled means
        dbmean = lambda p: -10 * math.log10(statistics.fmean([10 ** (-f["psnr"][p] / 10) for f in j["frames"]]))
        want["mean"] = (6 * dbmean("psnr_y") + dbmean("psnr_u") + dbmean("psnr_v")) / 8
    for k, v in want.items():
        exact = k not in ("mean", "harmonic_mean")
        if (pooled[k] != v) if exact else not math.isclose(pooled[k], v, rel_tol=1e-12):
            wrong.append("%s %s: %r, Python %r" % (name, k, pooled[k], v))
print("\n".join(wrong) if wrong else "agreed on %d figures" % len(j["pooled_metrics"]))
)";

TEST(Measure, PooledFiguresAgreeWithPythonsStatistics) {
    const std::string a = scratchPath("o_32x16.yuv"), b = scratchPath("p_32x16.yuv"), json = scratchPath("o.json");
    std::vector<int> offsets;
    for (int f = 0; f < 37; ++f) offsets.push_back((1 + (f * 7) % 11) * (f % 3 == 0 ? -1 : 1));
    writePair(a, b, offsets);
    const SnapRun r = snap({"--compare", "--metric", "psnr,ssim", a, b, "--json", json});
    ASSERT_EQ(r.status, 0) << r.err;
    const nlohmann::json j = nlohmann::json::parse(readWholeFile(json));
    // The dB means are the summaries' figures.
    EXPECT_NEAR(double(j["pooled_metrics"]["psnr_avg"]["mean"]), double(j["psnr"]["average"]), 1e-9);
    EXPECT_NEAR(double(j["pooled_metrics"]["psnr_y"]["mean"]), double(j["psnr"]["y"]), 1e-9);
    EXPECT_NEAR(double(j["pooled_metrics"]["ssim_all_db"]["mean"]), double(j["ssim"]["all"]["db"]), 1e-9);
    EXPECT_NEAR(double(j["pooled_metrics"]["ssim_all"]["mean"]), double(j["ssim"]["all"]["ssim"]), 1e-12);
    EXPECT_EQ(j["pooled_metrics"].size(), 14u);
    // YUV-PSNR: 6 Y, 1 U, 1 V over 8, of each frame's planes and of the summary's.
    const nlohmann::json& p = j["psnr"];
    EXPECT_NEAR(double(p["psnr_yuv"]), (6 * double(p["y"]) + double(p["u"]) + double(p["v"])) / 8, 1e-12);
    const nlohmann::json& f = j["frames"][5]["psnr"];
    EXPECT_NEAR(double(f["psnr_yuv"]), (6 * double(f["psnr_y"]) + double(f["psnr_u"]) + double(f["psnr_v"])) / 8, 1e-12);
    EXPECT_NEAR(double(j["pooled_metrics"]["psnr_yuv"]["mean"]), double(p["psnr_yuv"]), 1e-9);
#ifndef _WIN32
    if (system("/usr/bin/python3 -c 'import statistics' >/dev/null 2>&1") != 0) GTEST_SKIP() << "no Python 3";
    const std::string script = scratchPath("pooled.py"), said = scratchPath("pooled.txt");
    writeBytes(script, std::vector<uint8_t>(pooledCheck, pooledCheck + sizeof pooledCheck - 1));
    ASSERT_EQ(system(("/usr/bin/python3 '" + script + "' '" + json + "' >'" + said + "' 2>&1").c_str()), 0)
        << readWholeFile(said);
    EXPECT_EQ(readWholeFile(said), "agreed on 14 figures\n");
#endif
}

// An identical frame pools as the summary takes it: no error in the mean, the
// largest value elsewhere (null, as the summary's max).
TEST(Measure, PooledInfinitePsnrAsTheSummaryTakesIt) {
    const std::string a = scratchPath("i_32x16.yuv"), b = scratchPath("h_32x16.yuv"), json = scratchPath("i.json");
    writePair(a, b, {0, 2, 0, 5});
    const SnapRun r = snap({"--compare", a, b, "--json", json});
    ASSERT_EQ(r.status, 0) << r.err;
    const nlohmann::json j = nlohmann::json::parse(readWholeFile(json));
    const nlohmann::json& y = j["pooled_metrics"]["psnr_y"];
    EXPECT_TRUE(y["max"].is_null());
    EXPECT_TRUE(y["p50"].is_null()); // half the frames are identical
    EXPECT_NEAR(double(y["mean"]), double(j["psnr"]["y"]), 1e-9);
    EXPECT_DOUBLE_EQ(double(y["min"]), double(j["frames"][3]["psnr"]["psnr_y"]));
    const double p2 = double(j["frames"][1]["psnr"]["psnr_y"]), p4 = double(j["frames"][3]["psnr"]["psnr_y"]);
    EXPECT_NEAR(double(y["harmonic_mean"]), 4 / (1 / p2 + 1 / p4), 1e-9);
    EXPECT_DOUBLE_EQ(double(y["p25"]), (p4 * 25 + p2 * 75) / 100);
    EXPECT_DOUBLE_EQ(double(j["pooled_metrics"]["mse_y"]["harmonic_mean"]), 0.0);
}

std::vector<uint8_t> fromBase64(const std::string& text) {
    const std::string digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::vector<uint8_t> bytes;
    uint32_t bits = 0;
    int count = 0;
    for (char c : text) {
        const size_t v = digits.find(c);
        if (v == std::string::npos) break;
        bits = bits << 6 | uint32_t(v);
        if ((count += 6) >= 8) bytes.push_back(uint8_t(bits >> (count -= 8)));
    }
    return bytes;
}

// Every embedded PNG of the page, decoded: width, height and grey samples (or
// red, green, blue).
struct Picture {
    int width, height, channels;
    std::vector<uint8_t> pixels;
};

std::vector<Picture> embeddedPictures(const std::string& html) {
    std::vector<Picture> pictures;
    const std::string marker = "src=\"data:image/png;base64,";
    for (size_t at = html.find(marker); at != std::string::npos; at = html.find(marker, at + 1)) {
        const size_t start = at + marker.size();
        const std::vector<uint8_t> png = fromBase64(html.substr(start, html.find('"', start) - start));
        Picture p = {};
        uint8_t* pixels = stbi_load_from_memory(png.data(), int(png.size()), &p.width, &p.height, &p.channels, 0);
        EXPECT_NE(pixels, nullptr) << "picture " << pictures.size() << " is not a PNG";
        if (pixels) p.pixels.assign(pixels, pixels + size_t(p.width) * p.height * p.channels);
        stbi_image_free(pixels);
        pictures.push_back(p);
    }
    return pictures;
}

TEST(Measure, ReportHoldsItsPartsAndTheWorstFramesPictures) {
    // 1288 pixels across: pictures scaled down 3 times, to 429 x 5.
    const std::string a = scratchPath("r_1288x16.yuv"), b = scratchPath("s_1288x16.yuv");
    const std::string html = scratchPath("r.html"), json = scratchPath("r.json");
    writePair(a, b, {1, 2, 9, 3, 6, 1}, 1288, 16);
    const SnapRun r = snap({"--compare", "--metric", "psnr,ssim", a, b, "--report", html, "--json", json,
                            "--fail-below", "40"});
    ASSERT_EQ(r.status, 1) << r.err;
    const std::string page = readWholeFile(html);
    const nlohmann::json j = nlohmann::json::parse(readWholeFile(json));
    for (const char* part : {"<!DOCTYPE html>", "<section id=\"inputs\">", "<section id=\"summary\">",
                             "<section id=\"plot\">", "<svg", "<section id=\"worst\">", "<section id=\"frames\">",
                             "Gate failed", "--fail-below 40: 3 of 6 frames below", "1288 \u00d7 16",
                             "INPUT 6, OTHER 6, compared 6", "r_1288x16.yuv", "</html>\n"})
        EXPECT_NE(page.find(part), std::string::npos) << part;
    // Nothing to run and nothing to fetch: no script, no remote address but the SVG namespace.
    for (const char* absent : {"<script", "src=\"http", "href=\"http", "url(", "@import", "<?xml"})
        EXPECT_EQ(page.find(absent), std::string::npos) << absent;
    // The worst first by PSNR average: offsets 9, 6 and 3, each with its figures.
    const size_t first = page.find("<article id=\"frame-2\">"), second = page.find("<article id=\"frame-4\">"),
                 third = page.find("<article id=\"frame-3\">");
    ASSERT_NE(third, std::string::npos);
    EXPECT_LT(first, second);
    EXPECT_LT(second, third);
    EXPECT_EQ(page.find("<article id=\"frame-0\">"), std::string::npos);
    char figure[64];
    snprintf(figure, sizeof figure, "psnr_avg <b>%.2f</b>", double(j["frames"][2]["psnr"]["psnr_avg"]));
    EXPECT_NE(page.find(figure, first), std::string::npos) << figure;
    snprintf(figure, sizeof figure, "ssim_all <b>%.6f</b>", double(j["frames"][2]["ssim"]["all"]));
    EXPECT_NE(page.find(figure, first), std::string::npos) << figure;
    // Three pictures a frame, scaled to whole boxes; the difference flat at 128 + 4 x (-9).
    const std::vector<Picture> pictures = embeddedPictures(page);
    ASSERT_EQ(pictures.size(), 9u);
    for (const Picture& p : pictures) {
        EXPECT_EQ(p.width, 429);
        EXPECT_EQ(p.height, 5);
    }
    EXPECT_EQ(pictures[0].channels, 3);
    EXPECT_EQ(pictures[2].channels, 1);
    EXPECT_EQ(pictures[2].pixels, std::vector<uint8_t>(429 * 5, 92));
    EXPECT_NE(pictures[0].pixels, pictures[1].pixels);
    // Every frame in the table, the worst values marked; one worst frame on asking.
    EXPECT_NE(page.find("<tr class=\"held\"><th><a href=\"#frame-2\">2</a></th><td class=\"worst\">"),
              std::string::npos);
    EXPECT_NE(page.find("<tr><th>5</th>"), std::string::npos);
    ASSERT_EQ(snap({"--compare", a, b, "--report", html, "--worst", "1"}).status, 0);
    EXPECT_EQ(embeddedPictures(readWholeFile(html)).size(), 3u);
    EXPECT_EQ(snap({"--compare", a, b, "--report", a + ".html", "--json", a + ".html"}).status, 2);
}
