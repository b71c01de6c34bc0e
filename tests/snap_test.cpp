#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <zlib.h>

#include "render/colour.h"
#include "render/separate.h"
#include "tests/test_files.h"
#include "snap/modes/info.h"
#include "snap/snap.h"
#include "snap/cli/options.h"
#include "video/video_file.h"

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

namespace {

int runSnap(std::vector<std::string> args) {
    args.insert(args.begin(), "corvane-snap");
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    return snapMain(static_cast<int>(args.size()), argv.data());
}

std::vector<uint8_t> readFile(const std::string& path) {
    std::vector<uint8_t> bytes;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) return bytes;
    uint8_t buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
    fclose(file);
    return bytes;
}

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

// The picture in a bottom-up BMP, turned back to top-down rows at `stride`.
std::vector<uint8_t> bmpPicture(const std::vector<uint8_t>& bmp, int* width, int* height, int* bits) {
    EXPECT_EQ(bmp.at(0), 'B');
    EXPECT_EQ(bmp.at(1), 'M');
    EXPECT_EQ(le32(bmp, 2), bmp.size());
    *width = int(le32(bmp, 18));
    *height = int(le32(bmp, 22));
    *bits = bmp[28];
    const size_t offset = le32(bmp, 10);
    const int64_t stride = pictureStride(*width, *bits);
    std::vector<uint8_t> top(size_t(stride * *height));
    for (int r = 0; r < *height; ++r)
        std::copy_n(&bmp[offset + size_t(*height - 1 - r) * stride], stride, &top[size_t(r) * stride]);
    return top;
}

// The frame the core shows for `frame` (or the last, for -1), in the view asked:
// the viewer's own separate view for 4:2:0, and for the other formats the
// three whole planes side by side, top-aligned, black below the chroma.
std::vector<uint8_t> corePicture(const std::string& path, int w, int h, int code, int64_t frame,
                                 bool separate) {
    VideoFile video;
    clearVideo(&video);
    EXPECT_TRUE(openVideo(&video, path.c_str(), w, h, code, 40));
    if (frame < 0) seekLastFrame(&video);
    else EXPECT_TRUE(seekFrame(&video, frame));
    const int cw = video.chromaWidth, ch = video.chromaHeight;
    int64_t pictureWidth = !separate ? w : code == 420 ? separatePictureWidth(&video) : w + 2 * cw;
    const int64_t stride = pictureStride(pictureWidth, separate ? 8 : 24);
    std::vector<uint8_t> bits(size_t(stride * h), 0);
    if (separate && code == 420) {
        buildSeparatePicture(&video, bits.data());
    } else if (separate) {
        const uint8_t* planes = video.frameBuffer;
        for (int r = 0; r < h; ++r)
            for (int64_t c = 0; c < pictureWidth; ++c) {
                uint8_t value = 0;
                if (c < w) value = planes[r * w + c];
                else if (r < ch && c < w + cw) value = planes[w * h + r * cw + (c - w)];
                else if (r < ch) value = planes[w * h + cw * ch + r * cw + (c - w - cw)];
                bits[size_t(r * stride + c)] = value;
            }
    } else {
        buildColourPicture(&video, video.format, bits.data());
    }
    closeVideo(&video);
    return bits;
}

TEST(Snap, RoundTripInBothViews) {
    const std::string clip = scratchPath("clip_36x20.yuv");
    ASSERT_EQ(runSnap({"--make-sample", "36x20", "5", clip}), 0);
    EXPECT_EQ(std::filesystem::file_size(clip), 5u * (36 * 20 + 2 * 18 * 10));

    struct Case {
        const char* frame;
        int64_t index;
        bool separate;
    } cases[] = {{"0", 0, false}, {"last", -1, false}, {"3", 3, true}, {"last", -1, true}};
    for (const Case& c : cases) {
        const std::string out = scratchPath("snap.bmp");
        std::vector<std::string> args = {"--size", "36x20", "--frame", c.frame, clip, out};
        if (c.separate) args.insert(args.begin(), "--separate");
        ASSERT_EQ(runSnap(args), 0) << c.frame;
        int width, height, bits;
        std::vector<uint8_t> picture = bmpPicture(readFile(out), &width, &height, &bits);
        EXPECT_EQ(width, c.separate ? 54 : 36);
        EXPECT_EQ(height, 20);
        EXPECT_EQ(bits, c.separate ? 8 : 24);
        EXPECT_EQ(picture, corePicture(clip, 36, 20, 420, c.index, c.separate)) << c.frame;
        if (c.separate) {
            std::vector<uint8_t> bmp = readFile(out);
            EXPECT_EQ(bmp[54 + 4 * 200], 200); // the grey ramp is the palette
        }
    }
}

// The PNG's pixels as the BMP would hold them: top-down, blue first (or
// grey), rows padded to 4 bytes.
std::vector<uint8_t> pngPicture(const std::vector<uint8_t>& png, int* width, int* height,
                                int* channels) {
    int w = 0, h = 0, n = 0;
    stbi_uc* pixels = stbi_load_from_memory(png.data(), int(png.size()), &w, &h, &n, 0);
    EXPECT_NE(pixels, nullptr);
    *width = w;
    *height = h;
    *channels = n;
    if (!pixels) return {};
    const int64_t stride = pictureStride(w, 8 * n);
    std::vector<uint8_t> top(size_t(stride * h), 0);
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c)
            for (int k = 0; k < n; ++k)
                top[size_t(r * stride + c * n + (n == 3 ? 2 - k : k))] = pixels[(size_t(r) * w + c) * n + k];
    stbi_image_free(pixels);
    return top;
}

