// The same frames stored every way corvane-snap reads them (raw at every
// depth and layout, Y4M with and without FRAME parameters, with long X
// fields, odd sizes), read back through the sources; and every writer's
// output read back through its source, or against FFmpeg's own listing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "snap/format/narrow.h"
#include "snap/snap.h"
#include "snap/source/source.h"
#include "snap/source/y4m_header.h"
#include "snap/writer/framemd5.h"
#include "tests/test_files.h"

namespace {

int runSnap(std::vector<std::string> args) {
    args.insert(args.begin(), "corvane-snap");
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    testing::internal::CaptureStderr();
    const int status = snapMain(static_cast<int>(args.size()), argv.data());
    const std::string said = testing::internal::GetCapturedStderr();
    if (status) fprintf(stderr, "%s", said.c_str());
    return status;
}

std::vector<uint8_t> readAll(const std::string& path) {
    std::vector<uint8_t> bytes;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) return bytes;
    uint8_t buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
    fclose(file);
    return bytes;
}

// Frame k: random samples within the format's depth (p010le's in its top bits).
std::vector<uint8_t> frameOf(const FrameGeometry* g, int k) {
    std::vector<uint8_t> bytes = randomBytes(static_cast<size_t>(frameBytes(g)), 101u + static_cast<uint32_t>(k));
    const FrameFormat* f = g->format;
    if (f->bytesPerSample == 2)
        for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
            const uint32_t v = ((bytes[i] | bytes[i + 1] << 8) & ((1u << f->depth) - 1)) << f->sampleShift;
            bytes[i] = static_cast<uint8_t>(v);
            bytes[i + 1] = static_cast<uint8_t>(v >> 8);
        }
    return bytes;
}

// Whether the source had to index its frames, as --info says.
bool wasIndexed(const Source* s) {
    InfoLines lines;
    if (s->kind->describe) s->kind->describe(s, &lines);
    for (const auto& line : lines.lines)
        if (line.second.find("indexed") != std::string::npos) return true;
    return false;
}

enum { RAW, Y4M_PLAIN, Y4M_SAME_PARAMETERS, Y4M_VARYING_PARAMETERS };

struct Stored {
    const char* name;
    const char* format;
    int32_t width, height;
    int kind;
    const char* extra; // more Y4M header fields
};

const Stored storedCases[] = {
    {"s8.yuv", "yuv420p", 48, 32, RAW, ""},
    {"s10.yuv", "yuv420p10le", 48, 32, RAW, ""},
    {"s12.yuv", "yuv422p12le", 48, 32, RAW, ""},
    {"snv12.yuv", "nv12", 48, 32, RAW, ""},
    {"snv21.yuv", "nv21", 48, 32, RAW, ""},
    {"sp010.yuv", "p010le", 48, 32, RAW, ""},
    {"sgrey.yuv", "gray", 48, 32, RAW, ""},
    {"sgrey10.yuv", "gray10le", 48, 32, RAW, ""},
    {"sodd.yuv", "420", 35, 17, RAW, ""},       // the viewer's layout, chroma rounded down
    {"soddup.yuv", "yuv420p", 35, 17, RAW, ""}, // FFmpeg's, rounded up
    {"y8.y4m", "yuv420p", 48, 32, Y4M_PLAIN, " F30000:1001 A1:1"},
    {"y10.y4m", "yuv420p10le", 48, 32, Y4M_SAME_PARAMETERS, " C420p10 Ip"},
    {"ymono.y4m", "gray", 48, 32, Y4M_VARYING_PARAMETERS, " Cmono"},
    {"y16.y4m", "yuv444p16le", 48, 32, Y4M_PLAIN, " C444p16 X"},
    {"y422.y4m", "yuv422p", 48, 32, Y4M_VARYING_PARAMETERS, " C422 XCOLORRANGE=LIMITED"},
    {"yodd.y4m", "yuv420p", 35, 17, Y4M_SAME_PARAMETERS, " C420mpeg2"},
    // Odd sizes FFmpeg's listings check, in every source.
    {"o351.yuv", "yuv420p", 351, 287, RAW, ""},
    {"o353.yuv", "yuv420p", 353, 289, RAW, ""},
    {"o351nv12.yuv", "nv12", 351, 287, RAW, ""},
    {"o353_10.yuv", "yuv420p10le", 353, 289, RAW, ""},
    {"o351.y4m", "yuv420p", 351, 287, Y4M_PLAIN, ""},
    {"o353.y4m", "yuv420p", 353, 289, Y4M_VARYING_PARAMETERS, ""},
    {"o351_422.y4m", "yuv422p", 351, 287, Y4M_PLAIN, " C422"},
};
const int FRAMES = 4;

