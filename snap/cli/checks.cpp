// What each mode asks of the command line once the option table has read
// it: how many names, which options need which others, and the defaults.
// Each check says what it finds wrong first, in the order a user meets it.
#include <cstring>
#include <string>

#include "snap/cli/options.h"
#include "snap/cli/words.h"

namespace {

// Nonzero when the name ends in `extension` (".svg"), any case.
bool endsIn(const char* name, const char* extension) {
    const size_t length = strlen(name), tail = strlen(extension);
    return length > tail && sameWordAnyCase(name + length - tail, tail, extension);
}

// No more than `most` names: the first one too many is refused.
int atMostNames(const CommandLine* line, int most, ArgumentError* error) {
    if (line->positionals > most) return refuseArguments(error, "unexpected argument '%s'", line->positional[most]);
    return 1;
}

// The metrics' stats options as a list: "--stats, --ssim-stats".
std::string statsOptions() {
    std::string list;
    for (int i = 0; i < metricCount; ++i) list += std::string(i ? ", " : "") + metricTable[i].metric->statsOption;
    return list;
}

// Nonzero when a metric the job measures draws a curve on the plot.
bool plotted(const SnapJob* job) {
    for (int i = 0; i < metricCount; ++i)
        if ((job->metrics & metricBit(&metricTable[i])) && metricTable[i].metric->seriesCount > 0) return true;
    return false;
}

// "--plot draws the curves of psnr or ssim: add one of them to --metric".
std::string plotRefusal() {
    std::string names;
    for (int i = 0; i < metricCount; ++i)
        if (metricTable[i].metric->seriesCount > 0)
            names += std::string(names.empty() ? "" : " or ") + metricTable[i].metric->name;
    return "--plot draws the curves of " + names + ": add one of them to --metric";
}

// --compare's outputs: named, each with the metric it shows, and at most one on standard output.
int checkCompareOutputs(const SnapJob* job, ArgumentError* error) {
    int empty = 0, toStandardOutput = 0;
    for (const char* path : {job->jsonPath, job->plotPath, job->csvPath, job->reportPath}) {
        empty |= path && !*path;
        toStandardOutput += path && !strcmp(path, "-");
    }
    for (int i = 0; i < metricCount; ++i) {
        empty |= job->statsPaths[i] && !*job->statsPaths[i];
        toStandardOutput += job->statsPaths[i] && !strcmp(job->statsPaths[i], "-");
    }
    const std::string named =
        "an output of --compare needs a name: " + statsOptions() + ", --json, --plot, --csv or --report is empty";
    if (empty) return refuseArguments(error, "%s", named.c_str());
    // Row 0's options ask for what --compare measures by default; --metric left it out.
    const Metric* first = metricTable[0].metric;
    if ((job->statsPaths[0] || job->gateSet[0]) && !(job->metrics & metricBit(&metricTable[0]))) {
        std::string all;
        for (int i = 0; i < metricCount; ++i) all += std::string(i ? "," : "") + metricTable[i].metric->name;
        return refuseArguments(error, "%s", (std::string(first->statsOption) + " and " + first->gateOption +
                                             " need --metric " + first->name + " or " + all).c_str());
    }
    if (job->plotPath && !endsIn(job->plotPath, ".svg"))
        return refuseArguments(error, "--plot writes SVG: name it .svg: '%s'", job->plotPath);
    if (job->plotPath && !plotted(job)) return refuseArguments(error, "%s", plotRefusal().c_str());
    if (job->reportPath && !endsIn(job->reportPath, ".html") && !endsIn(job->reportPath, ".htm"))
        return refuseArguments(error, "--report writes HTML: name it .html: '%s'", job->reportPath);
    if (toStandardOutput > 1)
        return refuseArguments(error, "%s", ("only one of " + statsOptions() + ", --json and --csv may be -").c_str());
    return 1;
}

// A metric's gate option, within the limits its row gives.
int readGate(SnapJob* job, const CommandLine* line, int row, ArgumentError* error) {
    const char* text = line->gateText[row];
    const MetricRow* metric = &metricTable[row];
    double value;
    if (!text) return 1;
    if (!readDecimal(text, &value) || value < metric->gateLow || value > metric->gateHigh)
        return refuseArguments(error, metric->gateHelp, text);
    job->gateSet[row] = 1;
    job->gateLimit[row] = value;
    return 1;
}

// Standard output has no extension to name its writer: --to names it, and
// goes with it alone.
int chooseStandardWriter(SnapJob* job, const CommandLine* line, ArgumentError* error) {
    if (!line->value[OPTION_TO])
        return refuseArguments(error, ("writing to standard output needs --to " + writerWordList() + ": '%s'").c_str(),
                               job->output);
    if (strcmp(job->output, "-"))
        return refuseArguments(error, "--to names the writer for standard output, OUTPUT '-': '%s' is named by its extension",
                               job->output);
    return readOption(job, line, OPTION_TO, error);
}

// OUTPUT's writer: by its extension, or the listing to standard output.
int chooseWriter(SnapJob* job, const CommandLine* line, ArgumentError* error) {
    const bool diff = job->mode == SNAP_DIFF;
    if (job->listing && line->value[OPTION_TO])
        return refuseArguments(error, "--to does not go with --framemd5, which writes its listing to standard output");
    if (job->listing) {
        if (!line->positional[0]) return refuseArguments(error, "INPUT is required");
        job->input = line->positional[0];
        job->output = "-";
        job->writer = &frameMd5Writer;
        return 1;
    }
    if (diff && line->positionals < 3) return refuseArguments(error, "--diff needs INPUT, OTHER and OUTPUT");
    if (line->positionals < 2) return refuseArguments(error, "INPUT and OUTPUT are both required");
    job->input = line->positional[0];
    if (diff) job->other = line->positional[1];
    job->output = line->positional[diff ? 2 : 1];
    if (!diff && (!strcmp(job->output, "-") || line->value[OPTION_TO])) return chooseStandardWriter(job, line, error);
    job->writer = writerForName(job->output);
    if (diff && job->writer && !job->writer->perFrame)
        return refuseArguments(error, "--diff writes pictures: OUTPUT must end in .bmp or .png: '%s'", job->output);
    if (!job->writer)
        return refuseArguments(error, (std::string("OUTPUT must end in ") + writerExtensionList() + ": '%s'").c_str(), job->output);
    return 1;
}

// Pictures: one per frame, named by OUTPUT's frame-number field when there are several.
int checkPictureNames(SnapJob* job, ArgumentError* error) {
    if (job->rateText)
        return refuseArguments(error, "--rate does not go with exporting pictures (it goes with --info, cuts and listings)");
    int malformed = 0;
    const bool several = job->frames.kind == FRAMES_RANGE || job->frames.kind == FRAMES_ALL;
    if (!strcmp(job->output, "-")) {
        job->outputName = OutputName();
        job->outputName.prefix = job->output;
        return several ? refuseArguments(error, "pictures to standard output are one frame only: give --frame N or --frame last")
                       : 1;
    }
    parseOutputName(job->output, &job->outputName, &malformed);
    if (malformed)
        return refuseArguments(error, "OUTPUT may hold one frame-number field (%%d, %%4d or %%04d) and %%%% for a per cent sign");
    if (several && !job->outputName.hasField)
        return refuseArguments(error, "several frames need a frame-number field in OUTPUT, for example out_%%04d.png");
    return 1;
}

// Standard input is one stream: INPUT and OTHER cannot both be read from it.
int oneStandardInput(const SnapJob* job, ArgumentError* error) {
    if (job->other && !strcmp(job->input, "-") && !strcmp(job->other, "-"))
        return refuseArguments(error, "only one of INPUT and OTHER can be '-', standard input: give the other a file or a FIFO");
    return 1;
}

} // namespace

