#include "snap/cli/options.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "snap/cli/rate.h"
#include "snap/io/shown_name.h"
#include "snap/report/bd_rate.h"

const char snapUsage[] =
    "usage: corvane-snap [--size WxH] [--format F] [--frame N|last|A-B|all] [--separate] [--rate R]\n"
    "                    [--to y4m|yuv|framemd5|png|bmp] INPUT OUTPUT|-\n"
    "       corvane-snap --framemd5 [--size WxH] [--format F] [--frame ...] [--rate R] INPUT\n"
    "       corvane-snap --info [--size WxH] [--format F] [--rate R] INPUT\n"
    "       corvane-snap --info [--json FILE|-] ... INPUT\n"
    "       corvane-snap --compare [--metric psnr|ssim|exact|psnr,ssim,exact] [--size WxH] [--format F]\n"
    "                    INPUT OTHER [--stats FILE|-] [--ssim-stats FILE|-] [--exact-stats FILE|-]\n"
    "                    [--json FILE|-] [--plot FILE.svg] [--csv FILE|-] [--report FILE.html\n"
    "                    [--worst N]] [--fail-below DB] [--fail-below-ssim S] [--frame A-B]\n"
    "                    [--offset N|auto[=K]]\n"
    "       corvane-snap --diff [--gain G] [--frame N|last|A-B|all] [--offset N|auto[=K]] [--size WxH]\n"
    "                    [--format F] INPUT OTHER OUTPUT\n"
    "       corvane-snap --bd-rate ANCHOR.csv TEST.csv [--bd-method pchip|poly] [--json FILE|-]\n"
    "       corvane-snap --make-sample WxH FRAMES OUTPUT.yuv [--format 420|422|411|444]\n"
    "                    (FRAMES from 1 to 1000000)\n"
    "       corvane-snap -h | --help | --version\n"
    "\n"
    "INPUT is a raw video, or a YUV4MPEG2 stream (known by its first bytes, whatever its name; the\n"
    "header gives size, format and rate). --format F: 420, 422, 411, 444 or yuv420p yuv422p yuv444p\n"
    "yuv411p gray (8-bit), yuv420p10le yuv422p10le yuv444p10le, the same in 12le and 16le, gray10le\n"
    "gray12le gray16le, nv12 nv21 p010le. Without --size or --format the geometry is read from\n"
    "INPUT's name (352x288, cif, 1080p, 422, yuv420p10le, nv12 ...) when the file holds a whole\n"
    "number of its frames; the format is 4:2:0 when nothing names one. Odd sizes: chroma is rounded\n"
    "up (FFmpeg's layout) for YUV4MPEG2, .y4m cuts and pixel-format names, down (the viewer's) for\n"
    "420 422 411 444; else as the file's size holds whole frames, else up.\n"
    "\n"
    "Streams: INPUT or OTHER - is standard input (one side only); a FIFO, or on Windows a named pipe\n"
    "(\\\\.\\pipe\\NAME), is read the same way: once, in order, a few frames held at a time, so an\n"
    "endless source takes no more memory in an hour than in a minute. A raw stream's size comes from\n"
    "--size (compared, from the other input). OUTPUT - is standard output, the writer named by --to\n"
    "(pictures: one frame), as in: corvane-snap --frame 100-199 clip.y4m - --to y4m | encoder.\n"
    "\n"
    "OUTPUT by its extension:\n"
    "  .bmp .png   the colour view as 24-bit colour, or with --separate Y, U and V in 8-bit grey;\n"
    "              deeper samples are rounded to 8 bits first, grey has no chroma. Several frames\n"
    "              (A-B, all) need one number field in OUTPUT, as in out_%04d.png.\n"
    "  .yuv        a cut: the frames in INPUT's own layout and depth, without Y4M headers.\n"
    "  .y4m        a cut as a YUV4MPEG2 stream, planar (nv12 is split), F from --rate or INPUT.\n"
    "  .framemd5   the per-frame MD5 listing FFmpeg's framemd5 writes (--framemd5: to standard\n"
    "              output). Cuts and listings take every frame unless --frame says otherwise.\n"
    "--separate shows 4:2:0 as the viewer does (U above V); other formats show the whole Y, U and V\n"
    "planes side by side, top-aligned. --rate R (25, 29.97, 30000/1001): the rate of a cut, a listing\n"
    "and --info's durations (the input's own, else 25). --compare gives each frame's PSNR of OTHER\n"
    "against INPUT (raw or YUV4MPEG2, any format above, the same geometry); --fail-below exits 1 when\n"
    "a frame falls below DB or is missing from either file. --metric ssim gives FFmpeg's SSIM\n"
    "(per-frame lines to --ssim-stats, the summary on standard output), psnr,ssim both from one\n"
    "pass; --fail-below-ssim exits 1 when a frame's All falls below S; it and --ssim-stats add SSIM\n"
    "to --metric. --metric exact compares sample values at the files' own depth: per frame the\n"
    "differing samples of Y, U and V and the first of them (lines to --exact-stats), and a summary\n"
    "naming the differing frames (from 0), the first differing sample and the totals; it exits 1\n"
    "when any sample differs or a frame is missing, 0 when none does. --json writes every figure\n"
    "as JSON (alone on standard output with -), for --info\n"
    "too, and for --compare pooled_metrics: min, max, mean, harmonic_mean, p1 p5 p10 p25 p50 of\n"
    "each figure (an identical frame's infinite PSNR counts as error 0 in the mean, as in the\n"
    "summary, and as the largest value elsewhere); --plot draws the per-frame curves as an SVG;\n"
    "--csv writes a row per frame: frame (from 0), then psnr_y psnr_u psnr_v psnr_avg mse_y mse_u\n"
    "mse_v mse_avg psnr_yuv ssim_y ssim_u ssim_v ssim_all ssim_all_db exact_y exact_u exact_v\n"
    "exact_all as measured (infinite PSNR empty);\n"
    "--report writes one HTML page to read offline: inputs, gates, pooled figures, the plot, the\n"
    "--worst N (1 to 10, 3 by default) worst frames by the first --metric with reference,\n"
    "distorted and difference pictures, and every frame. --diff writes clamp(128 + G x (a - b)) of\n"
    "Y, U and V in grey, differences at full depth scaled to 8 bits, laid out as --separate lays\n"
    "them (--gain G from 1 to 64, 1 by default), as BMP or PNG by OUTPUT's extension. Exit status 1\n"
    "is a failed gate (a frame below its limit, or missing under one), 2 an error.\n"
    "--offset N pairs INPUT's frame k with OTHER's k + N (N below 0: INPUT's k - N with OTHER's k),\n"
    "for every metric, gate and --diff picture; --offset auto[=K] first tries every shift from -K\n"
    "to K (8 by default, at most 30) over the first 30 frames and keeps the one with the lowest mean\n"
    "squared error, saying which. --frame A-B with --compare or --diff: only those frames, counted\n"
    "from INPUT's first after the offset. psnr_yuv is (6 Y + U + V) / 8 of the planes' PSNR.\n"
    "--bd-rate reads two rate-distortion tables (CSV: a bitrate column in one unit for both, quality\n"
    "columns named as the comparison names its figures: psnr_y ... ssim_all_db) and prints, for each\n"
    "quality column both hold, 'BD-rate psnr_y: -12.345678 %': the mean rate difference of TEST\n"
    "against ANCHOR at equal quality, in per cent (negative: TEST needs less rate), over the qualities\n"
    "both reach; log10 of the rate is interpolated by monotone cubic Hermite pieces (pchip, the common\n"
    "test conditions' way) or fitted by one cubic (poly, VCEG-M33). Each table needs 4 points whose\n"
    "quality rises with the rate. --size takes WxH, W*H or a named size; -- ends the options.\n"
    "\n"
    "Refused, with one line on standard error and exit status 2: an output that is INPUT or OTHER\n"
    "under any name (link, other spelling, a range landing on it); a directory or device as\n"
    "INPUT or OTHER; a frame or picture too large to hold; geometries that differ between the flags,\n"
    "the names and a YUV4MPEG2 header; a YUV4MPEG2 header or FRAME marker that is damaged (the frames\n"
    "before it still read); an option given twice; a failed write, standard output included.\n"
    "Outputs are written under a temporary name and renamed into place when whole, so a failed or\n"
    "interrupted run never leaves a partial file nor loses the old one; an interrupted run keeps\n"
    "the outputs already complete and ends with the signal's status (130 for Ctrl-C).\n";

