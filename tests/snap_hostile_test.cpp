// corvane-snap run the way a careless or hostile user would. Every case runs
// in one folder; afterwards every file there before it must still be there
// with the same bytes, and the only new files are the ones the case names.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "tests/test_files.h"
#include "snap/snap.h"

namespace fs = std::filesystem;

namespace {

int runSnapIn(std::vector<std::string> args) {
    args.insert(args.begin(), "corvane-snap");
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    return snapMain(static_cast<int>(args.size()), argv.data());
}

uint64_t checksum(const fs::path& path) {
    uint64_t hash = 1469598103934665603ull; // FNV-1a
    FILE* file = fopen(path.string().c_str(), "rb");
    if (!file) return 0;
    int c;
    while ((c = fgetc(file)) != EOF) hash = (hash ^ static_cast<uint8_t>(c)) * 1099511628211ull;
    fclose(file);
    return hash;
}

std::vector<uint8_t> readFile(const char* path) {
    std::vector<uint8_t> bytes;
    FILE* file = fopen(path, "rb");
    if (!file) return bytes;
    int c;
    while ((c = fgetc(file)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
    fclose(file);
    return bytes;
}

void writeFile(const char* path, const std::vector<uint8_t>& bytes) {
    FILE* file = fopen(path, "wb");
    if (!file) return;
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
}

void writeFile(const char* path, const std::string& text) {
    writeFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

// Every regular file in the folder, with its checksum.
std::map<std::string, uint64_t> folderContents(const fs::path& folder) {
    std::map<std::string, uint64_t> files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder))
        if (!entry.is_symlink() && entry.is_regular_file())
            files[fs::relative(entry.path(), folder).generic_string()] = checksum(entry.path());
    return files;
}

struct NewFile {
    const char* name;
    const char* sameAs; // a file whose bytes it must hold, or nullptr
};

struct HostileCase {
    std::vector<std::string> args;
    int status;
    const char* message; // part of standard error
    std::vector<NewFile> made;
    long sizeLimit;      // bytes a file may grow to (0: no limit), for a disk that fills
};

const std::string longName = std::string(300, 'n') + "_qcif.yuv";

const HostileCase hostileCases[] = {
    // Data loss: OUTPUT that is INPUT under another spelling, and other writers.
    {{"v_176x144.png", "./v_176x144.png"}, 2, "is INPUT 'v_176x144.png' under another name", {}, 0},
    {{"v_176x144.png", "sub/../v_176x144.png"}, 2, "is INPUT", {}, 0},
    {{"v_176x144.png", "hard.png"}, 2, "'hard.png' is INPUT", {}, 0},
    {{"--frame", "3-5", "v_176x144.png", "v_176x14%d.png"}, 2, "'v_176x144.png' is INPUT", {}, 0},
    {{"--compare", "ten_qcif.yuv", "four_qcif.yuv", "--stats", "sub/../four_qcif.yuv"}, 2,
     "--stats: 'sub/../four_qcif.yuv' is OTHER 'four_qcif.yuv' under another name", {}, 0},
    {{"v_176x144.png", "d_3.png"}, 2, "cannot write 'd_3.png': it is a directory", {}, 0},
    // Cuts and listings: never INPUT, whatever the spelling or link.
    {{"ten_qcif.yuv", "./ten_qcif.yuv"}, 2, "is INPUT 'ten_qcif.yuv' under another name", {}, 0},
    {{"ten_qcif.yuv", "hard.y4m"}, 2, "'hard.y4m' is INPUT", {}, 0},
    {{"ten_qcif.yuv", "hard.framemd5"}, 2, "'hard.framemd5' is INPUT", {}, 0},
    {{"ten.y4m", "sub/../ten.y4m"}, 2, "is INPUT", {}, 0},
    // A full disk: no partial cut or listing, and an old file kept.
    {{"ten_qcif.yuv", "cut.yuv"}, 2, "cannot write 'cut.yuv': File too large", {}, 50000},
    {{"ten_qcif.yuv", "cut.y4m"}, 2, "cannot write 'cut.y4m': File too large", {}, 50000},
    {{"ten_qcif.yuv", "keep.bmp"}, 2, "cannot write 'keep.bmp': File too large", {}, 50000},
    // Y4M streams that cannot be read all through: one line, exit 2, no output.
    {{"broken.y4m", "cut.yuv"}, 2, "frame 2 of 'broken.y4m' has no FRAME marker", {}, 0},
    {{"--framemd5", "broken.y4m"}, 2, "frame 2 of 'broken.y4m' has no FRAME marker", {}, 0},
    {{"--frame", "1", "broken.y4m", "one.bmp"}, 0, "", {{"one.bmp", nullptr}}, 0},
    {{"--info", "colour.y4m"}, 2, "colour space '420p9' is not one read here", {}, 0},
    {{"--info", "nowidth.y4m"}, 2, "gives no width (W)", {}, 0},
    {{"--size", "cif", "ten.y4m", "x.bmp"}, 2, "the geometries differ: the flags give 352x288", {}, 0},
    // FRAME lines of other lengths: every frame counted and cut, a cut tail a note; a CRLF header shown.
    {{"lines.y4m", "l.yuv"}, 0, "", {{"l.yuv", "lines_frames.yuv"}}, 0},
    {{"linestail.y4m", "l.yuv"}, 0, "'linestail.y4m' ends in a partial frame of 16 bytes",
     {{"l.yuv", "lines_frames.yuv"}}, 0},
    {{"--info", "crlf.y4m"}, 2, "the YUV4MPEG2 header field 'H8\\r' is malformed", {}, 0},
    // --size wins over the name's geometry; the tail is a note.
    {{"--size", "64x48", "clip_yuv420p.yuv", "c.yuv"}, 0, "'clip_yuv420p.yuv' ends in a partial frame of 2404 bytes",
     {{"c.yuv", nullptr}}, 0},
    // An odd size in FFmpeg's layout round-trips: Y4M, its .yuv cut, and a Y4M again, equal.
    {{"--size", "35x17", "oddcut.yuv", "odd_back.y4m"}, 0, "", {{"odd_back.y4m", "odd.y4m"}}, 0},
    {{"--compare", "odd.y4m", "oddcut.yuv", "--fail-below", "99"}, 0, "", {}, 0},
    {{"--compare", "--size", "35x17", "--format", "420", "odd.y4m", "oddcut.yuv"}, 2, "the geometries differ", {}, 0},
    // A Y4M stream against the same frames raw: read through the sources, equal.
    {{"--compare", "ten.y4m", "ten_qcif.yuv", "--fail-below", "99"}, 0, "", {}, 0},
    {{"--compare", "--format", "422", "ten.y4m", "ten_qcif.yuv"}, 2, "the geometries differ", {}, 0},
    {{"--compare", "--metric", "ssim", "ten_qcif.yuv", "ten.y4m", "--json", "ten_qcif.yuv"}, 2, "is INPUT", {}, 0},
    {{"--compare", "--metric", "ssim", "ten_qcif.yuv", "ten.y4m", "--json", "sub/../ten.y4m"}, 2, "is OTHER", {}, 0},
    // SSIM lines or an SSIM gate ask for SSIM without --metric.
    {{"--compare", "ten_qcif.yuv", "ten.y4m", "--ssim-stats", "s.txt"}, 0, "", {{"s.txt", nullptr}}, 0},
    {{"--compare", "--metric", "psnr", "ten_qcif.yuv", "four_qcif.yuv", "--fail-below-ssim", "0.5"}, 1,
     "6 frames are missing from 'four", {}, 0},
    {{"--diff", "ten_qcif.yuv", "ten.y4m", "./ten.y4m"}, 2, "--diff writes pictures", {}, 0},
    {{"--diff", "--frame", "0-3", "ten_qcif.yuv", "ten.y4m", "d.png"}, 2, "need a frame-number field", {}, 0},
    {{"--diff", "--frame", "3", "ten_qcif.yuv", "four_qcif.yuv", "d.png"}, 0,
     "'ten_qcif.yuv' holds 10 frames, 'four_qcif.yuv' 4 frames: comparing the first 4", {{"d.png", nullptr}}, 0},
    {{"--diff", "--frame", "6", "ten_qcif.yuv", "four_qcif.yuv", "d.png"}, 2,
     "frame 6 is past the end: 'ten_qcif.yuv' holds 10 and 'four_qcif.yuv' 4 whole frames: they share 4", {}, 0},
    // A failed overwrite keeps the old file; a failed sample leaves nothing.
    {{"--make-sample", "176x144", "10", "big.yuv"}, 2, "cannot write 'big.yuv': File too large", {}, 50000},
    {{"--compare", "ten_qcif.yuv", "ten_qcif.yuv", "--stats", "s.txt"}, 2, "cannot write 's.txt'", {}, 300},
    // Geometries that disagree.
    {{"--compare", "c_128x96.yuv", "q_qcif.yuv", "--fail-below", "5"}, 2,
     "the geometries differ: 'c_128x96.yuv' gives 128x96, 'q_qcif.yuv' gives 176x144", {}, 0},
    {{"--compare", "a_176x144_420.yuv", "b_176x144_444.yuv"}, 2, "gives 176x144 4:2:0, 'b_176x144_444.yuv'", {}, 0},
    {{"--compare", "--size", "128x96", "q_qcif.yuv", "q_qcif.yuv"}, 2, "the flags give", {}, 0},
    // A gate passes only on frames it saw.
    {{"--compare", "ten_qcif.yuv", "four_qcif.yuv", "--fail-below", "30"}, 1,
     "--fail-below fails: 6 frames are missing from 'four", {}, 0},
    {{"--compare", "four_qcif.yuv", "ten.y4m", "--fail-below", "30"}, 1,
     "--fail-below fails: 6 frames are missing from 'four", {}, 0},
    {{"--compare", "--metric", "ssim", "ten_qcif.yuv", "four_qcif.yuv", "--fail-below-ssim", "0"}, 1,
     "--fail-below-ssim fails: 6 frames are missing from 'four", {}, 0},
    {{"--compare", "--metric", "psnr,ssim", "ten.y4m", "four_qcif.yuv", "--fail-below", "1", "--fail-below-ssim",
      "0"}, 1, "--fail-below and --fail-below-ssim fail: 6 frames are missing from 'four", {}, 0},
    // Two outputs of one run that are one file: refused before either is written.
    {{"--compare", "--metric", "psnr,ssim", "ten_qcif.yuv", "q_qcif.yuv", "--json", "p.svg", "--plot", "p.svg"}, 2,
     "--plot: 'p.svg' is the --json file 'p.svg': it would be overwritten", {}, 0},
    {{"--compare", "--metric", "psnr,ssim", "ten_qcif.yuv", "q_qcif.yuv", "--stats", "s.log", "--ssim-stats",
      "./s.log"}, 2, "--ssim-stats: './s.log' is the --stats file 's.log' under another name", {}, 0},
    {{"--compare", "--metric", "psnr,ssim", "ten_qcif.yuv", "q_qcif.yuv", "--stats", "sub/s.svg", "--plot",
      "sub/../sub/s.svg"}, 2, "'sub/s.svg' is the --plot file 'sub/../sub/s.svg' under another name", {}, 0},
    {{"--compare", "--metric", "psnr,ssim", "ten_qcif.yuv", "q_qcif.yuv", "--ssim-stats", "keep.bmp", "--json",
      "sub/../keep.bmp"}, 2, "is the --json file 'sub/../keep.bmp' under another name", {}, 0},
    {{"--compare", "--metric", "ssim", "ten_qcif.yuv", "q_qcif.yuv", "--ssim-stats", "v_176x144.png", "--json",
      "hard.png"}, 2, "'v_176x144.png' is the --json file 'hard.png' under another name", {}, 0},
#ifndef _WIN32
    {{"--compare", "--metric", "psnr,ssim", "ten_qcif.yuv", "q_qcif.yuv", "--stats", "/dev/null", "--ssim-stats",
      "/dev/null"}, 0, "comparing the first 2", {}, 0},
#endif
    {{"--compare", "ten_qcif.yuv", "four_qcif.yuv"}, 0, "comparing the first 4", {}, 0},
    // Files that are not files.
    {{"--info", "sub"}, 2, "'sub' is a directory", {}, 0},
    {{"--compare", "ten_qcif.yuv", "sub"}, 2, "'sub' is a directory", {}, 0},
    {{"sub", "x.bmp"}, 2, "'sub' is a directory", {}, 0},
#ifndef _WIN32
    // OUTPUT through links: the file at the end of the chain is written (a
    // dangling link names the file to create) and the links stay links.
    {{"--size", "qcif", "ten.yuv", "dangling.bmp"}, 0, "", {{"sub/made.bmp", "frame0.bmp"}}, 0},
    {{"--size", "qcif", "ten.yuv", "chain.bmp"}, 0, "", {{"sub/made.bmp", "frame0.bmp"}}, 0},
    {{"ten_qcif.yuv", "loop_a.bmp"}, 2, "cannot write 'loop_a.bmp': Too many levels of symbolic links", {}, 0},
    // Two outputs through links to one file not there yet are one file.
    {{"--compare", "--metric", "psnr,ssim", "ten_qcif.yuv", "q_qcif.yuv", "--stats", "sub/made.bmp", "--ssim-stats",
      "chain.bmp"}, 2, "--ssim-stats: 'chain.bmp' is the --stats file 'sub/made.bmp' under another name", {}, 0},
    {{"ten_qcif.yuv", "linked.yuv"}, 2, "'linked.yuv' is INPUT 'ten_qcif.yuv' under another name", {}, 0},
    {{"--size", "qcif", "/dev/zero", "x.bmp"}, 2, "'/dev/zero' is not a regular file", {}, 0},
#endif
    // Messages with the system's reason, names whole and on one line.
    {{"--info", "absent.yuv"}, 2, "cannot read 'absent.yuv': No such file or directory", {}, 0},
    {{"--info", "new\nline_qcif.yuv"}, 2, "'new\\nline_qcif.yuv': ", {}, 0},
#ifndef _WIN32
    {{"--info", longName}, 2, "_qcif.yuv': File name too long", {}, 0},
    // Bytes that are not UTF-8 (stray, overlong, cut short) escaped; UTF-8 kept, but for line breaks.
    {{"--info", "bad\xff\xc0\xaf\xc3(name_qcif.yuv"}, 2, "cannot read 'bad\\xff\\xc0\\xaf\\xc3(name_qcif.yuv': ", {}, 0},
    {{"--info", "\xc3\xbc\xc2\x85\xe9\x9b\xaa\xe2\x80\xa8_qcif.yuv"}, 2,
     "cannot read '\xc3\xbc\\xc2\\x85\xe9\x9b\xaa\\xe2\\x80\\xa8_qcif.yuv': ", {}, 0},
#endif
    {{"ten_qcif.yuv", "none/x.bmp"}, 2, "cannot write 'none/x.bmp': No such file or directory", {}, 0},
    {{"--make-sample", "100000x100000", "1", "j.yuv"}, 2, "a 100000x100000 4:2:0 frame is 15000000000 bytes", {}, 0},
    // Sizes that cannot be held, refused with the real numbers.
    {{"--size", "2147483647x1", "--format", "420", "--separate", "ten_qcif.yuv", "x.bmp"}, 2,
     "makes a 3221225470x1 picture", {}, 0},
    {{"--size", "2147483647x1", "--separate", "ten_qcif.yuv", "x.bmp"}, 2,
     "a 2147483647x1 4:2:0 frame cannot be held in memory", {}, 0},
    {{"--size", "20000x20000", "ten_qcif.yuv", "x.png"}, 2, "makes a 20000x20000 picture, too large for PNG", {}, 0},
    // One rule for OUTPUT's number field.
    {{"ten_qcif.yuv", "n_%d_%d.png"}, 2, "one frame-number field", {}, 0},
    {{"ten_qcif.yuv", "p100%.bmp"}, 2, "one frame-number field", {}, 0},
    {{"ten_qcif.yuv", "p100%%.bmp"}, 0, "", {{"p100%.bmp", "frame0.bmp"}}, 0},
    {{"--frame", "0", "ten_qcif.yuv", "one_%02d.bmp"}, 0, "", {{"one_00.bmp", "frame0.bmp"}}, 0},
    // The first failing frame in frame order, every time.
    {{"--frame", "0-9", "ten_qcif.yuv", "none/g%d.png"}, 2, "cannot write 'none/g0.png'", {}, 0},
    {{"--frame", "0-5", "ten_qcif.yuv", "d_%d.png"}, 2, "'d_3.png': it is a directory", {}, 0},
    // Arguments as users type them.
    {{"--size", "176X144", "ten.yuv", "s.bmp"}, 0, "", {{"s.bmp", "frame0.bmp"}}, 0},
    {{"--size", "176*144", "ten.yuv", "s.bmp"}, 0, "", {{"s.bmp", "frame0.bmp"}}, 0},
    {{"--size", "QCIF", "ten.yuv", "s.bmp"}, 0, "", {{"s.bmp", "frame0.bmp"}}, 0},
    {{"--size", "qcif", "--", "--odd.yuv", "s.bmp"}, 0, "", {{"s.bmp", "frame0.bmp"}}, 0},
    {{"--compare", "ten_qcif.yuv", "ten_qcif.yuv", "--fail-below", "0x20"}, 2, "--fail-below takes a PSNR", {}, 0},
    {{"--size", "qcif", "--size", "qcif", "ten.yuv", "s.bmp"}, 2, "--size is given twice", {}, 0},
    {{"--make-sample", "16x8", "2", "x.png"}, 2, "--make-sample writes raw YUV", {}, 0},
    {{"--size", "qcif", "--frame", "all", "tail.yuv", "t_%d.bmp"}, 0, "ends in a partial frame of 100 bytes",
     {{"t_0.bmp", "frame0.bmp"}, {"t_1.bmp", nullptr}}, 0},
};

class HostileRuns : public testing::Test {
protected:
    // Y4M streams whose FRAME lines differ in length (one with a cut tail),
    // one with a CRLF header, a name whose geometry --size overrides, and an
    // odd-size stream with its .yuv cut.
    void writeOddStreams() {
        const std::string header = "YUV4MPEG2 W8 H8 F25:1 Cmono\n";
        const std::vector<uint8_t> frames = randomBytes(128, 5);
        const std::string first(frames.begin(), frames.begin() + 64), second(frames.begin() + 64, frames.end());
        writeFile("lines_frames.yuv", frames);
        writeFile("lines.y4m", header + "FRAME Ixyz\n" + first + "FRAME\n" + second);
        writeFile("linestail.y4m", header + "FRAME Ixyz\n" + first + "FRAME\n" + second + "FRAME\n" + first.substr(0, 10));
        writeFile("crlf.y4m", "YUV4MPEG2 W8 H8\r\nFRAME\n" + std::string(96, 'x'));
        fs::copy_file("tail.yuv", "clip_yuv420p.yuv");
        writeFile("odd_src.yuv", randomBytes(2 * (35 * 17 + 2 * 18 * 9), 6));
        ASSERT_EQ(runSnapIn({"--size", "35x17", "--format", "yuv420p", "odd_src.yuv", "odd.y4m"}), 0);
        ASSERT_EQ(runSnapIn({"odd.y4m", "oddcut.yuv"}), 0);
    }

    void SetUp() override {
        folder = fs::path(scratchPath("hostile"));
        fs::remove_all(folder);
        fs::create_directories(folder / "sub");
        fs::create_directories(folder / "d_3.png");
        previous = fs::current_path();
        fs::current_path(folder);
        ASSERT_EQ(runSnapIn({"--make-sample", "176x144", "10", "ten_qcif.yuv"}), 0);
        ASSERT_EQ(runSnapIn({"--make-sample", "176x144", "4", "four_qcif.yuv"}), 0);
        ASSERT_EQ(runSnapIn({"--make-sample", "176x144", "2", "q_qcif.yuv"}), 0);
        ASSERT_EQ(runSnapIn({"--make-sample", "128x96", "2", "c_128x96.yuv"}), 0);
        ASSERT_EQ(runSnapIn({"--make-sample", "176x144", "4", "a_176x144_420.yuv"}), 0);
        ASSERT_EQ(runSnapIn({"--make-sample", "176x144", "2", "--format", "444", "b_176x144_444.yuv"}), 0);
        ASSERT_EQ(runSnapIn({"--size", "qcif", "ten_qcif.yuv", "frame0.bmp"}), 0);
        ASSERT_EQ(runSnapIn({"--size", "128x96", "c_128x96.yuv", "keep.bmp"}), 0);
        fs::copy_file("ten_qcif.yuv", "v_176x144.png");
        fs::copy_file("ten_qcif.yuv", "ten.yuv");
        fs::copy_file("ten_qcif.yuv", "--odd.yuv");
        fs::create_hard_link("v_176x144.png", "hard.png");
        fs::create_hard_link("ten_qcif.yuv", "hard.y4m");
        fs::create_hard_link("ten_qcif.yuv", "hard.framemd5");
        ASSERT_EQ(runSnapIn({"ten_qcif.yuv", "ten.y4m"}), 0);
        // Frame 2's FRAME marker damaged; a colour space not read; no width.
        std::vector<uint8_t> stream = readFile("ten.y4m");
        const size_t header = std::string(stream.begin(), stream.end()).find("FRAME");
        ASSERT_NE(header, std::string::npos);
        stream[header + 2 * (6 + 38016)] = 'G';
        writeFile("broken.y4m", stream);
        writeFile("colour.y4m", "YUV4MPEG2 W16 H16 C420p9\nFRAME\n");
        writeFile("nowidth.y4m", "YUV4MPEG2 H16\nFRAME\n");
        std::vector<uint8_t> tail(2 * 38016 + 100, 16);
        FILE* file = fopen("ten_qcif.yuv", "rb");
        ASSERT_TRUE(file);
        ASSERT_EQ(fread(tail.data(), 1, 2 * 38016, file), size_t(2 * 38016));
        fclose(file);
        file = fopen("tail.yuv", "wb");
        ASSERT_TRUE(file);
        fwrite(tail.data(), 1, tail.size(), file);
        fclose(file);
        writeOddStreams();
#ifndef _WIN32
        fs::create_symlink("sub/made.bmp", "dangling.bmp");
        fs::create_symlink("dangling.bmp", "chain.bmp");
        fs::create_symlink("loop_b.bmp", "loop_a.bmp");
        fs::create_symlink("loop_a.bmp", "loop_b.bmp");
        fs::create_symlink("ten_qcif.yuv", "linked.yuv");
#endif
    }
    void TearDown() override {
        fs::current_path(previous);
        fs::remove_all(folder);
    }
    fs::path folder, previous;
};

// Runs one case with a file-size limit where it asks for one (a disk that
// fills up): writes past it fail with EFBIG instead of ending the process.
int runLimited(const HostileCase& c) {
#ifndef _WIN32
    struct rlimit old;
    getrlimit(RLIMIT_FSIZE, &old);
    void (*oldHandler)(int) = SIG_DFL;
    if (c.sizeLimit) {
        oldHandler = signal(SIGXFSZ, SIG_IGN);
        struct rlimit limited = old;
        limited.rlim_cur = static_cast<rlim_t>(c.sizeLimit);
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    const int status = runSnapIn(c.args);
    if (c.sizeLimit) {
        setrlimit(RLIMIT_FSIZE, &old);
        signal(SIGXFSZ, oldHandler);
    }
    return status;
#else
    return c.sizeLimit ? -1 : runSnapIn(c.args);
#endif
}

TEST_F(HostileRuns, NeverLoseAFileNorPassAWrongAnswer) {
    for (const HostileCase& c : hostileCases) {
#ifdef _WIN32
        if (c.sizeLimit) continue;
#endif
        std::string shown;
        for (const std::string& arg : c.args) shown += arg + " ";
        const std::map<std::string, uint64_t> before = folderContents(folder);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const int status = runLimited(c);
        testing::internal::GetCapturedStdout();
        const std::string error = testing::internal::GetCapturedStderr();
        EXPECT_EQ(status, c.status) << shown << "\n" << error;
        EXPECT_NE(error.find(c.message), std::string::npos) << shown << "\n" << error;
        if (c.status == 2) {
            EXPECT_EQ(error.find('\n'), error.size() - 1) << shown << ": one line\n" << error;
        }

        std::map<std::string, uint64_t> after = folderContents(folder);
        for (const NewFile& made : c.made) {
            ASSERT_TRUE(after.count(made.name)) << shown << ": no " << made.name;
            if (made.sameAs) {
                EXPECT_EQ(after[made.name], before.at(made.sameAs)) << shown << made.name;
            }
            after.erase(made.name);
            fs::remove(made.name);
        }
        EXPECT_EQ(after, before) << shown << ": files changed, appeared or went";
    }
}

#ifndef _WIN32
int modeOf(const char* path) {
    struct stat status;
    return stat(path, &status) == 0 ? static_cast<int>(status.st_mode & 07777) : -1;
}

// A replaced file keeps its mode. A write-protected one is refused as `cp`
// refuses it; root overwrites it, as `cp` does, and it stays protected.
TEST_F(HostileRuns, ReplacedFilesKeepTheirModeAndProtection) {
    ASSERT_EQ(chmod("keep.bmp", 0640), 0);
    EXPECT_EQ(runSnapIn({"--size", "qcif", "ten.yuv", "keep.bmp"}), 0);
    EXPECT_EQ(checksum("keep.bmp"), checksum("frame0.bmp"));
    EXPECT_EQ(modeOf("keep.bmp"), 0640);

    fs::copy_file("ten.yuv", "locked.yuv");
    ASSERT_EQ(chmod("locked.yuv", 0444), 0);
    const uint64_t old = checksum("locked.yuv");
    testing::internal::CaptureStderr();
    const int status = runSnapIn({"--frame", "0-1", "ten_qcif.yuv", "locked.yuv"});
    const std::string error = testing::internal::GetCapturedStderr();
    if (geteuid() == 0) {
        EXPECT_EQ(status, 0) << error;
        EXPECT_NE(checksum("locked.yuv"), old);
    } else {
        EXPECT_EQ(status, 2);
        EXPECT_EQ(error, "corvane-snap: cannot write 'locked.yuv': Permission denied\n");
        EXPECT_EQ(checksum("locked.yuv"), old);
    }
    EXPECT_EQ(modeOf("locked.yuv"), 0444);
}

#endif

// A run killed outright leaves its temporary file; the next run into that
// folder removes it once its process is gone and it has lain a minute, and
// nothing else that only looks like one. No process has the number
// 2147483644 (a multiple of 4, as Windows numbers them); this test's own
// process surely runs.
TEST_F(HostileRuns, StaleTemporaryFilesOfDeadRunsGo) {
    const std::string dead = "2147483644";
#ifdef _WIN32
    const std::string live = std::to_string(_getpid());
#else
    const std::string live = std::to_string(getpid());
#endif
    const struct {
        std::string name;
        bool old, kept;
    } parts[] = {
        {".corvane-snap-a.png." + dead + "-0.part", true, false},
        {"sub/.corvane-snap-a.png." + dead + "-1.part", true, true}, // another folder
        {".corvane-snap-a.png." + dead + "-2.part", false, true},    // too young
        {".corvane-snap-a.png." + live + "-0.part", true, true},
        {".corvane-snap-a.png." + dead + ".part", true, true},
        {".corvane-snap-a.png." + dead + "-0.part.png", true, true},
    };
    for (const auto& part : parts) {
        writeFile(part.name.c_str(), "partial");
        if (part.old) fs::last_write_time(part.name, fs::file_time_type::clock::now() - std::chrono::minutes(2));
    }
    EXPECT_EQ(runSnapIn({"--size", "qcif", "ten.yuv", "made.bmp"}), 0);
    for (const auto& part : parts) EXPECT_EQ(fs::exists(part.name), part.kept) << part.name;
}

#ifdef _WIN32
// Windows names one file in any case, and a hard link is the same file by
// its volume serial number and file index.
TEST_F(HostileRuns, WindowsKnowsTheFileBehindAnotherNameOrCase) {
    ASSERT_TRUE(CreateHardLinkW(L"linked.bmp", L"v_176x144.png", nullptr));
    const std::map<std::string, uint64_t> before = folderContents(folder);
    testing::internal::CaptureStderr();
    EXPECT_EQ(runSnapIn({"v_176x144.png", "V_176X144.PNG"}), 2);
    EXPECT_EQ(runSnapIn({"--size", "qcif", "v_176x144.png", "linked.bmp"}), 2);
    EXPECT_EQ(runSnapIn({"--frame", "3-5", "v_176x144.png", "V_176X14%d.PNG"}), 2);
    EXPECT_EQ(runSnapIn({"--compare", "ten_qcif.yuv", "v_176x144.png", "--stats", "Linked.BMP"}), 2);
    const std::string error = testing::internal::GetCapturedStderr();
    EXPECT_NE(error.find("'V_176X144.PNG' is INPUT 'v_176x144.png' under another name"), std::string::npos) << error;
    EXPECT_NE(error.find("'linked.bmp' is INPUT"), std::string::npos) << error;
    EXPECT_NE(error.find("'Linked.BMP' is OTHER"), std::string::npos) << error;
    EXPECT_EQ(folderContents(folder), before);
}

// A read-only file is refused, even to an administrator.
TEST_F(HostileRuns, WindowsKeepsAReadOnlyFile) {
    ASSERT_TRUE(SetFileAttributesW(L"keep.bmp", FILE_ATTRIBUTE_READONLY));
    const std::map<std::string, uint64_t> before = folderContents(folder);
    testing::internal::CaptureStderr();
    EXPECT_EQ(runSnapIn({"--size", "qcif", "ten.yuv", "keep.bmp"}), 2);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "corvane-snap: cannot write 'keep.bmp': Permission denied\n");
    EXPECT_EQ(folderContents(folder), before);
    SetFileAttributesW(L"keep.bmp", FILE_ATTRIBUTE_NORMAL);
}
#endif

} // namespace