uint32_t be32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
}

// The filter type of each row of a PNG of `rowBytes` bytes a row, in order.
std::vector<int> pngRowFilters(const std::vector<uint8_t>& png, size_t rowBytes, int height) {
    std::vector<uint8_t> deflated;
    for (size_t at = 8; at + 12 <= png.size(); at += 12 + be32(png, at))
        if (!memcmp(&png[at + 4], "IDAT", 4))
            deflated.insert(deflated.end(), &png[at + 8], &png[at + 8] + be32(png, at));
    std::vector<uint8_t> rows((rowBytes + 1) * size_t(height));
    uLongf size = rows.size();
    EXPECT_EQ(uncompress(rows.data(), &size, deflated.data(), deflated.size()), Z_OK);
    EXPECT_EQ(size, rows.size());
    std::vector<int> filters;
    for (int r = 0; r < height; ++r) filters.push_back(rows[r * (rowBytes + 1)]);
    return filters;
}

TEST(Snap, PngHoldsTheBmpPixelsInBothViews) {
    struct Case {
        const char* size;
        int w, h;
        const char* format;
        int code;
        bool separate;
        bool halves; // rows that suit one filter over rows that suit the other
    } cases[] = {
        {"36x20", 36, 20, "420", 420, false, false}, {"36x20", 36, 20, "420", 420, true, false},
        {"33x17", 33, 17, "411", 411, false, false}, {"35x9", 35, 9, "422", 422, true, false},
        {"7x5", 7, 5, "444", 444, false, false},     {"1x1", 1, 1, "420", 420, false, false},
        {"31x3", 31, 3, "420", 420, true, false},    {"2x9", 2, 9, "444", 444, false, true},
        {"64x33", 64, 33, "420", 420, false, true},  {"63x16", 63, 16, "422", 422, true, true},
        {"7x5", 7, 5, "444", 444, true, false},     {"33x17", 33, 17, "411", 411, true, false},
    };
    for (const Case& c : cases) {
        const std::string name = std::string("png_") + c.size + "_" + c.format + (c.halves ? "_halves" : "") + ".yuv";
        const std::string clip = scratchPath(name);
        ASSERT_EQ(runSnap({"--make-sample", c.size, "3", clip, "--format", c.format}), 0);
        if (c.halves) {
            // The top half's rows repeat the row above, the bottom half's are
            // each one grey: the first pack best against the row above, the
            // others against the pixel to the left.
            std::vector<uint8_t> frames(std::filesystem::file_size(clip), 128);
            const size_t frameBytes = frames.size() / 3;
            for (size_t f = 0; f < 3; ++f)
                for (int y = 0; y < c.h; ++y)
                    for (int x = 0; x < c.w; ++x)
                        frames[f * frameBytes + size_t(y * c.w + x)] =
                            uint8_t(y < c.h / 2 ? 16 + x * 7 % 220 : 16 + y * 23 % 220);
            writeBytes(name, frames);
        }
        const std::string bmp = scratchPath("view.bmp"), png = scratchPath("view.png");
        std::vector<std::string> args = {"--size", c.size, "--format", c.format, "--frame", "2", clip};
        if (c.separate) args.insert(args.begin(), "--separate");
        std::vector<std::string> bmpArgs = args, pngArgs = args;
        bmpArgs.push_back(bmp);
        pngArgs.push_back(png);
        ASSERT_EQ(runSnap(bmpArgs), 0) << c.size;
        ASSERT_EQ(runSnap(pngArgs), 0) << c.size;
        int bw, bh, bits, pw, ph, channels;
        const std::vector<uint8_t> fromBmp = bmpPicture(readFile(bmp), &bw, &bh, &bits);
        const std::vector<uint8_t> fromPng = pngPicture(readFile(png), &pw, &ph, &channels);
        EXPECT_EQ(pw, bw) << c.size;
        EXPECT_EQ(ph, bh) << c.size;
        EXPECT_EQ(channels * 8, bits) << c.size;
        EXPECT_EQ(fromPng, fromBmp) << c.size << (c.separate ? " separate" : "");
        EXPECT_EQ(fromBmp, corePicture(clip, c.w, c.h, c.code, 2, c.separate)) << c.size;
        if (c.halves) {
            const std::vector<int> filters = pngRowFilters(readFile(png), size_t(pw * channels), ph);
            EXPECT_NE(std::count(filters.begin(), filters.end(), 1), 0) << c.size << ": no Sub row";
            EXPECT_NE(std::count(filters.begin(), filters.end(), 2), 0) << c.size << ": no Up row";
        }
    }
}