FrameGeometry geometryOf(const Stored& c) {
    const int32_t rounding = c.kind == RAW ? chromaRoundingOfWord(c.format, strlen(c.format)) : CHROMA_ROUNDED_UP;
    return {findFrameFormat(c.format), c.width, c.height, rounding};
}

// Writes the case's file; its path.
std::string store(const Stored& c, bool longX = true, const char* name = nullptr) {
    const FrameGeometry g = geometryOf(c);
    std::vector<uint8_t> bytes;
    if (c.kind != RAW) {
        std::string header = "YUV4MPEG2 W" + std::to_string(c.width) + " H" + std::to_string(c.height) + c.extra;
        if (longX && std::string(c.extra).find(" X") != std::string::npos) header += " X" + std::string(300, 'x');
        header += "\n";
        bytes.assign(header.begin(), header.end());
    }
    for (int k = 0; k < FRAMES; ++k) {
        std::string line = "FRAME\n";
        if (c.kind == Y4M_SAME_PARAMETERS) line = "FRAME Ip XA=" + std::to_string(k % 10) + "\n";
        if (c.kind == Y4M_VARYING_PARAMETERS) line = "FRAME" + std::string(k, ' ') + "\n";
        if (c.kind != RAW) bytes.insert(bytes.end(), line.begin(), line.end());
        const std::vector<uint8_t> frame = frameOf(&g, k);
        bytes.insert(bytes.end(), frame.begin(), frame.end());
    }
    return writeBytes(name ? name : c.name, bytes);
}

std::vector<std::string> geometryFlags(const Stored& c) {
    if (c.kind != RAW) return {};
    return {"--size", std::to_string(c.width) + "x" + std::to_string(c.height), "--format", c.format};
}

std::vector<uint8_t> joined(const FrameGeometry* g, int first, int last, bool planar) {
    std::vector<uint8_t> all;
    for (int k = first; k <= last; ++k) {
        std::vector<uint8_t> frame = frameOf(g, k);
        std::vector<uint8_t> flat(frame.size());
        if (planar && planarFrame(g, frame.data(), flat.data())) frame = flat;
        all.insert(all.end(), frame.begin(), frame.end());
    }
    return all;
}

TEST(SnapFormats, EveryStoredFormReadsBackTheSameFrames) {
    for (const Stored& c : storedCases) {
        const std::string path = store(c);
        const FrameGeometry g = geometryOf(c);
        const bool raw = c.kind == RAW;
        const GeometryRequest asked = {raw, c.width, c.height, raw ? g.format : nullptr, raw ? c.format : nullptr};
        Source s;
        std::string error;
        ASSERT_TRUE(openSource(&s, path.c_str(), &asked, &error)) << c.name << ": " << error;
        EXPECT_STREQ(s.kind->name, c.kind == RAW ? "raw" : "y4m") << c.name;
        EXPECT_EQ(s.geometry.format, g.format) << c.name;
        EXPECT_EQ(s.frameBytes, frameBytes(&g)) << c.name;
        EXPECT_EQ(s.frameCount, FRAMES) << c.name;
        EXPECT_EQ(wasIndexed(&s), c.kind == Y4M_VARYING_PARAMETERS) << c.name;
        std::vector<uint8_t> frame(static_cast<size_t>(s.frameBytes));
        for (int k : {3, 0, 2, 1, 2}) {
            ASSERT_TRUE(readSourceFrame(&s, k, frame.data(), &error)) << c.name << ": " << error;
            EXPECT_EQ(frame, frameOf(&g, k)) << c.name << " frame " << k;
        }
        EXPECT_FALSE(readSourceFrame(&s, FRAMES, frame.data(), &error)) << c.name;
        closeSource(&s);
    }
}

