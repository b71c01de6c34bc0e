#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "snap/format/frame_format.h"
#include "snap/writer/md5.h"
#include "snap/source/y4m_header.h"
#include "snap/writer/framemd5.h"
#include "tests/test_files.h"

namespace {

std::string md5Of(const std::string& text) {
    uint8_t digest[MD5_BYTES];
    EXPECT_TRUE(md5Bytes(reinterpret_cast<const uint8_t*>(text.data()), text.size(), digest));
    char hex[MD5_TEXT_SIZE];
    md5Text(digest, hex);
    return hex;
}

TEST(Md5, KnownAnswers) {
    // The test suite of the algorithm's own description.
    const char* const cases[][2] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& c : cases) EXPECT_EQ(md5Of(c[0]), c[1]) << c[0];
    EXPECT_EQ(md5Of(std::string(1000000, 'a')), "7707d6ae4e027c70eea2a935c2296f21");
}

// The frames' listing as corvane-snap writes it.
std::string listing(const FrameMd5Stream& stream, const std::vector<std::vector<uint8_t>>& frames) {
    char text[FRAMEMD5_HEADER_SIZE];
    const size_t length = frameMd5Header(&stream, text, sizeof text);
    EXPECT_GT(length, 0u);
    std::string all(text, length);
    for (size_t i = 0; i < frames.size(); ++i) {
        uint8_t digest[MD5_BYTES];
        EXPECT_TRUE(md5Bytes(frames[i].data(), frames[i].size(), digest));
        char line[FRAMEMD5_LINE_SIZE];
        all.append(line, frameMd5Line(int64_t(i), int64_t(frames[i].size()), digest, line, sizeof line));
    }
    return all;
}

TEST(FrameMd5, ListingFfmpegWroteForARawFile) {
    // ffmpeg -f rawvideo -pix_fmt yuv420p10le -s 6x4 -r 30000/1001 -i F -fflags +bitexact -f framemd5 -
    const char* expected =
        "#format: frame checksums\n"
        "#version: 2\n"
        "#hash: MD5\n"
        "#tb 0: 1001/30000\n"
        "#media_type 0: video\n"
        "#codec_id 0: rawvideo\n"
        "#dimensions 0: 6x4\n"
        "#sar 0: 0/1\n"
        "#stream#, dts,        pts, duration,     size, hash\n"
        "0,          0,          0,        1,       72, f9019e69c0b288ca2b635cfa0de38932\n"
        "0,          1,          1,        1,       72, 5cd538a9fad05351aad7b68cea3c1352\n"
        "0,          2,          2,        1,       72, f7d098c18b54f9399f527755bfd7dd21\n";
    std::vector<std::vector<uint8_t>> frames(3);
    for (int k = 0; k < 3; ++k)
        for (int i = 0; i < 72; ++i) frames[size_t(k)].push_back(uint8_t((i * 7 + k * 13 + 3) & 255));
    const FrameMd5Stream stream = {6, 4, 30000, 1001, 0, 0};
    EXPECT_EQ(listing(stream, frames), expected);
}

TEST(FrameMd5, TimeBaseAndAspectAsFfmpegGivesThem) {
    // A rate or aspect ratio with a part 0 is unknown: 25 and 0/1, as FFmpeg has them.
    struct Case {
        int64_t rateN, rateD;
        int32_t aspectN, aspectD;
        const char* timeBase;
        const char* aspect;
    } cases[] = {
        {30000, 1001, 0, 0, "1001/30000", "0/1"}, {25, 2, 128, 117, "2/25", "128/117"},
        {50, 2, 4, 2, "1/25", "4/2"},             {0, 0, 0, 5, "1/25", "0/1"},
        {1, 0, 2, 0, "1/25", "0/1"},              {1, 1000, 1, 1, "1000/1", "1/1"},
        {2000000, 2, 2147483647, 2147483646, "1/1000000", "2147483647/2147483646"},
    };
    for (const Case& c : cases) {
        const FrameMd5Stream stream = {352, 288, c.rateN, c.rateD, c.aspectN, c.aspectD};
        char text[FRAMEMD5_HEADER_SIZE];
        const std::string header(text, frameMd5Header(&stream, text, sizeof text));
        EXPECT_NE(header.find(std::string("\n#tb 0: ") + c.timeBase + "\n"), std::string::npos) << header;
        EXPECT_NE(header.find(std::string("\n#sar 0: ") + c.aspect + "\n"), std::string::npos) << header;
    }
    const FrameMd5Stream stream = {INT32_MAX, INT32_MAX, INT64_MAX, 1, INT32_MAX, INT32_MAX};
    char text[FRAMEMD5_HEADER_SIZE];
    EXPECT_GT(frameMd5Header(&stream, text, sizeof text), 0u);
    EXPECT_EQ(frameMd5Header(&stream, text, 100), 0u);
}

TEST(FrameMd5, ColumnsWidenForLargeNumbers) {
    uint8_t digest[MD5_BYTES];
    for (int i = 0; i < MD5_BYTES; ++i) digest[i] = uint8_t(i * 17);
    char line[FRAMEMD5_LINE_SIZE];
    frameMd5Line(12345678901, 123456789, digest, line, sizeof line);
    EXPECT_STREQ(line, "0, 12345678901, 12345678901,        1, 123456789, 00112233445566778899aabbccddeeff\n");
    frameMd5Line(INT64_MAX, INT32_MAX, digest, line, sizeof line);
    EXPECT_EQ(strlen(line), 100u); // the longest a line can be
    EXPECT_EQ(frameMd5Line(0, 1, digest, line, 40), 0u);
}