namespace {

const char formatHelp[] =
    "--format takes 420, 422, 411, 444 or a pixel format: yuv420p, yuv422p, yuv444p, yuv411p, gray, "
    "yuv420p10le ... yuv444p16le, gray10le, gray12le, gray16le, nv12, nv21, p010le";

const char* readFormat(SnapJob* job, const char* text) {
    job->formatWord = text;
    return (job->format = findFrameFormat(text)) ? nullptr : formatHelp;
}

const char* readSize(SnapJob* job, const char* text) {
    if (!readPictureSize(text, &job->width, &job->height))
        return "the size must be WxH with both at least 1, for example 352x288";
    job->sizeGiven = 1;
    return nullptr;
}

const char* readFrames(SnapJob* job, const char* text) {
    if (readFrameChoice(text, &job->frames)) return nullptr;
    if (job->frames.kind == FRAMES_RANGE) return "--frame %s: a range runs from its first frame to a later one";
    return "--frame takes a frame number from 0, 'last', a range A-B or 'all'";
}

const char* readSeparate(SnapJob* job, const char*) {
    job->separate = 1;
    return nullptr;
}

const char* readListing(SnapJob* job, const char*) {
    job->listing = 1;
    return nullptr;
}

// The same rate, and the same limits, for every mode that takes one.
const char* readRate(SnapJob* job, const char* text) {
    if (!parseFrameRate(text, &job->rateNumerator, &job->rateDenominator))
        return "--rate takes a number of frames a second above 0, for example 25 or 30000/1001";
    return nullptr;
}

const char* readGain(SnapJob* job, const char* text) {
    int64_t gain;
    if (!readWholeNumber(text, 1, 64, &gain)) return "--gain takes a whole number from 1 to 64";
    job->gain = static_cast<int>(gain);
    return nullptr;
}

// --offset N, auto or auto=K.
const char* readOffset(SnapJob* job, const char* text) {
    static const char refusal[] =
        "--offset takes a whole number of frames (above 0 leaves out OTHER's first, below 0 INPUT's), "
        "'auto' or 'auto=K' with K from 1 to 30: '%s'";
    int64_t value = 0;
    if (!strcmp(text, "auto")) {
        job->offsetSearch = OFFSET_SEARCH_DEFAULT;
        return nullptr;
    }
    if (!strncmp(text, "auto=", 5)) {
        if (!readWholeNumber(text + 5, 1, OFFSET_SEARCH_LIMIT, &value)) return refusal;
        job->offsetSearch = int(value);
        return nullptr;
    }
    if (!readWholeNumber(text, -(int64_t{1} << 40), int64_t{1} << 40, &value)) return refusal;
    job->offset = value;
    return nullptr;
}

// --to: the writer for standard output, named as the extensions name them.
const char* readTo(SnapJob* job, const char* text) {
    static std::string refusal;
    job->writer = writerForWord(text);
    if (job->writer) return nullptr;
    refusal = "--to takes " + writerWordList() + ": '%s'";
    return refusal.c_str();
}

const char* readBdMethod(SnapJob* job, const char* text) {
    if (!strcmp(text, "pchip")) job->bdMethod = BD_PCHIP;
    else if (!strcmp(text, "poly")) job->bdMethod = BD_POLY;
    else return "--bd-method takes pchip or poly: '%s'";
    return nullptr;
}

// "--metric takes psnr, ssim or psnr,ssim": each word of the table, then all of them joined.
const char* metricRefusal() {
    static std::string line;
    if (!line.empty()) return line.c_str();
    std::string all;
    line = "--metric takes ";
    for (int i = 0; i < metricCount; ++i) {
        line += std::string(metricTable[i].metric->name) + (i + 1 < metricCount ? ", " : " or ");
        all += std::string(i ? "," : "") + metricTable[i].metric->name;
    }
    line += all;
    return line.c_str();
}

// --metric's value: the metric words joined by commas, each once, in any order.
const char* readMetrics(SnapJob* job, const char* text) {
    job->metrics = 0;
    const char* word = text;
    for (;;) {
        const char* comma = strchr(word, ',');
        const std::string name = comma ? std::string(word, comma) : std::string(word);
        const MetricRow* row = findMetric(name.c_str());
        const int bit = row ? metricBit(row) : 0;
        if (!bit || (job->metrics & bit)) return metricRefusal();
        if (!job->metrics) job->rankMetric = int(row - metricTable);
        job->metrics |= bit;
        if (!comma) return nullptr;
        word = comma + 1;
    }
}

const char* readWorst(SnapJob* job, const char* text) {
    int64_t count;
    if (!readWholeNumber(text, 1, SNAP_WORST_LIMIT, &count))
        return "--worst takes a count of frames from 1 to 10";
    job->worst = static_cast<int>(count);
    return nullptr;
}

constexpr unsigned modeBit(int mode) {
    return 1u << mode;
}
const unsigned EXPORT = modeBit(SNAP_EXPORT), INFO = modeBit(SNAP_INFO), COMPARE = modeBit(SNAP_COMPARE),
               SAMPLE = modeBit(SNAP_MAKE_SAMPLE), DIFF = modeBit(SNAP_DIFF), BD_RATE = modeBit(SNAP_BD_RATE);

} // namespace