TEST(Snap, RangesWriteOnePicturePerFrameNamedByNumber) {
    const std::string clip = scratchPath("range_cif.yuv");
    ASSERT_EQ(runSnap({"--make-sample", "352x288", "6", clip}), 0);
    struct Case {
        const char* frames;
        const char* pattern;
        int64_t first, last; // the pictures expected
        const char* note;    // part of what standard error says, or ""
    } cases[] = {
        {"1-3", "r_%02d.bmp", 1, 3, ""},
        {"4-4", "one_%d.png", 4, 4, ""},
        {"all", "all_%04d.bmp", 0, 5, ""},
        {"3-900", "cut_%3d.png", 3, 5, "ends after frame 5: wrote 3 pictures, frames 3 to 5"},
        {"5-5", "100%%_%u.bmp", 5, 5, ""},
    };
    for (const Case& c : cases) {
        testing::internal::CaptureStderr();
        const int status = runSnap({"--frame", c.frames, clip, scratchPath(c.pattern)});
        const std::string said = testing::internal::GetCapturedStderr();
        ASSERT_EQ(status, 0) << c.frames << ": " << said;
        EXPECT_NE(said.find(c.note), std::string::npos) << said;
        if (!*c.note) {
            EXPECT_EQ(said, "");
        }
        OutputName name;
        ASSERT_TRUE(parseOutputName(c.pattern, &name, nullptr));
        for (int64_t k = c.first > 0 ? c.first - 1 : 0; k <= c.last + 1; ++k) {
            const std::string path = scratchPath(outputNameFor(&name, c.pattern, k));
            if (k < c.first || k > c.last) {
                EXPECT_FALSE(std::filesystem::exists(path)) << path;
                continue;
            }
            ASSERT_TRUE(std::filesystem::exists(path)) << path;
            int w, h, bits;
            std::vector<uint8_t> picture = strstr(c.pattern, ".png")
                                               ? pngPicture(readFile(path), &w, &h, &bits)
                                               : bmpPicture(readFile(path), &w, &h, &bits);
            EXPECT_EQ(picture, corePicture(clip, 352, 288, 420, k, false)) << path;
        }
    }
    EXPECT_TRUE(std::filesystem::exists(scratchPath("cut_  3.png")));
    EXPECT_TRUE(std::filesystem::exists(scratchPath("100%_5.bmp")));
}

TEST(Snap, OutputPatternsHoldOneNumberFieldAtMost) {
    struct Case {
        const char* text;
        int field, malformed;
        const char* seventh; // the name for frame 7
    } cases[] = {
        {"out.bmp", 0, 0, "out.bmp"},
        {"out_%d.bmp", 1, 0, "out_7.bmp"},
        {"out_%04d.png", 1, 0, "out_0007.png"},
        {"out_%4d.png", 1, 0, "out_   7.png"},
        {"%i%%.bmp", 1, 0, "7%.bmp"},
        {"%%%05u%%.bmp", 1, 0, "%00007%.bmp"},
        {"a_%1d.bmp", 1, 0, "a_7.bmp"},
        {"100%%.bmp", 0, 0, "100%.bmp"},  // "%%" is "%" with a field or without
        {"out_%s.bmp", 0, 1, "out_%s.bmp"},
        {"out_%n.bmp", 0, 1, "out_%n.bmp"},
        {"%d_%d.bmp", 0, 1, "%d_%d.bmp"},
        {"out_%-4d.bmp", 0, 1, "out_%-4d.bmp"},
        {"out_%123d.bmp", 0, 1, "out_%123d.bmp"},
        {"out_%ld.bmp", 0, 1, "out_%ld.bmp"},
        {"out_%.bmp", 0, 1, "out_%.bmp"},
        {"out_%", 0, 1, "out_%"},
    };
    for (const Case& c : cases) {
        OutputName name;
        int malformed = -1;
        EXPECT_EQ(parseOutputName(c.text, &name, &malformed), c.field) << c.text;
        EXPECT_EQ(malformed, c.malformed) << c.text;
        EXPECT_EQ(outputNameFor(&name, c.text, 7), c.seventh) << c.text;
    }
    OutputName wide;
    ASSERT_TRUE(parseOutputName("f%03d.png", &wide, nullptr));
    EXPECT_EQ(outputNameFor(&wide, "f%03d.png", 123456789012LL), "f123456789012.png");
}

