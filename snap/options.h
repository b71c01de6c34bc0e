// corvane-snap's command line read into a job record, with no file touched:
// every mistake in the arguments is found here, before anything is written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "video/video_file.h"

enum { SNAP_EXPORT, SNAP_INFO, SNAP_COMPARE, SNAP_MAKE_SAMPLE, SNAP_HELP, SNAP_VERSION, SNAP_DIFF };

// What --compare measures (--metric), as bits.
enum { METRIC_PSNR = 1, METRIC_SSIM = 2 };

enum { FRAMES_ONE, FRAMES_LAST, FRAMES_RANGE, FRAMES_ALL };

// The frames to export: one numbered frame, the last whole one, first to
// last inclusive, or every whole frame.
struct FrameChoice {
    int kind;
    int64_t first, last;
};

enum { PICTURE_BMP, PICTURE_PNG };

// OUTPUT as a name per frame. With a field, a frame's name is prefix, the
// frame number (zero-padded to `width` when zeroPad), then suffix; "%%" in
// the text stands for "%". Without one the text is the name as it stands.
struct OutputName {
    int hasField;
    int zeroPad;
    int width;
    std::string prefix, suffix;
};

struct SnapJob {
    int mode;
    const char* input;
    const char* output; // export: OUTPUT; make-sample: OUTPUT.yuv
    const char* other;  // compare, diff: OTHER
    int sizeGiven;
    int32_t width, height;
    const ChromaFormat* format; // nullptr when --format was not given
    int separate;
    FrameChoice frames;
    int pictureType;
    OutputName outputName;
    const char* rateText; // --info: nullptr for the default
    const char* statsPath;
    int failBelowSet;
    double failBelow;
    int32_t sampleFrames;
    int metrics;             // METRIC_ bits; 0 when --metric was not given (PSNR)
    const char* ssimStatsPath;
    const char* jsonPath;    // --compare, --info: nullptr, a file, or "-"
    const char* plotPath;
    int failBelowSsimSet;
    double failBelowSsim;
    int gain;                // --diff: 1 to 64
};

extern const char snapUsage[];

// Fills `job` from the arguments (argv[0] is the program). Nonzero when they
// make a job; otherwise `error` holds the one-line reason.
int parseSnapArguments(int argc, const char* const* argv, SnapJob* job, char* error,
                       size_t errorSize);

// Reads OUTPUT as a pattern. 1: a name with one frame-number field ("%d",
// "%5d", "%05d"; "i" or "u" in place of "d"; "%%" for a "%"); 0: a plain
// name (no "%" at all, or one not written as a field: kept as it is, since a
// single picture is written under the name as given); the pattern is then
// marked malformed when `malformed` is given.
int parseOutputName(const char* text, OutputName* name, int* malformed);

// The file name for `frame`.
std::string outputNameFor(const OutputName* name, const char* text, int64_t frame);

// PICTURE_BMP or PICTURE_PNG by the name's extension (any case), or -1.
int pictureTypeOf(const char* name);