const OptionRow optionRows[OPTION_COUNT] = {
    {"--size", 1, EXPORT | INFO | COMPARE | DIFF, readSize, nullptr, 0, "--size needs WxH"},
    {"--format", 1, EXPORT | INFO | COMPARE | SAMPLE | DIFF, readFormat, nullptr, 1, formatHelp},
    {"--frame", 1, EXPORT | DIFF | COMPARE, readFrames, nullptr, 0, "--frame needs a number, 'last', A-B or 'all'"},
    {"--separate", 0, EXPORT, readSeparate, nullptr, 1, nullptr},
    {"--rate", 1, EXPORT | INFO, readRate, &SnapJob::rateText, 0, nullptr},
    {"--framemd5", 0, EXPORT, readListing, nullptr, 1, nullptr},
    {"--metric", 1, COMPARE, readMetrics, nullptr, 1, nullptr},
    {"--json", 1, COMPARE | INFO | BD_RATE, nullptr, &SnapJob::jsonPath, 1, nullptr},
    {"--plot", 1, COMPARE, nullptr, &SnapJob::plotPath, 1, nullptr},
    {"--csv", 1, COMPARE, nullptr, &SnapJob::csvPath, 1, nullptr},
    {"--report", 1, COMPARE, nullptr, &SnapJob::reportPath, 1, nullptr},
    {"--worst", 1, COMPARE, readWorst, nullptr, 0, "--worst needs a count of frames"},
    {"--gain", 1, DIFF, readGain, nullptr, 0, nullptr},
    {"--to", 1, EXPORT, readTo, &SnapJob::toText, 0, nullptr},
    {"--offset", 1, COMPARE | DIFF, readOffset, nullptr, 0, "--offset needs a number of frames, 'auto' or 'auto=K'"},
    {"--bd-method", 1, BD_RATE, readBdMethod, nullptr, 1, "--bd-method needs pchip or poly"},
};