TEST(Snap, ArgumentsMakeJobsOrOneLineErrors) {
    struct Case {
        std::vector<const char*> args;
        int ok, mode;
        const char* error; // part of it
    } cases[] = {
        {{"--size", "352x288", "in.yuv", "out.bmp"}, 1, SNAP_EXPORT, ""},
        {{"in_cif.yuv", "out.PNG"}, 1, SNAP_EXPORT, ""},
        {{"--frame", "2-9", "in.yuv", "o%03d.bmp"}, 1, SNAP_EXPORT, ""},
        {{"--info", "in.yuv", "--rate", "12.5"}, 1, SNAP_INFO, ""},
        {{"in.yuv", "--info"}, 1, SNAP_INFO, ""},
        {{"--compare", "a.yuv", "b.yuv", "--stats", "-", "--fail-below", "35.5"}, 1, SNAP_COMPARE, ""},
        {{"--make-sample", "16x8", "2", "s.yuv", "--format", "444"}, 1, SNAP_MAKE_SAMPLE, ""},
        {{"--size", "1x1", "--help"}, 1, SNAP_HELP, ""},
        {{"in.yuv", "--version", "--bogus"}, 1, SNAP_VERSION, ""},
        {{"--version", "--help"}, 1, SNAP_HELP, ""},
        {{"in.yuv", "out.jpg"}, 0, 0, "must end in .bmp, .png, .yuv, .y4m or .framemd5: 'out.jpg'"},
        {{"in.yuv", "out"}, 0, 0, ".bmp, .png"},
        {{"in.yuv", "out.bmp/x"}, 0, 0, ".bmp, .png"},
        // Cuts and listings: every frame unless --frame says otherwise, no number field needed.
        {{"in_cif.yuv", "cut.Y4M", "--rate", "30000/1001"}, 1, SNAP_EXPORT, ""},
        {{"--frame", "100-199", "in_cif.yuv", "cut.yuv"}, 1, SNAP_EXPORT, ""},
        {{"--framemd5", "--format", "yuv420p10le", "--size", "cif", "in.yuv"}, 1, SNAP_EXPORT, ""},
        {{"--format", "NV12", "in_cif.yuv", "f.framemd5"}, 1, SNAP_EXPORT, ""},
        {{"--framemd5", "in.yuv", "out.yuv"}, 0, 0, "unexpected argument 'out.yuv'"},
        {{"--separate", "in.yuv", "cut.yuv"}, 0, 0, "--separate goes with .bmp and .png"},
        {{"in.yuv", "cut.y4m", "--rate", "0"}, 0, 0, "--rate takes"},
        {{"--make-sample", "16x8", "2", "s.yuv", "--format", "nv12"}, 0, 0, "--make-sample writes 8-bit"},
        {{"--make-sample", "16x8", "2", "s.y4m"}, 0, 0, "writes raw YUV"},
        {{"--frame", "all", "in.yuv", "out.bmp"}, 0, 0, "need a frame-number field"},
        {{"--frame", "0-1", "in.yuv", "out_%s.bmp"}, 0, 0, "one frame-number field"},
        {{"--frame", "3-1", "in.yuv", "o%d.bmp"}, 0, 0, "--frame 3-1: a range runs from its first"},
        {{"--frame", "-3", "in.yuv", "o%d.bmp"}, 0, 0, "--frame takes"},
        {{"--frame", "1-", "in.yuv", "o%d.bmp"}, 0, 0, "--frame takes"},
        {{"--frame", "1- 2", "in.yuv", "o%d.bmp"}, 0, 0, "--frame takes"},
        {{"--frame"}, 0, 0, "--frame needs"},
        {{"--size", "352x288", "--rate", "25", "in.yuv", "o.bmp"}, 0, 0, "--rate does not go with exporting pictures"},
        {{"--info", "--separate", "in.yuv"}, 0, 0, "--separate does not go with --info"},
        {{"--compare", "--frame", "1", "a", "b", "--offset", "-2"}, 1, SNAP_COMPARE, ""},
        {{"--diff", "--offset", "auto=4", "a", "b", "d.png"}, 1, SNAP_DIFF, ""},
        {{"--info", "--offset", "2", "a"}, 0, 0, "--offset does not go with --info"},
        {{"--compare", "a", "b", "--offset", "auto=0"}, 0, 0, "--offset takes a whole number of frames"},
        {{"--compare", "a", "b", "--offset", "1.5"}, 0, 0, "'auto=K' with K from 1 to 30: '1.5'"},
        {{"--info", "--compare", "a", "b"}, 0, 0, "only one of"},
        {{"--info", "in.yuv", "--rate", "0"}, 0, 0, "--rate takes"},
        {{"--info", "in.yuv", "--rate", "-25"}, 0, 0, "--rate takes"},
        {{"--info", "in.yuv", "--rate", "fast"}, 0, 0, "--rate takes"},
        {{"--info", "in.yuv", "--rate", "nan"}, 0, 0, "--rate takes"},
        // One rate reader, with the same limits, for --info as for cuts.
        {{"--info", "in.yuv", "--rate", "30000/1001"}, 1, SNAP_INFO, ""},
        {{"--info", "in.yuv", "--rate", "1e308"}, 0, 0, "--rate takes"},
        {{"in_cif.yuv", "cut.y4m", "--rate", "1e308"}, 0, 0, "--rate takes"},
        {{"--diff", "--gain", "65", "a", "b", "d.png"}, 0, 0, "--gain takes a whole number from 1 to 64"},
        {{"--compare", "a", "b", "--fail-below-ssim", "1.5"}, 0, 0, "--fail-below-ssim takes an SSIM"},
        {{"--info"}, 0, 0, "INPUT is required"},
        {{"--info", "a", "b"}, 0, 0, "unexpected argument 'b'"},
        {{"--compare", "a"}, 0, 0, "INPUT and OTHER"},
        {{"--compare", "a", "b", "--fail-below", "x"}, 0, 0, "--fail-below takes"},
        {{"--compare", "a", "b", "--fail-below", "inf"}, 0, 0, "--fail-below takes"},
        {{"--compare", "a", "b", "--stats", ""}, 0, 0, "--stats takes"},
        {{"--compare", "a", "b", "--stats"}, 0, 0, "--stats needs a value"},
        {{"--size", "352x288x2", "a", "b.bmp"}, 0, 0, "the size must be WxH"},
        {{"--format", "420p", "a", "b.bmp"}, 0, 0, "--format takes"},
        {{"--%s%s%n", "a", "b.bmp"}, 0, 0, "unknown option '--%s%s%n'"},
        {{"a", "b.bmp", "c"}, 0, 0, "unexpected argument 'c'"},
        {{"--make-sample", "16x8", "0", "s.yuv"}, 0, 0, "FRAMES must be"},
        {{"--make-sample", "16x8", "1000001", "s.yuv"}, 0, 0, "FRAMES must be a count from 1 to 1000000"},
        // An SSIM gate or SSIM lines bring SSIM into --metric.
        {{"--compare", "a", "b", "--fail-below-ssim", "0.9"}, 1, SNAP_COMPARE, ""},
        {{"--compare", "--metric", "psnr", "a", "b", "--ssim-stats", "s.log"}, 1, SNAP_COMPARE, ""},
        {{"--compare", "--metric", "ssim", "a", "b", "--fail-below", "30"}, 0, 0, "need --metric psnr"},
        // The metrics' options and words come from the metric table; the lines read as written out.
        {{"--compare", "--metric", "ssim", "a", "b", "--stats", "p"}, 0, 0,
         "--stats and --fail-below need --metric psnr or psnr,ssim,exact"},
        {{"--compare", "--metric", "psnr,vmaf", "a", "b"}, 0, 0, "--metric takes psnr, ssim, exact or psnr,ssim,exact"},
        {{"--compare", "a", "b", "--ssim-stats", ""}, 0, 0,
         "an output of --compare needs a name: --stats, --ssim-stats, --exact-stats, --json, --plot, --csv or --report is empty"},
        {{"--compare", "a", "b", "--ssim-stats", "-", "--stats", "-"}, 0, 0,
         "only one of --stats, --ssim-stats, --exact-stats, --json and --csv may be -"},
        // The exact comparison: a word of --metric in any order, its lines, no gate option of its own.
        {{"--compare", "--metric", "exact,psnr", "a", "b", "--exact-stats", "-"}, 1, SNAP_COMPARE, ""},
        {{"--compare", "--metric", "ssim,exact", "a", "b", "--fail-below-ssim", "0.5"}, 1, SNAP_COMPARE, ""},
        {{"--compare", "--metric", "exact,exact", "a", "b"}, 0, 0, "--metric takes"},
        {{"--compare", "--metric", "exact", "a", "b", "--plot", "p.svg"}, 0, 0,
         "--plot draws the curves of psnr or ssim: add one of them to --metric"},
        {{"--compare", "--metric", "exact,ssim", "a", "b", "--plot", "p.svg"}, 1, SNAP_COMPARE, ""},
        {{"--compare", "a", "b", "--exact-stats", ""}, 0, 0, "an output of --compare needs a name"},
        {{"--compare", "a", "b", "--exact-stats", "-", "--json", "-"}, 0, 0, "only one of"},
        {{"--compare", "a", "b", "--exact-stats"}, 0, 0, "--exact-stats needs a value"},
        {{"--info", "a", "--exact-stats", "e.log"}, 0, 0, "--exact-stats does not go with --info"},
        {{"--compare", "--metric", "exact", "a", "b", "--fail-below-exact", "0"}, 0, 0, "unknown option '--fail-below-exact'"},
        // The CSV, the report and its worst frames.
        {{"--compare", "a", "b", "--csv", "-", "--json", "-"}, 0, 0, "only one of --stats, --ssim-stats, --exact-stats, --json and --csv may be -"},
        {{"--compare", "a", "b", "--csv", ""}, 0, 0, "an output of --compare needs a name"},
        {{"--compare", "a", "b", "--csv", "f.csv", "--report", "r.HTML", "--worst", "10"}, 1, SNAP_COMPARE, ""},
        {{"--compare", "a", "b", "--report", "r.htm"}, 1, SNAP_COMPARE, ""},
        {{"--compare", "a", "b", "--report", "-"}, 0, 0, "--report writes HTML: name it .html: '-'"},
        {{"--compare", "a", "b", "--report", "r.svg"}, 0, 0, "--report writes HTML: name it .html: 'r.svg'"},
        {{"--compare", "a", "b", "--worst", "2"}, 0, 0, "--worst goes with --report"},
        {{"--compare", "a", "b", "--report", "r.html", "--worst", "0"}, 0, 0, "--worst takes a count of frames from 1 to 10"},
        {{"--compare", "a", "b", "--report", "r.html", "--worst", "11"}, 0, 0, "--worst takes a count of frames from 1 to 10"},
        {{"--compare", "a", "b", "--report", "r.html", "--worst"}, 0, 0, "--worst needs a count of frames"},
        {{"--diff", "a", "b", "d.png", "--report", "r.html"}, 0, 0, "--report does not go with --diff"},
        {{"--info", "a", "--csv", "c.csv"}, 0, 0, "--csv does not go with --info"},
        {{"--compare", "a", "b", "--fail-below-ssim", "1", "--fail-below-ssim", "1"}, 0, 0, "--fail-below-ssim is given twice"},
        {{"--compare", "a", "b", "--ssim-stats"}, 0, 0, "--ssim-stats needs a value"},
        {{"--info", "a", "--fail-below-ssim", "1"}, 0, 0, "--fail-below-ssim does not go with --info"},
        {{"--diff", "a", "b", "d.png", "--stats", "s", "--gain", "2"}, 0, 0, "--stats does not go with --diff"},
        {{"--make-sample", "16x8", "2"}, 0, 0, "no output file"},
        // Standard input and output: "-", with --to naming the writer of standard output.
        {{"--frame", "100-199", "-", "-", "--to", "Y4M"}, 1, SNAP_EXPORT, ""},
        {{"--frame", "last", "in.y4m", "-", "--to", "png"}, 1, SNAP_EXPORT, ""},
        {{"--compare", "-", "b.y4m"}, 1, SNAP_COMPARE, ""},
        {{"in.y4m", "-"}, 0, 0, "writing to standard output needs --to bmp, png, yuv, y4m or framemd5: '-'"},
        {{"in.y4m", "cut.yuv", "--to", "y4m"}, 0, 0, "--to names the writer for standard output"},
        {{"in.y4m", "-", "--to", "jpg"}, 0, 0, "--to takes bmp, png, yuv, y4m or framemd5: 'jpg'"},
        {{"--frame", "all", "in.y4m", "-", "--to", "bmp"}, 0, 0, "pictures to standard output are one frame only"},
        {{"--framemd5", "in.y4m", "--to", "y4m"}, 0, 0, "--to does not go with --framemd5"},
        {{"--diff", "a", "b", "-", "--to", "png"}, 0, 0, "--to does not go with --diff"},
        {{"--compare", "-", "-"}, 0, 0, "only one of INPUT and OTHER can be '-'"},
        {{"--diff", "-", "-", "d.png"}, 0, 0, "only one of INPUT and OTHER can be '-'"},
        // --bd-rate: two tables, a method, and JSON as --compare writes it.
        {{"--bd-rate", "a.csv", "t.csv"}, 1, SNAP_BD_RATE, ""},
        {{"--bd-rate", "a.csv", "-", "--bd-method", "poly", "--json", "-"}, 1, SNAP_BD_RATE, ""},
        {{"--bd-rate", "a.csv"}, 0, 0, "--bd-rate needs ANCHOR.csv and TEST.csv"},
        {{"--bd-rate", "a.csv", "t.csv", "u.csv"}, 0, 0, "unexpected argument 'u.csv'"},
        {{"--bd-rate", "a.csv", "t.csv", "--bd-method", "cubic"}, 0, 0, "--bd-method takes pchip or poly: 'cubic'"},
        {{"--bd-rate", "a.csv", "t.csv", "--bd-method"}, 0, 0, "--bd-method needs pchip or poly"},
        {{"--bd-rate", "a.csv", "t.csv", "--json", ""}, 0, 0, "--json takes a file name"},
        {{"--bd-rate", "-", "-"}, 0, 0, "only one of ANCHOR and TEST can be '-'"},
        {{"--bd-rate", "a.csv", "t.csv", "--size", "cif"}, 0, 0, "--size does not go with --bd-rate"},
        {{"--bd-rate", "a.csv", "t.csv", "--stats", "s"}, 0, 0, "--stats does not go with --bd-rate"},
        {{"--compare", "a", "b", "--bd-method", "poly"}, 0, 0, "--bd-method does not go with --compare"},
        {{"--compare", "--bd-rate", "a", "b"}, 0, 0, "give only one of --info, --compare, --diff, --bd-rate and"},
    };
    for (const Case& c : cases) {
        std::vector<const char*> argv = {"corvane-snap"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        SnapJob job;
        char error[256];
        const int ok = parseSnapArguments(int(argv.size()), argv.data(), &job, error, sizeof error);
        const std::string said = error;
        EXPECT_EQ(ok, c.ok) << c.args[0] << " ... " << said;
        if (ok && c.ok) {
            EXPECT_EQ(job.mode, c.mode) << c.args[0];
        }
        if (!c.ok) {
            EXPECT_NE(said.find(c.error), std::string::npos) << said;
        }
    }
    // The gate's SSIM is measured beside the default PSNR.
    const char* gate[] = {"corvane-snap", "--compare", "a", "b", "--fail-below-ssim", "0.9"};
    SnapJob job;
    char error[256];
    ASSERT_TRUE(parseSnapArguments(6, gate, &job, error, sizeof error)) << error;
    EXPECT_EQ(job.metrics, metricBit(findMetric("psnr")) | metricBit(findMetric("ssim")));
    // The worst frames rank by the first metric named; three unless --worst says.
    EXPECT_EQ(job.rankMetric, int(findMetric("psnr") - metricTable));
    EXPECT_EQ(job.worst, 3);
    const char* ranked[] = {"corvane-snap", "--compare", "--metric", "ssim,psnr", "a", "b", "--report", "r.html",
                            "--worst", "7"};
    ASSERT_TRUE(parseSnapArguments(10, ranked, &job, error, sizeof error)) << error;
    EXPECT_EQ(job.rankMetric, int(findMetric("ssim") - metricTable));
    EXPECT_EQ(job.worst, 7);
}

TEST(Snap, InfoDescribesTheFileAtTheRate) {
    const std::string clip = scratchPath("info_qcif_422.yuv");
    ASSERT_EQ(runSnap({"--make-sample", "176x144", "4", clip, "--format", "422"}), 0);
    const std::string noName = scratchPath("info.yuv");
    std::filesystem::copy_file(clip, noName);
    const std::string tail = scratchPath("tail_cif.yuv");
    {
        std::vector<uint8_t> bytes = readFile(clip);
        bytes.resize(bytes.size() + 7, 0);
        writeBytes("tail_cif.yuv", bytes);
    }
    // One frame a 2^31-1 seconds: its interval is too long to hold, not negative.
    const std::string slow = scratchPath("slow.y4m");
    {
        const std::string stream = std::string("YUV4MPEG2 W2 H2 F1:2147483647 C420jpeg\nFRAME\n") + std::string(6, '\0');
        writeBytes("slow.y4m", std::vector<uint8_t>(stream.begin(), stream.end()));
    }
    // A Y4M stream whose FRAME headers differ in length, so that its frames are indexed.
    const std::string stream = scratchPath("info.y4m");
    {
        std::string text = "YUV4MPEG2 W4 H2 F25:1 A1:1 Cmono XA=1\nFRAME\n" + std::string(8, 'a') +
                           "FRAME Ip\n" + std::string(8, 'b') + "FRAME";
        writeBytes("info.y4m", std::vector<uint8_t>(text.begin(), text.end()));
    }
    struct Case {
        std::vector<std::string> args;
        std::vector<const char*> lines; // each must be in the output
    } cases[] = {
        {{"--info", slow}, {"frame rate: 1/2147483647\n", "frame interval: 2147483647 ms\n"}},
        {{"--info", clip},
         {"width: 176\n", "height: 144\n", "format: 4:2:2\n", "source: file name\n",
          "bytes per frame: 50688\n", "whole frames: 4\n", "partial frame bytes: 0\n",
          "frame rate: 25 (no rate in the file; 25 by default)\n", "frame interval: 40 ms\n",
          "duration: h00 : m00 : s00 : ms160 : f4\n"}},
        {{"--info", "--rate", "12.5", clip}, {"frame interval: 80 ms\n",
          "duration: h00 : m00 : s00 : ms320 : f4\n"}},
        {{"--info", "--rate", "30000/1001", clip}, {"frame rate: 30000/1001\n", "frame interval: 33 ms\n"}},
        // JSON keeps the rate a number, its note beside it.
        {{"--info", "--json", "-", clip},
         {"\"frame_rate\": 25,\n", "\"frame_rate_note\": \"no rate in the file; 25 by default\",\n",
          "\"whole_frames\": 4,\n", "\"duration\": \"h00 : m00 : s00 : ms160 : f4\",\n",
          "\"duration_seconds\": 0.16,\n", "\"frame_interval\": \"40 ms\",\n", "\"frame_interval_seconds\": 0.04,\n"}},
        {{"--info", "--size", "176x144", clip},
         {"format: 4:2:2\n", "source: flags and file name\n"}},
        {{"--info", "--size", "88x72", "--format", "420", clip},
         {"source: flags\n", "whole frames: 21\n", "partial frame bytes: 3168\n", "fits: 176x144 4:2:2 (4 frames)\n"}},
        {{"--info", noName},
         {"geometry: none: no --size given", "fits: 176x144 4:2:2 (4 frames)\n",
          "fits: 352x288 4:2:2 (1 frame)\n"}},
        {{"--info", tail},
         {"geometry: none: the name 'tail_cif.yuv' gives 352x288 4:2:0 (the default format), but",
          "fits: none of the common sizes and formats\n"}},
        {{"--info", stream},
         {"file bytes: 74\ncontainer: YUV4MPEG2\nwidth: 4\n", "format: gray\nsource: header\n",
          "whole frames: 2\npartial frame bytes: 5\nframe rate: 25\n",
          "y4m colour: mono\ny4m interlacing: ?\ny4m aspect: 1:1\ny4m header bytes: 38\n"
          "y4m frame header bytes: 6 (they differ: the frames were indexed)\ny4m extensions: 1\n"}},
    };
    for (const Case& c : cases) {
        testing::internal::CaptureStdout();
        const int status = runSnap(c.args);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(status, 0) << c.args.back();
        for (const char* line : c.lines) EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
    }
    EXPECT_EQ(runSnap({"--info", scratchPath("absent_cif.yuv")}), 2);
    // Cut short inside its last FRAME header, the stream still gives its whole frames.
    const std::string cut = scratchPath("info_cut.yuv");
    EXPECT_EQ(runSnap({stream, cut}), 0);
    const std::string whole = std::string(8, 'a') + std::string(8, 'b');
    EXPECT_EQ(readFile(cut), std::vector<uint8_t>(whole.begin(), whole.end()));
}

// The rate the command line read is the one a cut's header carries.
TEST(Snap, CutsCarryTheRateAsRead) {
    const std::string clip = scratchPath("rate_qcif.yuv");
    ASSERT_EQ(runSnap({"--make-sample", "176x144", "2", clip}), 0);
    const std::pair<const char*, const char*> cases[] = {
        {"30000/1001", " F30000:1001 "}, {"12.5", " F25:2 "}, {"50:2", " F25:1 "}, {"29.97", " F2997:100 "}};
    for (const auto& c : cases) {
        const std::string cut = scratchPath("rate_cut.y4m");
        ASSERT_EQ(runSnap({"--rate", c.first, clip, cut}), 0) << c.first;
        const std::vector<uint8_t> bytes = readFile(cut);
        const std::string header(bytes.begin(), std::find(bytes.begin(), bytes.end(), uint8_t{'\n'}));
        EXPECT_NE(header.find(c.second), std::string::npos) << c.first << ": " << header;
    }
}

TEST(Snap, DurationKeepsCountingPastTheViewersClock) {
    struct Case {
        int64_t rateNumerator, rateDenominator;
        int64_t frames;
        const char* text;
    } cases[] = {
        {25, 1, 30, " h00 : m00 : s01 : ms200 : f30"},
        // frames / rate exactly: a rounded 33 ms a frame would give 59 min 24 s.
        {30, 1, 108000, " h01 : m00 : s00 : ms000 : f108000"},
        {30000, 1001, 30000, " h00 : m16 : s41 : ms000 : f30000"},
        {30, 1, 109091, " h01 : m00 : s36 : ms366 : f109091"},
        {2000, 1, 500, " h00 : m00 : s00 : ms250 : f500"},
        {25, 1, 0, " h00 : m00 : s00 : ms000 : f0"},
        {1, 1, 4294968, " h1193 : m02 : s48 : ms000 : f4294968"},
        {1, 3600, 10000, " h10000 : m00 : s00 : ms000 : f10000"},
        // Past 64 bits of milliseconds: the hours still count.
        {1, 2147483647, INT64_MAX, " h5501955727595197877606591 : m08 : s49 : ms000 : f9223372036854775807"},
    };
    for (const Case& c : cases) {
        char text[128];
        formatDuration(text, sizeof text, c.rateNumerator, c.rateDenominator, c.frames);
        EXPECT_STREQ(text, c.text) << c.frames;
    }
}

TEST(Snap, NamesOutsideTheAnsiCodePage) {
    // "snow" in Japanese and a u with an umlaut: no Western code page holds both.
    const std::string clip = scratchPath("clip_\xe9\x9b\xaa_\xc3\xbc_cif.yuv");
    const std::string out = scratchPath("out_\xe9\x9b\xaa_%02d.png");
    ASSERT_EQ(runSnap({"--make-sample", "352x288", "2", clip}), 0);
    ASSERT_EQ(runSnap({"--frame", "all", clip, out}), 0);
    const std::filesystem::path written = std::filesystem::u8path(scratchPath("out_\xe9\x9b\xaa_01.png"));
    EXPECT_TRUE(std::filesystem::exists(written));
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::u8path(clip)));
    testing::internal::CaptureStdout();
    EXPECT_EQ(runSnap({"--info", clip}), 0);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("whole frames: 2\n"), std::string::npos);
}

