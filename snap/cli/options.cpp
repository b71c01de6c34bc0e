#include "snap/cli/options.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "snap/format/name_guess.h"
#include "snap/cli/rate.h"
#include "snap/io/shown_name.h"

const char snapUsage[] =
    "usage: corvane-snap [--size WxH] [--format F] [--frame N|last|A-B|all] [--separate] [--rate R]\n"
    "                    INPUT OUTPUT\n"
    "       corvane-snap --framemd5 [--size WxH] [--format F] [--frame ...] [--rate R] INPUT\n"
    "       corvane-snap --info [--size WxH] [--format F] [--rate R] INPUT\n"
    "       corvane-snap --info [--json FILE|-] ... INPUT\n"
    "       corvane-snap --compare [--metric psnr|ssim|psnr,ssim] [--size WxH] [--format F] INPUT OTHER\n"
    "                    [--stats FILE|-] [--ssim-stats FILE|-] [--json FILE|-] [--plot FILE.svg]\n"
    "                    [--fail-below DB] [--fail-below-ssim S]\n"
    "       corvane-snap --diff [--gain G] [--frame N|last|A-B|all] [--size WxH] [--format F]\n"
    "                    INPUT OTHER OUTPUT\n"
    "       corvane-snap --make-sample WxH FRAMES OUTPUT.yuv [--format 420|422|411|444]\n"
    "       corvane-snap -h | --help | --version\n"
    "\n"
    "INPUT is a raw video, or a YUV4MPEG2 stream (known by its first bytes, whatever its name; the\n"
    "header gives size, format and rate). --format F: 420, 422, 411, 444 or yuv420p yuv422p yuv444p\n"
    "yuv411p gray (8-bit), yuv420p10le yuv422p10le yuv444p10le, the same in 12le and 16le, gray10le\n"
    "gray12le gray16le, nv12 nv21 p010le. Without --size or --format the geometry is read from\n"
    "INPUT's name (352x288, cif, 1080p, 422, yuv420p10le, nv12 ...) when the file holds a whole\n"
    "number of its frames; the format is 4:2:0 when nothing names one. Odd sizes: a raw file rounds\n"
    "its chroma planes down (the viewer's layout), a YUV4MPEG2 file rounds them up.\n"
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
    "planes side by side, top-aligned. --rate R (25, 29.97, 30000/1001): the rate of a cut or listing\n"
    "(the input's own, else 25), and of --info's durations (the input's own, else 30). --compare\n"
    "gives each frame's PSNR of OTHER against INPUT (raw or YUV4MPEG2, any format above, the same\n"
    "geometry); --fail-below exits 1 when a frame falls below DB or is missing from either file.\n"
    "--metric ssim gives FFmpeg's SSIM (per-frame lines to --ssim-stats, the summary on standard\n"
    "output), psnr,ssim both from one pass; --fail-below-ssim exits 1 when a frame's All falls below\n"
    "S; --json writes every figure as JSON (alone on standard output with -), for --info too; --plot\n"
    "draws the per-frame curves as an SVG. --diff writes clamp(128 + G x (a - b)) of Y, U and V in\n"
    "grey, differences at full depth scaled to 8 bits, laid out as --separate lays them (--gain G\n"
    "from 1 to 64, 1 by default), as BMP or PNG by OUTPUT's extension. Exit status 1 is a failed\n"
    "gate, 2 an error. --size takes WxH, W*H or a named size; -- ends the\n"
    "options.\n"
    "\n"
    "Refused, with one line on standard error and exit status 2: an output that is INPUT or OTHER\n"
    "under any name (link, other spelling, a range landing on it); a directory, FIFO or device as\n"
    "INPUT or OTHER; a frame or picture too large to hold; geometries that differ between the flags,\n"
    "the names and a YUV4MPEG2 header; a YUV4MPEG2 header or FRAME marker that is damaged (the frames\n"
    "before it still read); an option given twice; a failed write, standard output included.\n"
    "Outputs are written under a temporary name and renamed into place when whole, so a failed or\n"
    "interrupted run never leaves a partial file nor loses the old one; an interrupted run keeps\n"
    "the outputs already complete and ends with the signal's status (130 for Ctrl-C).\n";