#ifndef _WIN32

// FFmpeg as the oracle, when it is installed: its listing of a file the test
// writes, read through popen.
bool haveFfmpeg() {
    static const bool found = system("ffmpeg -version >/dev/null 2>&1") == 0;
    return found;
}

std::string ffmpegListing(const std::string& arguments) {
    const std::string command = "ffmpeg -nostdin -hide_banner -loglevel error " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return "";
    std::string out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
    return out;
}

std::vector<std::vector<uint8_t>> numberedFrames(size_t frameBytes, int count, uint32_t seed) {
    std::vector<std::vector<uint8_t>> frames;
    for (int k = 0; k < count; ++k) frames.push_back(randomBytes(frameBytes, seed + uint32_t(k)));
    return frames;
}

TEST(FrameMd5, EqualsFfmpegForEveryRawFormat) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    struct Case {
        const char* format;
        int32_t width, height;
        const char* rate;
        int64_t rateN, rateD;
    } cases[] = {
        {"yuv420p", 6, 4, "25", 25, 1},           {"yuv422p", 8, 2, "12.5", 25, 2},
        {"yuv444p", 5, 3, "30000/1001", 30000, 1001}, {"yuv411p", 8, 3, "50", 50, 1},
        {"gray", 5, 3, "24000/1001", 24000, 1001},  {"yuv420p10le", 6, 4, "60", 60, 1},
        {"yuv422p10le", 4, 3, "25", 25, 1},       {"yuv444p10le", 3, 3, "25", 25, 1},
        {"yuv420p12le", 2, 2, "25", 25, 1},       {"yuv422p12le", 4, 2, "25", 25, 1},
        {"yuv444p12le", 3, 1, "25", 25, 1},       {"yuv420p16le", 4, 6, "25", 25, 1},
        {"yuv422p16le", 2, 5, "25", 25, 1},       {"yuv444p16le", 3, 2, "100", 100, 1},
        {"gray10le", 3, 5, "25", 25, 1},          {"gray12le", 7, 1, "25", 25, 1},
        {"gray16le", 1, 7, "25", 25, 1},          {"nv12", 6, 4, "25", 25, 1},
        {"nv21", 6, 2, "25", 25, 1},              {"p010le", 4, 4, "25", 25, 1},
        {"yuv420p", 352, 288, "25", 25, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        const FrameGeometry geometry = {findFrameFormat(c.format), c.width, c.height, CHROMA_ROUNDED_DOWN};
        ASSERT_FALSE(roundingChangesLayout(&geometry)); // where FFmpeg reads the same bytes
        const auto frames = numberedFrames(size_t(frameBytes(&geometry)), 3, uint32_t(c.width * 31 + c.height));
        std::vector<uint8_t> file;
        for (const auto& frame : frames) file.insert(file.end(), frame.begin(), frame.end());
        const std::string path = writeBytes(std::string("md5_") + c.format + ".yuv", file);
        const std::string theirs = ffmpegListing(std::string("-f rawvideo -pix_fmt ") + c.format + " -s " +
                                                 std::to_string(c.width) + "x" + std::to_string(c.height) +
                                                 " -r " + c.rate + " -i '" + path +
                                                 "' -fflags +bitexact -f framemd5 -");
        EXPECT_EQ(listing({c.width, c.height, c.rateN, c.rateD, 0, 0}, frames), theirs);
    }
}

TEST(FrameMd5, EqualsFfmpegForEveryY4mColourSpace) {
    if (!haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    const char* const rates[] = {" F25:1", " F30000:1001", " F50:2", ""};
    const char* const aspects[] = {" A0:0", " A128:117", " A4:2", ""};
    const char* const frameHeaders[] = {"FRAME\n", "FRAME Ip\n", "FRAME XNOTE=1\n"};
    int n = 0;
    for (const Y4mColour& colour : y4mColourRows()) {
        SCOPED_TRACE(colour.tag);
        const int32_t width = 5 + n % 3, height = 3 + n % 2; // odd sizes: chroma rounded up
        std::string text = "YUV4MPEG2 W" + std::to_string(width) + " H" + std::to_string(height) + rates[n % 4] +
                           " Ip" + aspects[(n / 4) % 4] + " C" + colour.tag + "\n";
        Y4mHeader header;
        char error[128];
        ASSERT_EQ(parseY4mHeader(reinterpret_cast<const uint8_t*>(text.data()), text.size(), &header, error,
                                 sizeof error),
                  Y4M_HEADER_READ);
        const auto frames = numberedFrames(size_t(header.frameBytes), 3, uint32_t(n));
        for (const auto& frame : frames) {
            text += frameHeaders[n % 3];
            text.append(frame.begin(), frame.end());
        }
        const std::string path = writeBytes("md5_" + std::to_string(n) + ".y4m",
                                            std::vector<uint8_t>(text.begin(), text.end()));
        const std::string theirs = ffmpegListing("-i '" + path + "' -fflags +bitexact -f framemd5 -");
        const FrameMd5Stream stream = {width, height, header.rateNumerator, header.rateDenominator,
                                       header.aspectNumerator, header.aspectDenominator};
        EXPECT_EQ(listing(stream, frames), theirs);
        ++n;
    }
}

#endif

} // namespace