const ModeRule modeRules[SNAP_MODE_COUNT] = {
    {nullptr, nullptr, "exporting pictures", checkExportArguments},
    {"--info", nullptr, "--info", checkInfoArguments},
    {"--compare", nullptr, "--compare", checkCompareArguments},
    {"--make-sample", nullptr, "--make-sample", checkSampleArguments},
    {"--help", "-h", "--help", nullptr},
    {"--version", nullptr, "--version", nullptr},
    {"--diff", nullptr, "--diff", checkExportArguments},
    {"--bd-rate", nullptr, "--bd-rate", checkBdRateArguments},
};

int refuseArguments(ArgumentError* error, const char* line, const char* argument) {
    if (error->size) snprintf(error->text, error->size, line, shownName(argument).c_str());
    return 0;
}

int readOption(SnapJob* job, const CommandLine* line, int option, ArgumentError* error) {
    const char* text = line->value[option];
    if (!text || !optionRows[option].read) return 1;
    const char* refusal = optionRows[option].read(job, text);
    return refusal ? refuseArguments(error, refusal, text) : 1;
}

namespace {

bool isModeWord(const char* arg, int mode) {
    const ModeRule* rule = &modeRules[mode];
    return (rule->word && !strcmp(arg, rule->word)) || (rule->alias && !strcmp(arg, rule->alias));
}

// The mode named by a word that ends the parse at once (--help wins over
// everything, then --version), or -1.
int stoppingMode(int argc, const char* const* argv) {
    for (int mode : {SNAP_HELP, SNAP_VERSION})
        for (int i = 1; i < argc && strcmp(argv[i], "--"); ++i)
            if (isModeWord(argv[i], mode)) return mode;
    return -1;
}

// A mode's word: the mode, once. 0 with the refusal when another was given.
int takeMode(SnapJob* job, int mode, int* modeSet, ArgumentError* error) {
    if (*modeSet && job->mode == mode) return refuseArguments(error, "%s is given twice", modeRules[mode].word);
    if (*modeSet) return refuseArguments(error, "give only one of --info, --compare, --diff, --bd-rate and --make-sample");
    job->mode = mode;
    *modeSet = 1;
    return 1;
}

// The slot in `line` of the metric option named `arg` (a row's stats or
// gate option), or nullptr.
const char** metricOptionSlot(CommandLine* line, const char* arg) {
    for (int i = 0; i < metricCount; ++i) {
        if (!strcmp(arg, metricTable[i].metric->statsOption)) return &line->statsText[i];
        const char* gate = metricTable[i].metric->gateOption; // none for a gate that is always on
        if (gate && !strcmp(arg, gate)) return &line->gateText[i];
    }
    return nullptr;
}

// The value after option `arg` into `*slot`, once: `*i` moves past it.
int takeValue(const char** slot, const char* missing, int argc, const char* const* argv, int* i, ArgumentError* error) {
    const char* arg = argv[*i];
    if (*i + 1 >= argc) return refuseArguments(error, missing ? missing : "%s needs a value", arg);
    const char* value = argv[++*i];
    if (*slot) return refuseArguments(error, "%s is given twice", arg);
    *slot = value;
    return 1;
}

// An option's row and value: `*i` moves past its value. A metric's options
// are read when its mode checks them.
int takeOption(SnapJob* job, CommandLine* line, int argc, const char* const* argv, int* i, ArgumentError* error) {
    const char* arg = argv[*i];
    int option = 0;
    while (option < OPTION_COUNT && strcmp(arg, optionRows[option].name) != 0) ++option;
    if (option == OPTION_COUNT) {
        const char** slot = metricOptionSlot(line, arg);
        return slot ? takeValue(slot, nullptr, argc, argv, i, error)
                    : refuseArguments(error, "unknown option '%s'", arg);
    }
    const OptionRow* row = &optionRows[option];
    if (!row->takesValue) {
        if (line->value[option]) return refuseArguments(error, "%s is given twice", arg);
        line->value[option] = row->name;
    } else if (!takeValue(&line->value[option], row->missing, argc, argv, i, error)) {
        return 0;
    }
    if (row->text) job->*row->text = line->value[option];
    return !row->atOnce || readOption(job, line, option, error);
}

int takePositional(CommandLine* line, const char* arg, ArgumentError* error) {
    if (line->positionals == 3) return refuseArguments(error, "unexpected argument '%s'", arg);
    line->positional[line->positionals++] = arg;
    return 1;
}

// Every argument through the tables: a mode's word, an option, or a name.
int readCommandLine(SnapJob* job, CommandLine* line, int argc, const char* const* argv, ArgumentError* error) {
    int modeSet = 0;
    bool optionsEnded = false; // after "--" every argument is a name
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!optionsEnded && !strcmp(arg, "--")) {
            optionsEnded = true;
            continue;
        }
        int mode = 0;
        while (!optionsEnded && mode < SNAP_MODE_COUNT && !(modeRules[mode].check && isModeWord(arg, mode))) ++mode;
        int ok;
        if (!optionsEnded && mode < SNAP_MODE_COUNT) ok = takeMode(job, mode, &modeSet, error);
        else if (!optionsEnded && arg[0] == '-' && arg[1] == '-') ok = takeOption(job, line, argc, argv, &i, error);
        else ok = takePositional(line, arg, error);
        if (!ok) return 0;
    }
    return 1;
}