TEST(SnapFormats, EveryCutReadsBackThroughItsSource) {
    for (const Stored& c : storedCases) {
        const std::string path = store(c);
        const FrameGeometry g = geometryOf(c);
        for (const char* extension : {".yuv", ".y4m"}) {
            const std::string out = scratchPath(std::string("cut_") + c.name + extension);
            std::vector<std::string> args = geometryFlags(c);
            args.insert(args.end(), {"--frame", "1-2", path, out});
            ASSERT_EQ(runSnap(args), 0) << c.name << extension;
            const bool y4m = extension[2] == '4';
            if (!y4m) {
                // The input's own layout and depth: exactly those bytes.
                EXPECT_EQ(readAll(out), joined(&g, 1, 2, false)) << c.name;
                continue;
            }
            const GeometryRequest none = {0, 0, 0, nullptr};
            Source s;
            std::string error;
            ASSERT_TRUE(openSource(&s, out.c_str(), &none, &error)) << c.name << ": " << error;
            EXPECT_EQ(s.geometry.format, planarFormOf(g.format)) << c.name;
            ASSERT_EQ(s.frameCount, 2) << c.name;
            std::vector<uint8_t> all, frame(static_cast<size_t>(s.frameBytes));
            for (int k = 0; k < 2; ++k) {
                ASSERT_TRUE(readSourceFrame(&s, k, frame.data(), &error)) << error;
                all.insert(all.end(), frame.begin(), frame.end());
            }
            // The viewer's layout rounds odd chroma down, Y4M up: the last column and row repeat.
            if (c.width % 2 == 0 || g.rounding == CHROMA_ROUNDED_UP) {
                EXPECT_EQ(all, joined(&g, 1, 2, true)) << c.name;
            }
            if (c.width % 2 == 1 && g.rounding == CHROMA_ROUNDED_DOWN) {
                const std::vector<uint8_t> down = joined(&g, 1, 1, true);
                EXPECT_EQ(all[35 * 17 + 17], down[35 * 17 + 16]) << "U row 0 repeats its last sample";
                EXPECT_EQ(all[35 * 17 + 18 * 8], down[35 * 17 + 17 * 7]) << "U's last row repeats";
            }
            closeSource(&s);
        }
    }
}

// What --framemd5 lists for these frames of a WxH stream at 25 frames a second.
std::vector<uint8_t> listingOf(const std::vector<std::vector<uint8_t>>& frames, int32_t width, int32_t height) {
    const FrameMd5Stream stream = {width, height, 25, 1, 0, 0};
    char text[FRAMEMD5_HEADER_SIZE];
    std::string listing(text, frameMd5Header(&stream, text, sizeof text));
    for (size_t k = 0; k < frames.size(); ++k) {
        uint8_t digest[MD5_BYTES];
        md5Bytes(frames[k].data(), frames[k].size(), digest);
        listing.append(text, frameMd5Line(int64_t(k), int64_t(frames[k].size()), digest, text, sizeof text));
    }
    return std::vector<uint8_t>(listing.begin(), listing.end());
}

// Reads every frame in order through the source at `path`, expecting `frames` then the end.
void expectFramesInOrder(const std::string& path, const GeometryRequest* asked, const FrameFormat* format,
                         const std::vector<std::vector<uint8_t>>& frames) {
    Source s;
    std::string error;
    ASSERT_TRUE(openSource(&s, path.c_str(), asked, &error)) << error;
    EXPECT_EQ(s.geometry.format, format);
    ASSERT_EQ(s.frameCount, int64_t(frames.size()));
    std::vector<uint8_t> frame(size_t(s.frameBytes));
    for (size_t k = 0; k < frames.size(); ++k) {
        ASSERT_EQ(sourceNext(&s, frame.data(), &error), 1) << error;
        EXPECT_EQ(frame, frames[k]) << "frame " << k;
    }
    EXPECT_EQ(sourceNext(&s, frame.data(), &error), 0);
    ASSERT_TRUE(readSourceFrame(&s, 0, frame.data(), &error)) << error; // back to the start
    EXPECT_EQ(frame, frames[0]);
    closeSource(&s);
}