int checkSampleArguments(SnapJob* job, const CommandLine* line, ArgumentError* error) {
    int64_t frames;
    if (!readPictureSize(line->positional[0], &job->width, &job->height))
        return refuseArguments(error, "the size must be WxH, for example 352x288");
    if (!readWholeNumber(line->positional[1], 1, SAMPLE_FRAME_COUNT_LIMIT, &frames))
        return refuseArguments(error,
                               ("FRAMES must be a count from 1 to " + std::to_string(SAMPLE_FRAME_COUNT_LIMIT)).c_str());
    if (!line->positional[2]) return refuseArguments(error, "no output file given");
    const Writer* writer = writerForName(line->positional[2]);
    if (writer && writer != &yuvWriter)
        return refuseArguments(error, "--make-sample writes raw YUV, not a picture or stream: name it .yuv");
    job->sampleFrames = static_cast<int32_t>(frames);
    job->output = line->positional[2];
    job->sizeGiven = 1;
    if (!job->format) job->format = defaultFrameFormat();
    if (!formatIsViewers(job->format))
        return refuseArguments(error, "--make-sample writes 8-bit 4:2:0, 4:2:2, 4:1:1 or 4:4:4");
    return 1;
}

int checkInfoArguments(SnapJob* job, const CommandLine* line, ArgumentError* error) {
    if (!readOption(job, line, OPTION_SIZE, error) || !atMostNames(line, 1, error)) return 0;
    if (!line->positional[0]) return refuseArguments(error, "INPUT is required");
    if (job->jsonPath && !*job->jsonPath)
        return refuseArguments(error, "--json takes a file name, or - for standard output");
    if (!readOption(job, line, OPTION_RATE, error)) return 0;
    job->input = line->positional[0];
    return 1;
}