namespace {

int failWith(char* error, size_t size, const char* text, const char* argument = nullptr) {
    if (size) snprintf(error, size, text, shownName(argument).c_str());
    return 0;
}

// A whole decimal number in [low, high], nothing else in the text.
bool parseNumber(const char* text, long long low, long long high, long long* value) {
    if (!text || !*text) return false;
    if (!(text[0] >= '0' && text[0] <= '9') && text[0] != '-' && text[0] != '+') return false;
    char* end = nullptr;
    errno = 0;
    long long parsed = strtoll(text, &end, 10);
    if (errno || *end || parsed < low || parsed > high) return false;
    *value = parsed;
    return true;
}

// A decimal number with nothing after it, finite.
bool parseReal(const char* text, double* value) {
    if (!text || !*text) return false;
    // Decimal only: strtod would also take "0x20", "inf" and "nan".
    bool digit = false;
    for (const char* p = text; *p; ++p) {
        if (*p >= '0' && *p <= '9') digit = true;
        else if (!strchr("+-.eE", *p)) return false;
    }
    if (!digit) return false;
    char* end = nullptr;
    double parsed = strtod(text, &end);
    if (end == text || *end || !std::isfinite(parsed)) return false;
    *value = parsed;
    return true;
}

bool sameWordAnyCase(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        const char x = *a >= 'A' && *a <= 'Z' ? static_cast<char>(*a - 'A' + 'a') : *a;
        const char y = *b >= 'A' && *b <= 'Z' ? static_cast<char>(*b - 'A' + 'a') : *b;
        if (x != y) return false;
    }
    return *a == *b;
}

// WxH as names write it (x, X or *), or a named size such as cif or 1080p.
bool parseSize(const char* text, int32_t* width, int32_t* height) {
    if (!text) return false;
    for (const NamedSize& size : namedSizes) {
        if (sameWordAnyCase(text, size.name)) {
            *width = size.width;
            *height = size.height;
            return true;
        }
    }
    const char* x = strpbrk(text, "xX*");
    if (!x) return false;
    std::string first(text, x);
    long long w, h;
    if (!parseNumber(first.c_str(), 1, INT32_MAX, &w) || !parseNumber(x + 1, 1, INT32_MAX, &h))
        return false;
    *width = static_cast<int32_t>(w);
    *height = static_cast<int32_t>(h);
    return true;
}

const char formatHelp[] =
    "--format takes 420, 422, 411, 444 or a pixel format: yuv420p, yuv422p, yuv444p, yuv411p, gray, "
    "yuv420p10le ... yuv444p16le, gray10le, gray12le, gray16le, nv12, nv21, p010le";

bool parseFrames(const char* text, FrameChoice* frames) {
    long long first, last;
    if (!strcmp(text, "last")) {
        frames->kind = FRAMES_LAST;
        return true;
    }
    if (!strcmp(text, "all")) {
        frames->kind = FRAMES_ALL;
        frames->first = 0;
        frames->last = INT64_MAX;
        return true;
    }
    const char* dash = strchr(text, '-');
    if (dash && dash != text) {
        std::string start(text, dash);
        if (!parseNumber(start.c_str(), 0, INT64_MAX, &first) ||
            !parseNumber(dash + 1, 0, INT64_MAX, &last))
            return false;
        frames->kind = FRAMES_RANGE;
        frames->first = first;
        frames->last = last;
        return last >= first;
    }
    if (!parseNumber(text, 0, INT64_MAX, &first)) return false;
    frames->kind = FRAMES_ONE;
    frames->first = frames->last = first;
    return true;
}

// Which mode each option belongs to, for the message when it is misplaced.
struct OptionRule {
    const char* name;
    int takesValue;
    unsigned modes; // bit per SNAP_ mode
};
const unsigned EXPORT = 1u << SNAP_EXPORT, INFO = 1u << SNAP_INFO, COMPARE = 1u << SNAP_COMPARE,
               SAMPLE = 1u << SNAP_MAKE_SAMPLE, DIFF = 1u << SNAP_DIFF;
const OptionRule optionRules[] = {
    {"--size", 1, EXPORT | INFO | COMPARE | DIFF},
    {"--format", 1, EXPORT | INFO | COMPARE | SAMPLE | DIFF},
    {"--frame", 1, EXPORT | DIFF},
    {"--separate", 0, EXPORT},
    {"--rate", 1, EXPORT | INFO},
    {"--framemd5", 0, EXPORT},
    {"--stats", 1, COMPARE},
    {"--fail-below", 1, COMPARE},
    {"--metric", 1, COMPARE},
    {"--ssim-stats", 1, COMPARE},
    {"--json", 1, COMPARE | INFO},
    {"--plot", 1, COMPARE},
    {"--fail-below-ssim", 1, COMPARE},
    {"--gain", 1, DIFF},
};