std::vector<uint8_t> concatenated(const std::vector<std::vector<uint8_t>>& frames) {
    std::vector<uint8_t> all;
    for (const std::vector<uint8_t>& frame : frames) all.insert(all.end(), frame.begin(), frame.end());
    return all;
}

// Every row of the format table: its frames stored raw read back through the
// raw source, and written back by the yuv, y4m and framemd5 writers; where
// Y4M has a tag, the cut read back through the Y4M source and written again
// by each writer. Bytes equal everywhere: a new row is covered here as it is.
TEST(SnapFormats, EveryFormatRowRoundTripsThroughEverySourceAndWriter) {
    for (const FrameFormat& format : frameFormatRows()) {
        SCOPED_TRACE(format.name);
        const FrameGeometry g = {&format, 12, 6, CHROMA_ROUNDED_DOWN};
        const FrameFormat* planar = planarFormOf(&format);
        std::vector<std::vector<uint8_t>> stored, flat;
        for (int k = 0; k < 3; ++k) {
            stored.push_back(frameOf(&g, k));
            flat.push_back(stored.back());
            if (planar != &format) {
                ASSERT_TRUE(planarFrame(&g, stored.back().data(), flat.back().data()));
            }
        }
        const std::string name = std::string("row_") + format.name;
        const std::string raw = writeBytes(name + ".yuv", concatenated(stored));
        const GeometryRequest asked = {1, 12, 6, &format};
        expectFramesInOrder(raw, &asked, &format, stored);
        const std::vector<std::string> flags = {"--size", "12x6", "--format", format.name};
        const bool tagged = y4mColourOf(&format) != nullptr;
        for (const char* extension : {".yuv", ".framemd5", ".y4m"}) {
            std::vector<std::string> args = flags;
            args.insert(args.end(), {raw, scratchPath(name + "_cut" + extension)});
            const bool y4mOut = extension[2] == '4';
            ASSERT_EQ(runSnap(args), y4mOut && !tagged ? 2 : 0) << extension;
        }
        EXPECT_EQ(readAll(scratchPath(name + "_cut.yuv")), concatenated(stored));
        EXPECT_EQ(readAll(scratchPath(name + "_cut.framemd5")), listingOf(stored, 12, 6));
        if (!tagged) continue; // Y4M has no tag for it: the stream is refused, not mislabelled
        const std::string y4m = scratchPath(name + "_cut.y4m");
        const GeometryRequest none = {0, 0, 0, nullptr};
        expectFramesInOrder(y4m, &none, planar, flat);
        for (const char* extension : {".yuv", ".framemd5", ".y4m"})
            ASSERT_EQ(runSnap({y4m, scratchPath(name + "_again" + extension)}), 0) << extension;
        EXPECT_EQ(readAll(scratchPath(name + "_again.yuv")), concatenated(flat));
        EXPECT_EQ(readAll(scratchPath(name + "_again.framemd5")), listingOf(flat, 12, 6));
        EXPECT_EQ(readAll(scratchPath(name + "_again.y4m")), readAll(y4m));
    }
}

// A kind that can only go forward and does not know its length (a pipe):
// frame n is one byte, n, and there are five.
int nextCounted(Source* s, uint8_t* frame, std::string*) {
    if (s->nextFrame == 5) return 0;
    frame[0] = static_cast<uint8_t>(s->nextFrame);
    return 1;
}
void closeCounted(Source*) {}
const FrameSource countedSource = {"counted", nullptr, nullptr, nullptr, nextCounted, nullptr, nullptr, closeCounted};