TEST(Snap, SampleClipMovesFromFrameToFrame) {
    const std::string clip = scratchPath("moving.yuv");
    ASSERT_EQ(runSnap({"--make-sample", "64x48", "3", "--format", "422", clip}), 0);
    EXPECT_NE(corePicture(clip, 64, 48, 422, 0, false), corePicture(clip, 64, 48, 422, 2, false));
}

TEST(Snap, ErrorsExitTwoAndLeaveNoOutput) {
    const std::string clip = scratchPath("errors.yuv");
    ASSERT_EQ(runSnap({"--make-sample", "16x8", "2", clip}), 0);
    const std::string out = scratchPath("never.bmp");
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"--size", "16x8", clip},
        {"--size", "16by8", clip, out},
        {"--size", "0x8", clip, out},
        {"--size", "-4x8", clip, out},
        {"--size", "16x8", "--format", "421", clip, out},
        {"--size", "16x8", "--frame", "-1", clip, out},
        {"--size", "16x8", "--frame", "2", clip, out},
        {"--size", "16x8", "--frame", "x", clip, out},
        {"--size", "16x8", "--bogus", clip, out},
        {"--size", "16x8", scratchPath("absent.yuv"), out},
        {"--size", "99999x99999", clip, out},
        {"--size", "64x64", "--frame", "last", clip, out},
        {"--size", "16x8", clip, scratchPath("no/such/folder/out.bmp")},
        {"--size", "16x8", clip, scratchPath("never.jpg")},
        {"--size", "16x8", "--frame", "all", clip, out},
        {"--size", "16x8", "--frame", "2-5", clip, scratchPath("never%d.bmp")},
        {"--size", "16x8", "--frame", "0-1", clip, scratchPath("no/such/folder/o%d.bmp")},
        {"--size", "16x8", "--frame", "all", scratchPath("absent.yuv"), scratchPath("never%d.bmp")},
        {clip, out},
        {"--frame", "0", scratchPath("errors_cif.yuv"), out},
        {"--size", "16x8", "--frame", "9", "--compare", clip, clip},
        {"--make-sample", "0x8", "2", out},
        {"--make-sample", "16x8", "none", out},
    };
    for (const auto& args : bad) {
        EXPECT_EQ(runSnap(args), 2) << (args.empty() ? "" : args.back());
        EXPECT_FALSE(std::filesystem::exists(out));
        EXPECT_FALSE(std::filesystem::exists(scratchPath("never.jpg")));
        EXPECT_FALSE(std::filesystem::exists(scratchPath("never2.bmp")));
    }
    // No arguments at all: the whole usage, on standard error.
    testing::internal::CaptureStderr();
    EXPECT_EQ(runSnap({}), 2);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), snapUsage);
    // A video whose name is a picture's is not written over by its own frame.
    const std::string same = scratchPath("same.bmp");
    std::filesystem::copy_file(clip, same);
    EXPECT_EQ(runSnap({"--size", "16x8", same, same}), 2);
    EXPECT_EQ(readFile(same), readFile(clip));
#ifndef _WIN32
    // A device as the output (here through a link, so that a fault removes
    // only the link): the write fails and nothing is removed.
    const std::string device = scratchPath("full0.png");
    std::filesystem::remove(device);
    std::filesystem::create_symlink("/dev/full", device);
    EXPECT_EQ(runSnap({"--size", "16x8", clip, device}), 2);
    EXPECT_EQ(runSnap({"--size", "16x8", "--frame", "all", clip, scratchPath("full%d.png")}), 2);
    EXPECT_TRUE(std::filesystem::is_symlink(device));
    EXPECT_EQ(runSnap({"--make-sample", "16x8", "2", device}), 2);
    EXPECT_TRUE(std::filesystem::is_symlink(device));
#endif
}

} // namespace