int checkCompareArguments(SnapJob* job, const CommandLine* line, ArgumentError* error) {
    if (!readOption(job, line, OPTION_SIZE, error) || !atMostNames(line, 2, error)) return 0;
    if (line->positionals < 2) return refuseArguments(error, "INPUT and OTHER are both required");
    job->worst = SNAP_WORST_DEFAULT;
    if (line->value[OPTION_WORST] && !job->reportPath) return refuseArguments(error, "--worst goes with --report");
    if (!readOption(job, line, OPTION_WORST, error)) return 0;
    for (int i = 0; i < metricCount; ++i) job->statsPaths[i] = line->statsText[i];
    // Row 0's lines are what --compare gives by default: an empty name for them is refused first.
    if (job->statsPaths[0] && !*job->statsPaths[0])
        return refuseArguments(error, "%s takes a file name, or - for standard output",
                               metricTable[0].metric->statsOption);
    for (int i = 0; i < metricCount; ++i)
        if (!readGate(job, line, i, error)) return 0;
    if (!job->metrics) job->metrics = metricBit(&metricTable[0]);
    // Another metric's gate or lines ask for it: measured beside what --metric names.
    for (int i = 1; i < metricCount; ++i)
        if (job->gateSet[i] || job->statsPaths[i]) job->metrics |= metricBit(&metricTable[i]);
    // A gate that is always on is set by asking for its metric.
    for (int i = 0; i < metricCount; ++i)
        if (metricTable[i].gateAlways && (job->metrics & metricBit(&metricTable[i]))) {
            job->gateSet[i] = 1;
            job->gateLimit[i] = metricTable[i].gateLow;
        }
    if (!checkCompareOutputs(job, error)) return 0;
    // Every frame the two share, unless --frame names some; counted from the
    // first frame compared, after the offset.
    job->frames = {FRAMES_ALL, 0, INT64_MAX};
    if (!readOption(job, line, OPTION_FRAME, error) || !readOption(job, line, OPTION_OFFSET, error)) return 0;
    job->input = line->positional[0];
    job->other = line->positional[1];
    return oneStandardInput(job, error);
}

// Exporting and --diff: pictures, cuts and listings.
int checkExportArguments(SnapJob* job, const CommandLine* line, ArgumentError* error) {
    if (!readOption(job, line, OPTION_SIZE, error)) return 0;
    if (job->mode == SNAP_DIFF) {
        job->gain = 1;
        if (!readOption(job, line, OPTION_GAIN, error) || !readOption(job, line, OPTION_OFFSET, error)) return 0;
    }
    const int names = job->listing ? 1 : job->mode == SNAP_DIFF ? 3 : 2;
    if (!atMostNames(line, names, error) || !readOption(job, line, OPTION_FRAME, error) ||
        !readOption(job, line, OPTION_RATE, error) || !chooseWriter(job, line, error))
        return 0;
    if (!oneStandardInput(job, error)) return 0;
    if (job->writer->perFrame) return checkPictureNames(job, error);
    // A cut or a listing is one file of every frame asked, all of them by default.
    if (job->separate) return refuseArguments(error, "--separate goes with .bmp and .png pictures");
    if (!line->value[OPTION_FRAME]) job->frames = {FRAMES_ALL, 0, INT64_MAX};
    job->outputName = OutputName();
    job->outputName.prefix = job->output;
    return 1;
}

// --bd-rate ANCHOR TEST: two tables of rates, one of them at most from standard input.
int checkBdRateArguments(SnapJob* job, const CommandLine* line, ArgumentError* error) {
    if (!atMostNames(line, 2, error)) return 0;
    if (line->positionals < 2) return refuseArguments(error, "--bd-rate needs ANCHOR.csv and TEST.csv");
    if (job->jsonPath && !*job->jsonPath)
        return refuseArguments(error, "--json takes a file name, or - for standard output");
    job->input = line->positional[0];
    job->other = line->positional[1];
    if (!strcmp(job->input, "-") && !strcmp(job->other, "-"))
        return refuseArguments(error, "only one of ANCHOR and TEST can be '-', standard input");
    return 1;
}