// The first option given that does not go with `mode`, or nullptr: the
// metrics' options, for --compare alone, are checked after --framemd5.
const char* optionNotForMode(const CommandLine* line, int mode) {
    for (int option = 0; option < OPTION_COUNT; ++option) {
        if (option == OPTION_METRIC && mode != SNAP_COMPARE)
            for (int i = 0; i < metricCount; ++i) {
                if (line->statsText[i]) return metricTable[i].metric->statsOption;
                if (line->gateText[i]) return metricTable[i].metric->gateOption;
            }
        if (line->value[option] && !(optionRows[option].modes & modeBit(mode))) return optionRows[option].name;
    }
    return nullptr;
}

} // namespace

int parseSnapArguments(int argc, const char* const* argv, SnapJob* job, char* error,
                       size_t errorSize) {
    *job = SnapJob();
    job->mode = SNAP_EXPORT;
    job->frames.kind = FRAMES_ONE;
    ArgumentError refusal = {error, errorSize};
    if (errorSize) error[0] = '\0';
    const int stopping = stoppingMode(argc, argv);
    if (stopping >= 0) {
        job->mode = stopping;
        return 1;
    }
    CommandLine line = {};
    if (!readCommandLine(job, &line, argc, argv, &refusal)) return 0;
    const char* wrong = optionNotForMode(&line, job->mode);
    if (wrong) {
        const std::string text = std::string(wrong) + " does not go with " + modeRules[job->mode].shown;
        return refuseArguments(&refusal, "%s", text.c_str());
    }
    return modeRules[job->mode].check(job, &line, &refusal);
}