// Drivers ask for frames by number; a source that cannot seek reads its way
// there, says when a frame has gone by, and ends where its frames do.
TEST(SnapFormats, FramesByNumberFromASourceThatCannotSeek) {
    Source s = Source();
    s.kind = &countedSource;
    s.path = "pipe";
    s.frameCount = -1;
    std::string error;
    uint8_t frame = 0;
    EXPECT_FALSE(sourceCanSeek(&s));
    EXPECT_TRUE(readSourceFrame(&s, 2, &frame, &error));
    EXPECT_EQ(frame, 2);
    EXPECT_TRUE(readSourceFrame(&s, 3, &frame, &error));
    EXPECT_EQ(frame, 3);
    EXPECT_FALSE(readSourceFrame(&s, 1, &frame, &error));
    EXPECT_NE(error.find("frame 1 of 'pipe' has gone by"), std::string::npos) << error;
    EXPECT_FALSE(sourceSeek(&s, 0, &error));
    EXPECT_FALSE(readSourceFrame(&s, 7, &frame, &error));
    EXPECT_NE(error.find("frame 7 is past the end of 'pipe'"), std::string::npos) << error;
    EXPECT_EQ(sourceNext(&s, &frame, &error), 0);
    closeSource(&s);
}

// FFmpeg is the oracle: its framemd5 of the same file, header lines and all.
TEST(SnapFormats, FrameMd5ListingsAreFfmpegs) {
    if (system("ffmpeg -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no ffmpeg";
    for (const Stored& c : storedCases) {
        const FrameGeometry g = geometryOf(c);
        // FFmpeg rounds a raw file's chroma up: the viewer's layout has no listing there.
        if (roundingChangesLayout(&g) && g.rounding == CHROMA_ROUNDED_DOWN) continue;
        const std::string path = store(c);
        const std::string ours = scratchPath(std::string(c.name) + ".framemd5");
        const std::string theirs = scratchPath(std::string(c.name) + ".ffmpeg");
        std::vector<std::string> args = geometryFlags(c);
        args.insert(args.end(), {path, ours});
        ASSERT_EQ(runSnap(args), 0) << c.name;
        std::string command = "ffmpeg -v error ";
        if (c.kind == RAW)
            command += std::string("-f rawvideo -pix_fmt ") + g.format->name + " -s " + std::to_string(c.width) + "x" +
                       std::to_string(c.height) + " -r 25 ";
        // FFmpeg stops reading a Y4M header at 256 bytes: its copy has no long X field.
        const std::string short_ = store(c, false, (std::string("short_") + c.name).c_str());
        command += "-fflags +bitexact -i " + short_ + " -f framemd5 - 2>/dev/null | grep -v '^#software' > " + theirs;
        ASSERT_EQ(system(command.c_str()), 0) << command;
        EXPECT_EQ(readAll(ours), readAll(theirs)) << c.name;
    }
}

// A Y4M stream's frames, without its header (which names the siting of its input).
std::vector<uint8_t> framesOf(const std::string& path) {
    std::vector<uint8_t> bytes = readAll(path);
    bytes.erase(bytes.begin(), std::find(bytes.begin(), bytes.end(), '\n'));
    return bytes;
}

// FFmpeg's framemd5 listing of a file it reads with `input` options, into `listing`.
void ffmpegListing(const std::string& input, const std::string& listing) {
    const std::string command = "ffmpeg -v error -fflags +bitexact " + input +
                                " -f framemd5 - 2>/dev/null | grep -v '^#software' > " + listing;
    ASSERT_EQ(system(command.c_str()), 0) << command;
}

// Odd sizes in FFmpeg's layout: FFmpeg lists the .yuv and .y4m cuts as it
// lists the input, and a .yuv cut read back with --size alone (no name, no
// --format) and cut again gives the same frames, so that Y4M to .yuv to .y4m
// compares identical.
TEST(SnapFormats, OddSizesRoundTripAsFfmpegReadsThem) {
    if (system("ffmpeg -version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no ffmpeg";
    for (const Stored& c : storedCases) {
        const FrameGeometry g = geometryOf(c);
        if (!roundingChangesLayout(&g) || g.rounding != CHROMA_ROUNDED_UP) continue;
        const std::string path = store(c, false);
        const std::string size = std::to_string(c.width) + "x" + std::to_string(c.height);
        const std::string raw = "-f rawvideo -pix_fmt " + std::string(g.format->name) + " -s " + size + " -i ";
        const std::string input = (c.kind == RAW ? raw : "-i ") + path;
        const std::string name = scratchPath(std::string("rt_") + c.name);
        ffmpegListing(input, name + ".listing");
        ffmpegListing(input + " -pix_fmt " + planarFormOf(g.format)->name, name + ".planar");
        for (const char* extension : {".yuv", ".y4m"}) {
            std::vector<std::string> args = geometryFlags(c);
            args.insert(args.end(), {path, name + extension});
            ASSERT_EQ(runSnap(args), 0) << c.name << extension;
            // FFmpeg's Y4M muxer halves the last chroma sample of an odd-width deep frame: its
            // reading of the cut is the oracle, not its writing.
            const bool y4m = extension[2] == '4';
            ffmpegListing((y4m ? "-i " : raw) + name + extension, name + ".again");
            EXPECT_EQ(readAll(name + ".again"), readAll(name + (y4m ? ".planar" : ".listing"))) << c.name << extension;
        }
        // The .yuv cut holds whole frames of FFmpeg's layout only: read so, it cuts back to the same frames.
        const std::string cut = name + ".yuv", again = name + "_again.y4m";
        std::vector<std::string> back = {"--size", size, cut, again};
        if (c.kind == RAW) back = {"--size", size, "--format", g.format->name, cut, again};
        ASSERT_EQ(runSnap(back), 0) << c.name;
        EXPECT_EQ(framesOf(again), framesOf(name + ".y4m")) << c.name;
    }
}

// --framemd5 on standard output is the file's listing byte for byte (no
// "\r\n" on Windows, where standard output is text unless told otherwise).
TEST(SnapFormats, ListingOnStandardOutputIsTheFileListing) {
    const Stored& c = storedCases[1];
    const std::string path = store(c);
    const std::string file = scratchPath("stdout.framemd5");
    std::vector<std::string> args = geometryFlags(c);
    args.insert(args.end(), {path, file});
    ASSERT_EQ(runSnap(args), 0);
    args = geometryFlags(c);
    args.insert(args.end(), {"--framemd5", path});
    testing::internal::CaptureStdout();
    const int status = runSnap(args);
    const std::string listed = testing::internal::GetCapturedStdout();
    ASSERT_EQ(status, 0);
    const std::vector<uint8_t> expected = readAll(file);
    EXPECT_EQ(listed, std::string(expected.begin(), expected.end()));
}

// A frame gives the same picture whatever its layout and depth: the picture
// of its narrowed 8-bit planar frame, stored raw.
TEST(SnapFormats, PicturesAreThoseOfTheNarrowedFrame) {
    for (const Stored& c : storedCases) {
        const FrameGeometry g = geometryOf(c);
        if (c.width % 2) continue;
        const std::string path = store(c);
        const std::vector<uint8_t> frame = frameOf(&g, 1);
        std::vector<uint8_t> narrow(static_cast<size_t>(narrowFrameBytes(&g)));
        ASSERT_TRUE(narrowFrame(&g, frame.data(), narrow.data())) << c.name;
        const std::string reference = writeBytes(std::string("narrow_") + c.name, narrow);
        const char* viewer = g.format->viewerCode == 422 ? "422" : g.format->viewerCode == 444 ? "444" : "420";
        for (const char* view : {"--colour", "--separate"}) {
            const std::string ours = scratchPath(std::string("p_") + c.name + ".bmp");
            const std::string theirs = scratchPath(std::string("r_") + c.name + ".bmp");
            std::vector<std::string> args = geometryFlags(c);
            args.insert(args.end(), {"--frame", "1", path, ours});
            if (view[2] == 's') args.insert(args.begin(), view);
            ASSERT_EQ(runSnap(args), 0) << c.name;
            std::vector<std::string> plain = {"--size", std::to_string(c.width) + "x" + std::to_string(c.height),
                                              "--format", viewer, reference, theirs};
            if (view[2] == 's') plain.insert(plain.begin(), view);
            ASSERT_EQ(runSnap(plain), 0) << c.name;
            EXPECT_EQ(readAll(ours), readAll(theirs)) << c.name << " " << view;
        }
    }
}

} // namespace
