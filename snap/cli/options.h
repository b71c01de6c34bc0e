// corvane-snap's command line read into a job record, with no file touched:
// every mistake in the arguments is found here, before anything is written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "snap/cli/values.h"
#include "snap/format/frame_format.h"
#include "snap/metric/metric.h"
#include "snap/writer/writer.h"

enum { SNAP_EXPORT, SNAP_INFO, SNAP_COMPARE, SNAP_MAKE_SAMPLE, SNAP_HELP, SNAP_VERSION, SNAP_DIFF, SNAP_BD_RATE, SNAP_MODE_COUNT };

// --offset auto: the shifts tried either way unless auto=K says, and the most K may be.
enum { OFFSET_SEARCH_DEFAULT = 8, OFFSET_SEARCH_LIMIT = 30 };

// The frame rate of a raw file that gives none, in every mode: FFmpeg's.
enum { SNAP_DEFAULT_RATE = 25 };

// The most frames --make-sample writes; --help, the man page and its refusal say it.
enum { SAMPLE_FRAME_COUNT_LIMIT = 1000000 };

// The most worst frames --report shows (each held whole, twice, during the run),
// and how many it shows unless --worst says.
enum { SNAP_WORST_LIMIT = 10, SNAP_WORST_DEFAULT = 3 };

struct SnapJob {
    int mode;
    const char* input;  // --bd-rate: ANCHOR
    const char* output; // export, diff: OUTPUT ("-" with --framemd5: standard output); make-sample: OUTPUT.yuv
    const char* other;  // compare, diff: OTHER; --bd-rate: TEST
    int sizeGiven;
    int32_t width, height;
    const FrameFormat* format; // nullptr when --format was not given
    const char* formatWord;    // --format as typed: 420 and yuv420p lay odd sizes out differently
    int separate;
    FrameChoice frames;
    const Writer* writer; // by OUTPUT's extension, or by --to for standard output
    const char* toText;   // --to as given
    OutputName outputName;
    const char* rateText; // --rate: nullptr for the input's own, else SNAP_DEFAULT_RATE
    int64_t rateNumerator, rateDenominator; // --rate as the fraction parseFrameRate keeps; 0 without it
    int listing;             // --framemd5: the listing to standard output
    int32_t sampleFrames;
    int metrics;             // bit i: metricTable's row i; 0 when --metric was not given (row 0)
    // Per metric, indexed by its row in metricTable: its stats option's file
    // and its gate, each as given (nullptr and 0 when not).
    const char* statsPaths[METRIC_MAX];
    int gateSet[METRIC_MAX];
    double gateLimit[METRIC_MAX];
    const char* jsonPath;    // --compare, --info, --bd-rate: nullptr, a file, or "-"
    const char* plotPath;
    const char* csvPath;     // --compare: nullptr, a file, or "-"
    const char* reportPath;  // --compare: an .html file
    int worst;               // --report's worst frames: 1 to SNAP_WORST_LIMIT, 3 by default
    int rankMetric;          // the row of the first metric --metric named: it ranks the worst frames
    int gain;                // --diff: 1 to 64
    // --compare, --diff: frames of OTHER (above 0) or of INPUT (below 0) left
    // out before the first compared; with offsetSearch the shift within
    // +-offsetSearch that fits best is found first.
    int64_t offset;
    int offsetSearch;
    int bdMethod;            // --bd-rate: BD_PCHIP or BD_POLY (snap/report/bd_rate.h)
};

extern const char snapUsage[];

// The options, in the order their "does not go with" lines are checked.
enum {
    OPTION_SIZE, OPTION_FORMAT, OPTION_FRAME, OPTION_SEPARATE, OPTION_RATE, OPTION_FRAMEMD5,
    OPTION_METRIC, OPTION_JSON, OPTION_PLOT, OPTION_CSV, OPTION_REPORT, OPTION_WORST, OPTION_GAIN, OPTION_TO,
    OPTION_OFFSET, OPTION_BD_METHOD, OPTION_COUNT
};

// One option of the command line. A flag's row has no value; a valued row
// keeps its text in `text` when it has that field, and `read` turns the text
// into the rest of the job, returning nullptr, or the line that refuses it
// (a format whose %s is the text). Rows with `atOnce` are read as they are
// met; the others when their mode's check asks (readOption), so that each
// mode says what it finds wrong first. A new option is an OPTION_ name and
// a row in optionRows; --help, the man page and the bash completion must
// then name it (tests/snap_docs_test.cpp holds them to the table). Each
// metric's stats and gate options are not rows here: the parser takes them
// from metricTable, for --compare alone, and checks them after --framemd5.
struct OptionRow {
    const char* name;                // "--stats"
    int takesValue;
    unsigned modes;                  // bit SNAP_x set for each mode it goes with
    const char* (*read)(SnapJob* job, const char* text);
    const char* SnapJob::*text;      // where its text is kept as given, or nullptr
    int atOnce;
    const char* missing;             // the line when the value is missing; nullptr: "%s needs a value"
};
extern const OptionRow optionRows[OPTION_COUNT];

// The command line as the table read it, before its mode checks it.
struct CommandLine {
    const char* positional[3];
    int positionals;
    const char* value[OPTION_COUNT]; // each option's text; a flag's name; nullptr when not given
    // Each metric's stats and gate options' texts, by its row; nullptr when not given.
    const char* statsText[METRIC_MAX];
    const char* gateText[METRIC_MAX];
};

// Where a refusal is written: one line.
struct ArgumentError {
    char* text;
    size_t size;
};
// Writes the line (a format with at most one %s, filled with `argument` as
// messages show names) and returns 0.
int refuseArguments(ArgumentError* error, const char* line, const char* argument = nullptr);
// Reads option `option` into `job` when it was given: nonzero, or 0 with its refusal.
int readOption(SnapJob* job, const CommandLine* line, int option, ArgumentError* error);

// How the command line names a mode and checks what it was given. A row
// with no check stops the parse as soon as its word is seen (--help, then
// --version); exporting has no word. A new mode is a SNAP_ name, a row
// here with its check, and a row with its run in snap/snap.cpp's snapModes.
struct ModeRule {
    const char* word;  // "--info"
    const char* alias; // "-h", or nullptr
    const char* shown; // as "does not go with" names it
    int (*check)(SnapJob* job, const CommandLine* line, ArgumentError* error);
};
extern const ModeRule modeRules[SNAP_MODE_COUNT];

// The checks modeRules names, in snap/cli/checks.cpp.
int checkExportArguments(SnapJob* job, const CommandLine* line, ArgumentError* error);
int checkInfoArguments(SnapJob* job, const CommandLine* line, ArgumentError* error);
int checkCompareArguments(SnapJob* job, const CommandLine* line, ArgumentError* error);
int checkSampleArguments(SnapJob* job, const CommandLine* line, ArgumentError* error);
int checkBdRateArguments(SnapJob* job, const CommandLine* line, ArgumentError* error);


// Fills `job` from the arguments (argv[0] is the program). Nonzero when they
// make a job; otherwise `error` holds the one-line reason.
int parseSnapArguments(int argc, const char* const* argv, SnapJob* job, char* error,
                       size_t errorSize);