// --metric's value: psnr, ssim, or both joined by a comma, in either order.
bool parseMetrics(const char* text, int* metrics) {
    *metrics = 0;
    std::string rest = text ? text : "";
    for (;;) {
        const size_t comma = rest.find(',');
        const std::string word = rest.substr(0, comma);
        const int bit = word == "psnr" ? METRIC_PSNR : word == "ssim" ? METRIC_SSIM : 0;
        if (!bit || (*metrics & bit)) return false;
        *metrics |= bit;
        if (comma == std::string::npos) return true;
        rest = rest.substr(comma + 1);
    }
}

// Nonzero when the name ends in ".svg", any case.
bool endsInSvg(const char* name) {
    const size_t length = strlen(name);
    return length > 4 && sameWordAnyCase(name + length - 4, ".svg");
}

const char* modeOption(int mode) {
    switch (mode) {
    case SNAP_INFO: return "--info";
    case SNAP_COMPARE: return "--compare";
    case SNAP_MAKE_SAMPLE: return "--make-sample";
    case SNAP_DIFF: return "--diff";
    default: return "exporting pictures";
    }
}

} // namespace

int parseSnapArguments(int argc, const char* const* argv, SnapJob* job, char* error,
                       size_t errorSize) {
    *job = SnapJob();
    job->mode = SNAP_EXPORT;
    job->frames.kind = FRAMES_ONE;
    if (errorSize) error[0] = '\0';

    // A mode option sets what the rest means; --help wins over everything,
    // then --version.
    int modeSet = 0;
    for (int i = 1; i < argc && strcmp(argv[i], "--"); ++i) {
        const char* arg = argv[i];
        if (!strcmp(arg, "--help") || !strcmp(arg, "-h")) {
            job->mode = SNAP_HELP;
            return 1;
        }
        if (!strcmp(arg, "--version")) job->mode = SNAP_VERSION;
    }
    if (job->mode == SNAP_VERSION) return 1;

    const char* positional[3] = {nullptr, nullptr, nullptr};
    int positionals = 0;
    const char* sizeText = nullptr;
    const char* frameText = nullptr;
    int listing = 0; // --framemd5: the listing to standard output
    const char* failText = nullptr;
    const char* failSsimText = nullptr;
    const char* gainText = nullptr;
    unsigned used = 0; // options given, by their row in optionRules
    const char* usedName[sizeof optionRules / sizeof optionRules[0]] = {};

    bool optionsEnded = false; // after "--" every argument is a name
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!optionsEnded && !strcmp(arg, "--")) {
            optionsEnded = true;
            continue;
        }
        if (optionsEnded) {
            if (positionals == 3) return failWith(error, errorSize, "unexpected argument '%s'", arg);
            positional[positionals++] = arg;
            continue;
        }
        int mode = -1;
        if (!strcmp(arg, "--info")) mode = SNAP_INFO;
        else if (!strcmp(arg, "--compare")) mode = SNAP_COMPARE;
        else if (!strcmp(arg, "--make-sample")) mode = SNAP_MAKE_SAMPLE;
        else if (!strcmp(arg, "--diff")) mode = SNAP_DIFF;
        if (mode >= 0) {
            if (modeSet && job->mode == mode) return failWith(error, errorSize, "%s is given twice", arg);
            if (modeSet && job->mode != mode)
                return failWith(error, errorSize, "give only one of --info, --compare, --diff and --make-sample");
            job->mode = mode;
            modeSet = 1;
            continue;
        }
        if (arg[0] == '-' && arg[1] == '-') {
            size_t rule = 0;
            const size_t rules = sizeof optionRules / sizeof optionRules[0];
            while (rule < rules && strcmp(arg, optionRules[rule].name) != 0) ++rule;
            if (rule == rules) return failWith(error, errorSize, "unknown option '%s'", arg);
            const char* value = nullptr;
            if (optionRules[rule].takesValue) {
                if (i + 1 >= argc) {
                    if (!strcmp(arg, "--size")) return failWith(error, errorSize, "--size needs WxH");
                    if (!strcmp(arg, "--frame"))
                        return failWith(error, errorSize, "--frame needs a number, 'last', A-B or 'all'");
                    if (!strcmp(arg, "--format")) return failWith(error, errorSize, formatHelp);
                    return failWith(error, errorSize, "%s needs a value", arg);
                }
                value = argv[++i];
            }
            if (used >> rule & 1) return failWith(error, errorSize, "%s is given twice", arg);
            used |= 1u << rule;
            usedName[rule] = optionRules[rule].name;
            if (!strcmp(arg, "--size")) sizeText = value;
            else if (!strcmp(arg, "--format")) {
                if (!(job->format = findFrameFormat(value))) return failWith(error, errorSize, formatHelp);
            } else if (!strcmp(arg, "--frame")) frameText = value;
            else if (!strcmp(arg, "--separate")) job->separate = 1;
            else if (!strcmp(arg, "--framemd5")) listing = 1;
            else if (!strcmp(arg, "--rate")) job->rateText = value;
            else if (!strcmp(arg, "--stats")) job->statsPath = value;
            else if (!strcmp(arg, "--fail-below")) failText = value;
            else if (!strcmp(arg, "--fail-below-ssim")) failSsimText = value;
            else if (!strcmp(arg, "--ssim-stats")) job->ssimStatsPath = value;
            else if (!strcmp(arg, "--json")) job->jsonPath = value;
            else if (!strcmp(arg, "--plot")) job->plotPath = value;
            else if (!strcmp(arg, "--gain")) gainText = value;
            else if (!strcmp(arg, "--metric")) {
                if (!parseMetrics(value, &job->metrics))
                    return failWith(error, errorSize, "--metric takes psnr, ssim or psnr,ssim");
            }
            continue;
        }
        if (positionals == 3) return failWith(error, errorSize, "unexpected argument '%s'", arg);
        positional[positionals++] = arg;
    }

    for (size_t rule = 0; rule < sizeof optionRules / sizeof optionRules[0]; ++rule)
        if ((used >> rule & 1) && !(optionRules[rule].modes >> job->mode & 1)) {
            char text[96];
            snprintf(text, sizeof text, "%s does not go with %s", usedName[rule], modeOption(job->mode));
            return failWith(error, errorSize, "%s", text);
        }

    if (job->mode == SNAP_MAKE_SAMPLE) {
        long long frames;
        if (!parseSize(positional[0], &job->width, &job->height))
            return failWith(error, errorSize, "the size must be WxH, for example 352x288");
        if (!parseNumber(positional[1], 1, 1000000, &frames))
            return failWith(error, errorSize, "FRAMES must be a count from 1");
        if (!positional[2]) return failWith(error, errorSize, "no output file given");
        const Writer* writer = writerForName(positional[2]);
        if (writer && writer != &yuvWriter)
            return failWith(error, errorSize, "--make-sample writes raw YUV, not a picture or stream: name it .yuv");
        job->sampleFrames = static_cast<int32_t>(frames);
        job->output = positional[2];
        job->sizeGiven = 1;
        if (!job->format) job->format = defaultFrameFormat();
        if (!formatIsViewers(job->format))
            return failWith(error, errorSize, "--make-sample writes 8-bit 4:2:0, 4:2:2, 4:1:1 or 4:4:4");
        return 1;
    }

    if (sizeText) {
        if (!parseSize(sizeText, &job->width, &job->height))
            return failWith(error, errorSize,
                            "the size must be WxH with both at least 1, for example 352x288");
        job->sizeGiven = 1;
    }

    if (job->mode == SNAP_INFO) {
        if (positionals > 1) return failWith(error, errorSize, "unexpected argument '%s'", positional[1]);
        if (!positional[0]) return failWith(error, errorSize, "INPUT is required");
        if (job->jsonPath && !*job->jsonPath)
            return failWith(error, errorSize, "--json takes a file name, or - for standard output");
        double rate;
        if (job->rateText && (!parseReal(job->rateText, &rate) || !(rate > 0)))
            return failWith(error, errorSize,
                            "--rate takes a number of frames a second above 0, for example 25 or 29.97");
        job->input = positional[0];
        return 1;
    }

    if (job->mode == SNAP_COMPARE) {
        if (positionals > 2) return failWith(error, errorSize, "unexpected argument '%s'", positional[2]);
        if (positionals < 2) return failWith(error, errorSize, "INPUT and OTHER are both required");
        if (job->statsPath && !*job->statsPath)
            return failWith(error, errorSize, "--stats takes a file name, or - for standard output");
        if (failText) {
            if (!parseReal(failText, &job->failBelow))
                return failWith(error, errorSize, "--fail-below takes a PSNR in dB, for example 35");
            job->failBelowSet = 1;
        }
        if (!job->metrics) job->metrics = METRIC_PSNR;
        for (const char* path : {job->ssimStatsPath, job->jsonPath, job->plotPath})
            if (path && !*path)
                return failWith(error, errorSize, "an output of --compare needs a name: --stats, --ssim-stats, --json or --plot is empty");
        if (job->ssimStatsPath && !(job->metrics & METRIC_SSIM))
            return failWith(error, errorSize, "--ssim-stats needs --metric ssim or psnr,ssim");
        if ((job->statsPath || job->failBelowSet) && !(job->metrics & METRIC_PSNR))
            return failWith(error, errorSize, "--stats and --fail-below need --metric psnr or psnr,ssim");
        if (job->plotPath && !endsInSvg(job->plotPath))
            return failWith(error, errorSize, "--plot writes SVG: name it .svg: '%s'", job->plotPath);
        {
            int toStandardOutput = 0;
            for (const char* path : {job->statsPath, job->ssimStatsPath, job->jsonPath})
                toStandardOutput += path && !strcmp(path, "-");
            if (toStandardOutput > 1)
                return failWith(error, errorSize, "only one of --stats, --ssim-stats and --json may be -");
        }
        if (failSsimText) {
            if (!parseReal(failSsimText, &job->failBelowSsim) || job->failBelowSsim < 0 || job->failBelowSsim > 1)
                return failWith(error, errorSize, "--fail-below-ssim takes an SSIM from 0 to 1, for example 0.95");
            if (!(job->metrics & METRIC_SSIM))
                return failWith(error, errorSize, "--fail-below-ssim needs --metric ssim or psnr,ssim");
            job->failBelowSsimSet = 1;
        }
        job->input = positional[0];
        job->other = positional[1];
        return 1;
    }

    const int outputAt = job->mode == SNAP_DIFF ? 2 : 1;
    if (job->mode == SNAP_DIFF) {
        job->gain = 1;
        long long gain;
        if (gainText) {
            if (!parseNumber(gainText, 1, 64, &gain))
                return failWith(error, errorSize, "--gain takes a whole number from 1 to 64");
            job->gain = static_cast<int>(gain);
        }
    }
    if (positionals > (listing ? 1 : outputAt + 1))
        return failWith(error, errorSize, "unexpected argument '%s'", positional[listing ? 1 : outputAt + 1]);
    if (frameText && !parseFrames(frameText, &job->frames)) {
        if (job->frames.kind == FRAMES_RANGE)
            return failWith(error, errorSize,
                            "--frame %s: a range runs from its first frame to a later one",
                            frameText);
        return failWith(error, errorSize,
                        "--frame takes a frame number from 0, 'last', a range A-B or 'all'");
    }
    int64_t rateNumerator, rateDenominator;
    if (job->rateText && !parseFrameRate(job->rateText, &rateNumerator, &rateDenominator))
        return failWith(error, errorSize,
                        "--rate takes a number of frames a second above 0, for example 25 or 30000/1001");
    if (listing) {
        if (!positional[0]) return failWith(error, errorSize, "INPUT is required");
        job->input = positional[0];
        job->output = "-";
        job->writer = &frameMd5Writer;
    } else {
        if (job->mode == SNAP_DIFF && positionals < 3)
            return failWith(error, errorSize, "--diff needs INPUT, OTHER and OUTPUT");
        if (positionals < 2) return failWith(error, errorSize, "INPUT and OUTPUT are both required");
        job->input = positional[0];
        if (job->mode == SNAP_DIFF) job->other = positional[1];
        job->output = positional[outputAt];
        job->writer = writerForName(job->output);
        if (job->mode == SNAP_DIFF && job->writer && !job->writer->perFrame)
            return failWith(error, errorSize, "--diff writes pictures: OUTPUT must end in .bmp or .png: '%s'",
                            job->output);
        if (!job->writer)
            return failWith(error, errorSize, "OUTPUT must end in .bmp, .png, .yuv, .y4m or .framemd5: '%s'",
                            job->output);
    }
    if (!job->writer->perFrame) {
        // A cut or a listing is one file of every frame asked, all of them by default.
        if (job->separate) return failWith(error, errorSize, "--separate goes with .bmp and .png pictures");
        if (!frameText) job->frames = {FRAMES_ALL, 0, INT64_MAX};
        job->outputName = OutputName();
        job->outputName.prefix = job->output;
        return 1;
    }
    if (job->rateText) return failWith(error, errorSize, "--rate does not go with exporting pictures (it goes with --info, cuts and listings)");

    int malformed = 0;
    parseOutputName(job->output, &job->outputName, &malformed);
    const bool several = job->frames.kind == FRAMES_RANGE || job->frames.kind == FRAMES_ALL;
    if (malformed)
        return failWith(error, errorSize,
                        "OUTPUT may hold one frame-number field (%%d, %%4d or %%04d) and %%%% for a per cent sign");
    if (several && !job->outputName.hasField)
        return failWith(error, errorSize,
                        "several frames need a frame-number field in OUTPUT, for example out_%%04d.png");
    return 1;
}
