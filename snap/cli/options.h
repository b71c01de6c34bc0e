// corvane-snap's command line read into a job record, with no file touched:
// every mistake in the arguments is found here, before anything is written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "snap/format/frame_format.h"
#include "snap/writer/writer.h"

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

struct SnapJob {
    int mode;
    const char* input;
    const char* output; // export, diff: OUTPUT ("-" with --framemd5: standard output); make-sample: OUTPUT.yuv
    const char* other;  // compare, diff: OTHER
    int sizeGiven;
    int32_t width, height;
    const FrameFormat* format; // nullptr when --format was not given
    int separate;
    FrameChoice frames;
    const Writer* writer; // by OUTPUT's extension
    OutputName outputName;
    const char* rateText; // --rate: nullptr for the input's own, else 30 (--info) or 25
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
