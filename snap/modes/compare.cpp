// corvane-snap --compare: the metrics --metric asks for (PSNR unless told
// otherwise), from one pass over the two files of any format and container
// the sources read. Frames are read in batches while the batch before is
// measured on every core; the per-frame lines, the summaries, the JSON and
// the plot come out in frame order. The engine knows metrics only through
// their table (snap/metric/metric.h).
#include "snap/modes/compare.h"

#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "snap/cli/options.h"
#include "snap/format/name_guess.h"
#include "snap/format/narrow.h"
#include "snap/io/files.h"
#include "snap/io/frames.h"
#include "snap/io/messages.h"
#include "snap/io/output.h"
#include "snap/io/progress.h"
#include "snap/metric/metric.h"
#include "snap/modes/pairing.h"
#include "snap/report/compare_json.h"
#include "snap/report/csv.h"
#include "snap/report/figures.h"
#include "snap/report/html_report.h"
#include "snap/report/plot.h"
#include "snap/report/worst_frames.h"

namespace {

// A metric this run measures: where its lines go, its gate and what it has added up.
struct Measured {
    const Metric* metric;
    const MetricRow* row;
    const char* statsPath;
    int gateSet;
    double gateLimit;
    Output stats;
    MetricTotals totals;
    const char* gateFigure;  // the key of the figure the gate compares in the frame's JSON
    int64_t below;           // frames under the gate's limit
    int64_t worstFrame;      // of those, the lowest (from 0), and its figure
    double worstValue;
    int64_t firstBelow;      // the first of them
    std::vector<double> curves[METRIC_MAX_SERIES];
    std::vector<double> figures[METRIC_MAX_FIGURES]; // for the CSV, the pooled figures and the report
};

// One batch of frames of both files, read straight into one buffer each.
struct Batch {
    // Not cleared when made: every byte is read into before it is looked at.
    std::unique_ptr<uint8_t[]> bytes[2];  // INPUT's frames, OTHER's frames
    size_t capacity;  // frames each buffer holds
    int64_t first, count;
    int ended;   // an input ended within the batch: it is the last
    int readOk;
    std::string error;  // why a read failed
    std::vector<MetricFigures> figures;  // frame i, metric m at i * metrics + m
    std::vector<int64_t> pastDepth;      // frame i of INPUT at 2 * i, of OTHER at 2 * i + 1
};

struct Run {
    const SnapJob* job;
    Source input, other;  // open between openPair and closePair
    bool open;
    // One picture, perhaps stored two ways (nv12 against yuv420p): `geometry`
    // is INPUT's, and each file's own is read and unpacked by its own.
    FrameGeometry geometry;
    FrameGeometry stored[2];  // of INPUT and OTHER
    int64_t frameBytes[2];
    int64_t inputFrames, otherFrames;  // the inputs' whole frames; -1 while a stream's are not known
    // Frames compared: firstFrame to firstFrame + frames - 1, numbered from
    // INPUT's first after the offset; frames is -1 while a stream's are not
    // known (then up to lastFrame). missing: those asked that one input lacks.
    int64_t firstFrame, frames, lastFrame, missing;
    bool streams;             // either input is read as a stream: counts are known at its end
    FramePairing pairing;     // which frames of each input make pair j (--offset)
    int64_t partialBytes[2];
    int64_t pastDepth[2];     // samples above the largest the depth holds
    int metrics;
    Measured measured[METRIC_MAX];
    OutputGuard guard;  // INPUT and OTHER
    bool wantJson;
    nlohmann::json perFrame;
    bool wantFigures;    // every frame's figures kept (--json, --csv, --report)
    int figurePlanes;    // the planes the figures cover: 1 for grey
    WorstFrames worst;   // --report's worst frames, held as the pass finds them
    int64_t framesDone;  // frames measured and written out, in order
    Progress progress;
};

// The sources: every use of them is in these three functions (and openSourcePair).
int openPair(Run* run) {
    if (!openSourcePair(run->job, &run->input, &run->other)) return 0;
    run->open = true;
    run->geometry = run->input.geometry;
    run->stored[0] = run->input.geometry;
    run->stored[1] = run->other.geometry;
    run->frameBytes[0] = run->input.frameBytes;
    run->frameBytes[1] = run->other.frameBytes;
    run->inputFrames = run->input.frameCount;
    run->otherFrames = run->other.frameCount;
    run->partialBytes[0] = run->input.partialBytes;
    run->partialBytes[1] = run->other.partialBytes;
    run->streams = run->input.stream || run->other.stream;
    startPairing(&run->pairing, &run->input, &run->other, run->job->offset);
    std::string note, error;
    if (!run->job->offsetSearch) return 1;
    if (!searchOffset(&run->pairing, run->job->offsetSearch, &note, &error)) return !snapFail("%s", error.c_str());
    snapNote("%s", note.c_str());
    return 1;
}

// Frames [first, first + count) of INPUT (which 0) or OTHER (1), one after
// another into `bytes`, fewer where it ends: the count read, or -1.
int64_t readFrames(Run* run, int which, uint8_t* bytes, int64_t first, int64_t count, std::string* error) {
    for (int64_t i = 0; i < count; ++i) {
        const int got = readPairFrame(&run->pairing, which, first + i, bytes + i * run->frameBytes[which], error);
        if (got != 1) return got == 0 ? i : -1;
    }
    return count;
}

// Reads a stream on to its end, both at once (two decoders feeding two
// pipes must both be drained), so that its frames are counted as a file's.
int readPairToEnd(Run* run, std::string* error) {
    std::string otherError;
    int otherOk = 0;
    auto drainOther = [&]() { otherOk = readSourceToEnd(&run->other, &otherError); };
    std::thread reader;
    try {
        reader = std::thread(drainOther);
    } catch (const std::system_error&) {
    }
    int ok = readSourceToEnd(&run->input, error);
    if (reader.joinable()) reader.join();
    else drainOther();
    if (ok && !otherOk) *error = otherError;
    run->inputFrames = run->input.frameCount;
    run->otherFrames = run->other.frameCount;
    run->partialBytes[0] = run->input.partialBytes;
    run->partialBytes[1] = run->other.partialBytes;
    return ok && otherOk;
}

void closePair(Run* run) {
    if (!run->open) return;
    closeSource(&run->input);
    closeSource(&run->other);
    run->open = false;
}

// The table's rows --metric asked for, each refusing a geometry it cannot measure.
int chooseMetrics(Run* run) {
    const SnapJob* job = run->job;
    for (int i = 0; i < metricCount && run->metrics < METRIC_MAX; ++i) {
        const MetricRow* row = &metricTable[i];
        if (!(job->metrics & (1 << i))) continue;
        char why[256];
        if (row->metric->fits && !row->metric->fits(run->geometry.width, run->geometry.height, why, sizeof why))
            return !snapFail("%s", why);
        Measured* m = &run->measured[run->metrics++];
        m->metric = row->metric;
        m->row = row;
        m->statsPath = job->statsPaths[i];
        m->gateSet = job->gateSet[i];
        m->gateLimit = job->gateLimit[i];
        m->gateFigure = row->gateFigure;
        m->metric->clearTotals(&m->totals);
    }
    return 1;
}

// Refuses an input without a whole frame, or none left after the offset;
// then the frames to compare: those --frame asks of the ones both hold after
// the offset (-1 while a stream's are not known).
int checkFrames(Run* run) {
    const char* paths[2] = {run->job->input, run->job->other};
    const int64_t counts[2] = {run->inputFrames, run->otherFrames};
    int64_t after[2];
    for (int k = 0; k < 2; ++k) {
        if (counts[k] == 0)
            return !failNoWholeFrame(paths[k], run->geometry.width, run->geometry.height,
                                     shownFormatName(run->stored[k].format));
        after[k] = run->streams ? -1 : framesAfterOffset(&run->pairing, k);
        if (after[k] == 0)
            return !snapFail("--offset leaves no frame of %s, which holds %" PRId64 " whole frame%s",
                             quotedName(paths[k]).c_str(), counts[k], counts[k] == 1 ? "" : "s");
    }
    const int64_t shared = run->streams ? -1 : after[0] < after[1] ? after[0] : after[1];
    int64_t first = 0, last = 0;
    if (!chooseFrames(&run->job->frames, shared, "the inputs share", &first, &last)) return 0;
    run->firstFrame = first;
    run->lastFrame = last;
    run->frames = run->streams ? -1 : last - first + 1;
    // Missing: what was asked within the longer input that the shorter lacks.
    const int64_t longer = after[0] > after[1] ? after[0] : after[1];
    const int64_t askedLast = run->job->frames.kind == FRAMES_ALL ? longer - 1 : run->job->frames.last;
    const int64_t wanted = (askedLast < longer - 1 ? askedLast : longer - 1) - first + 1;
    run->missing = run->streams || wanted < run->frames ? 0 : wanted - run->frames;
    return 1;
}

// Says what is left out: partial frames, and the frames past the shorter
// file; with an offset or --frame, which frames of each are compared.
void noteFrames(const Run* run) {
    const char* paths[2] = {run->job->input, run->job->other};
    const int64_t counts[2] = {run->inputFrames, run->otherFrames};
    for (int k = 0; k < 2; ++k) notePartialFrame(paths[k], run->partialBytes[k]);
    const int64_t* skip = run->pairing.skip;
    if (!skip[0] && !skip[1] && run->job->frames.kind == FRAMES_ALL) {
        noteCommonFrames(paths[0], counts[0], paths[1], counts[1]);
        return;
    }
    const int64_t from = run->firstFrame, to = run->firstFrame + run->frames - 1;
    snapNote("comparing frames %" PRId64 " to %" PRId64 " of %s with frames %" PRId64 " to %" PRId64 " of %s",
             skip[0] + from, skip[0] + to, quotedName(paths[0]).c_str(), skip[1] + from, skip[1] + to,
             quotedName(paths[1]).c_str());
}

// What the CSV, the pooled figures and the report keep while the pass runs.
// The worst frames rank by the first metric --metric named.
void prepareReports(Run* run) {
    const SnapJob* job = run->job;
    run->wantFigures = job->jsonPath || job->csvPath || job->reportPath;
    run->figurePlanes = planarFormOf(run->geometry.format)->planeCount;
    int ranked = 0;
    for (int m = 0; m < run->metrics; ++m)
        if (run->measured[m].metric == metricTable[job->rankMetric].metric) ranked = m;
    // Files are read again for the few frames kept; a stream's are held as they pass.
    const bool seek = sourceCanSeek(&run->input) && sourceCanSeek(&run->other);
    startWorstFrames(&run->worst, job->reportPath ? job->worst : 0, run->measured[ranked].metric, !seek);
}

// Refuses an output that is INPUT, OTHER or another output of the run, then
// opens the metrics' stats files.
int openOutputs(Run* run) {
    const SnapJob* job = run->job;
    clearGuard(&run->guard);
    guardFile(&run->guard, job->input, "INPUT");
    guardFile(&run->guard, job->other, "OTHER");
    OutputGuard all = run->guard;
    const char* paths[4 + METRIC_MAX] = {job->jsonPath, job->plotPath, job->csvPath, job->reportPath};
    const char* options[4 + METRIC_MAX] = {"--json", "--plot", "--csv", "--report"};
    std::string roles[4 + METRIC_MAX];
    for (int m = 0; m < run->metrics; ++m) {
        paths[4 + m] = run->measured[m].statsPath;
        options[4 + m] = run->measured[m].metric->statsOption;
    }
    std::string error;
    for (int k = 0; k < 4 + run->metrics; ++k) {
        if (!paths[k] || !strcmp(paths[k], "-")) continue;
        if (!checkOutputPath(paths[k], &all, &error)) return !snapFail("%s: %s", options[k], error.c_str());
        roles[k] = std::string("the ") + options[k] + " file";
        guardOutput(&all, paths[k], roles[k].c_str());
    }
    for (int m = 0; m < run->metrics; ++m) {
        Measured* measured = &run->measured[m];
        if (!openRunOutput(&measured->stats, measured->statsPath, &run->guard, measured->metric->statsOption,
                           &error))
            return !snapFail("%s", error.c_str());
    }
    prepareReports(run);
    return 1;
}

// Samples above the largest the depth holds (10-bit samples above 1023 are
// the usual sign of p010le read as yuv420p10le). The metrics take them as
// they are; the count is for a note.
int64_t samplesPastDepth(const MetricFrame* frame) {
    if (frame->depth <= 8 || frame->depth >= 16) return 0;
    const uint16_t largest = uint16_t((1 << frame->depth) - 1);
    int64_t count = 0;
    for (int p = 0; p < frame->planes; ++p) {
        const MetricPlane* plane = &frame->plane[p];
        for (int32_t y = 0; y < plane->height; ++y) {
            const uint16_t* row = reinterpret_cast<const uint16_t*>(plane->data + y * plane->stride);
            // With the depth's bits all ones, a bit above them shows in the
            // row's OR: one cheap pass, and counting only where there are any.
            uint16_t any = 0;
            for (int32_t x = 0; x < plane->width; ++x) any |= row[x];
            if (any > largest)
                for (int32_t x = 0; x < plane->width; ++x) count += row[x] > largest;
        }
    }
    return count;
}

void measureFrame(Run* run, Batch* batch, int64_t i, std::vector<uint8_t> scratch[2]) {
    MetricFrame frames[2];
    for (int k = 0; k < 2; ++k) {
        metricFrameOf(&run->stored[k], batch->bytes[k].get() + i * run->frameBytes[k], &scratch[k], &frames[k]);
        batch->pastDepth[size_t(2 * i + k)] = samplesPastDepth(&frames[k]);
    }
    const MetricFrame &a = frames[0], &b = frames[1];
    for (int m = 0; m < run->metrics; ++m) {
        MetricFigures* figures = &batch->figures[size_t(i * run->metrics + m)];
        figures->frame = batch->first + i;
        figures->ok = run->measured[m].metric->measure(&a, &b, figures);
    }
}

// OTHER's frames are read on a second thread while this one reads INPUT's:
// copying both files out of the system's cache is most of the work, and the
// two copies then run side by side.
void readBatch(Run* run, Batch* batch, int64_t first, int64_t count) {
    batch->first = first;
    batch->count = count;
    if (batch->capacity < size_t(count)) {
        for (int k = 0; k < 2; ++k) batch->bytes[k].reset(new uint8_t[size_t(count * run->frameBytes[k])]);
        batch->capacity = size_t(count);
    }
    batch->figures.resize(size_t(count * run->metrics));
    batch->pastDepth.resize(size_t(2 * count));
    int64_t otherGot = 0;
    std::string otherError;
    auto readOther = [&]() { otherGot = readFrames(run, 1, batch->bytes[1].get(), first, count, &otherError); };
    std::thread reader;
    try {
        reader = std::thread(readOther);
    } catch (const std::system_error&) {
    }
    const int64_t got = readFrames(run, 0, batch->bytes[0].get(), first, count, &batch->error);
    if (reader.joinable()) reader.join();
    else readOther();  // no thread to be had: read it here
    batch->readOk = got >= 0 && otherGot >= 0;
    if (got >= 0 && otherGot < 0) batch->error = otherError;
    batch->count = got < otherGot ? got : otherGot;
    batch->ended = batch->count < count;
}

// A frame below the gate: counted, and kept when it is the lowest so far.
void countBelow(Measured* measured, const MetricFigures* figures, int64_t index) {
    nlohmann::json j;
    measured->metric->frameJson(figures, &j);
    const nlohmann::json& figure = j[measured->gateFigure];
    const double value = figure.is_number() ? double(figure) : INFINITY;
    if (measured->below == 0) measured->firstBelow = index;
    if (measured->below == 0 || value < measured->worstValue) {
        measured->worstFrame = index;
        measured->worstValue = value;
    }
    ++measured->below;
}

// Frame `index` (from 0) of one metric into its line, totals, gate, JSON entry and curves.
void addFigures(const Run* run, Measured* measured, const MetricFigures* figures, int64_t index,
                nlohmann::json* entry) {
    const Metric* metric = measured->metric;
    char line[512];
    metric->frameLine(figures, index + 1, line, sizeof line);
    putLine(&measured->stats, line);
    metric->addFrame(&measured->totals, figures);
    if (measured->gateSet && metric->below(figures, measured->gateLimit)) countBelow(measured, figures, index);
    if (run->wantJson) metric->frameJson(figures, &(*entry)[metric->name]);
    if (run->job->plotPath || run->job->reportPath)
        for (int s = 0; s < metric->seriesCount; ++s) measured->curves[s].push_back(metric->seriesValue(figures, s));
    if (run->wantFigures)
        for (int f = 0; f < metric->figureCount; ++f)
            if (metricHasFigure(metric, f, run->figurePlanes)) measured->figures[f].push_back(metric->figureValue(figures, f));
}

// Ends the progress line, then says why the run stops.
int failMeasuring(Run* run, const char* why) {
    progressEnd(&run->progress);
    return !snapFail("%s", why);
}

// Frame i of the batch held for the report's pictures when it is among the worst so far.
int holdIfWorst(Run* run, const Batch* batch, int64_t i) {
    if (run->worst.most <= 0) return 1;
    int ranked = 0;
    while (run->measured[ranked].metric != run->worst.metric) ++ranked;
    return considerWorstFrame(&run->worst, batch->first + i, &batch->figures[size_t(i * run->metrics + ranked)],
                              batch->bytes[0].get() + i * run->frameBytes[0], size_t(run->frameBytes[0]),
                              batch->bytes[1].get() + i * run->frameBytes[1], size_t(run->frameBytes[1]));
}

// Writes out a measured batch in frame order: the lines, the totals, the
// gates, the JSON entries and the plot's values. The stats lines count
// frames from 1 (n:1) as FFmpeg's do; the JSON gives both.
int finishBatch(Run* run, const Batch* batch) {
    for (int64_t i = 0; i < batch->count; ++i) {
        const int64_t index = batch->first + i;
        nlohmann::json entry;
        if (run->wantJson) {
            entry["n"] = index + 1;
            entry["frame"] = index;
        }
        for (int m = 0; m < run->metrics; ++m) {
            const MetricFigures* figures = &batch->figures[size_t(i * run->metrics + m)];
            if (!figures->ok) return failMeasuring(run, "out of memory");
            addFigures(run, &run->measured[m], figures, index, &entry);
        }
        for (int k = 0; k < 2; ++k) run->pastDepth[k] += batch->pastDepth[size_t(2 * i + k)];
        if (!holdIfWorst(run, batch, i)) return failMeasuring(run, "out of memory");
        if (run->wantJson) run->perFrame.push_back(std::move(entry));
        run->framesDone += 1;
    }
    progressStep(&run->progress, run->framesDone);
    return 1;
}

// The count of frames measured at once: a frame for every second core,
// measured while this thread reads the next batch. Reading (the kernel's copy
// out of the page cache) is most of the work, and it is cheapest into buffers
// small enough to stay in the cache from batch to batch.
int64_t framesPerBatch(unsigned cores) {
    return cores < 4 ? 1 : int64_t{cores / 2};
}

// Frame `at` of both files into a batch of one, both read on this thread.
void readPairHere(Run* run, Batch* batch, int64_t at) {
    batch->first = at;
    if (!batch->capacity) {
        for (int k = 0; k < 2; ++k) batch->bytes[k].reset(new uint8_t[size_t(run->frameBytes[k])]);
        batch->capacity = 1;
        batch->figures.resize(size_t(run->metrics));
        batch->pastDepth.resize(2);
    }
    std::string otherError;
    const int64_t got = readFrames(run, 0, batch->bytes[0].get(), at, 1, &batch->error);
    const int64_t otherGot = readFrames(run, 1, batch->bytes[1].get(), at, 1, &otherError);
    batch->readOk = got >= 0 && otherGot >= 0;
    if (got >= 0 && otherGot < 0) batch->error = otherError;
    batch->count = got < otherGot ? got : otherGot;
    batch->ended = batch->count < 1;
}

// When every metric costs less than reading (see MetricRow::readingBound),
// each pair of frames is measured here as soon as it is read, into one pair
// of buffers that stays in the cache: overlapping the reading with the
// measuring gains nothing then, a second pair of buffers costs more, and a
// thread started for each frame waits on a busy machine.
// Pairs first to end - 1.
int measureWhileReading(Run* run, int64_t first, int64_t end) {
    Batch batch = {};
    std::vector<uint8_t> scratch[2];
    for (int64_t at = first; at < end; ++at) {
        readPairHere(run, &batch, at);
        if (!batch.readOk) return failMeasuring(run, batch.error.c_str());
        if (batch.count > 0) measureFrame(run, &batch, 0, scratch);
        if (!finishBatch(run, &batch)) return 0;
        if (batch.ended) return 1;
    }
    return 1;
}

bool readingBound(const Run* run) {
    for (int m = 0; m < run->metrics; ++m)
        if (!run->measured[m].row->readingBound) return false;
    return true;
}

// Measures every frame: each batch is measured by the workers while the next
// one is read here, then written out.
int measureAll(Run* run) {
    unsigned cores = std::thread::hardware_concurrency();
    cores = cores < 1 ? 1 : cores > 16 ? 16 : cores;
    const int64_t perBatch = framesPerBatch(cores), first = run->firstFrame;
    // The pair after the last to compare (a stream's count is found at its end).
    const int64_t frames = run->frames >= 0      ? first + run->frames
                           : run->lastFrame < INT64_MAX ? run->lastFrame + 1
                                                        : INT64_MAX;
    if (readingBound(run)) return measureWhileReading(run, first, frames);
    Batch batches[2] = {};
    readBatch(run, &batches[0], first, frames - first < perBatch ? frames - first : perBatch);
    for (int k = 0;; k ^= 1) {
        Batch* now = &batches[k];
        if (!now->readOk) return failMeasuring(run, now->error.c_str());
        std::atomic<int64_t> next{0};
        auto work = [run, now, &next]() {
            std::vector<uint8_t> scratch[2];
            for (int64_t i; (i = next.fetch_add(1)) < now->count;) measureFrame(run, now, i, scratch);
        };
        std::vector<std::thread> workers;
        for (unsigned t = 0; t < cores && int64_t{t} < now->count; ++t) {
            try {
                workers.emplace_back(work);
            } catch (const std::system_error&) {
                break;
            }
        }
        const int64_t after = now->ended ? frames : now->first + now->count;
        if (after < frames) readBatch(run, &batches[k ^ 1], after, frames - after < perBatch ? frames - after : perBatch);
        if (workers.empty()) work();  // no thread to be had: measure here
        for (std::thread& worker : workers) worker.join();
        if (!finishBatch(run, now)) return 0;
        if (after >= frames) return 1;
    }
}

// Every metric's summary line, on standard output as one write.
int writeSummaries(const Run* run) {
    std::string text;
    for (int m = 0; m < run->metrics; ++m) {
        char line[512];
        run->measured[m].metric->summaryLine(&run->measured[m].totals, line, sizeof line);
        text += line;
    }
    errno = 0;
    if (fputs(text.c_str(), stdout) == EOF || fflush(stdout) != 0)
        return !snapFail("%s", cannotWriteText("-", errno).c_str());
    return 1;
}

// The plot's SVG into *svg (none when no metric measured draws a curve); 0 when memory ran out.
int buildPlot(const Run* run, std::string* svg) {
    std::vector<PlotSeries> series;
    for (int m = 0; m < run->metrics; ++m) {
        const Metric* metric = run->measured[m].metric;
        for (int s = 0; s < metric->seriesCount; ++s)
            series.push_back({metric->series[s].label, metric->series[s].colour,
                              run->measured[m].curves[s].data(), metric->series[s].markWorst});
    }
    if (series.empty()) return 1;
    // Each name shortened alike, so that both stay recognisable beside the legend.
    const std::string title = shortenedInMiddle(shownName(run->job->input).c_str(), PLOT_TITLE_NAME) + " against " +
                              shortenedInMiddle(shownName(run->job->other).c_str(), PLOT_TITLE_NAME);
    // Frames counted from 0 on the axis and at the worst frame, as --frame counts them.
    const PlotInput input = {run->frames, run->firstFrame, series.data(), int(series.size()), title.c_str()};
    return buildPlotSvg(&input, svg);
}

int writePlot(const Run* run) {
    std::string svg;
    if (!buildPlot(run, &svg)) return !snapFail("--plot: out of memory");
    return writeDocument(run->job->plotPath, svg, &run->guard, "--plot");
}

// The columns of every figure measured, pointing at the values kept.
void figureTableOf(const Run* run, FigureTable* table) {
    table->frames = run->frames;
    table->first = run->firstFrame;
    for (int m = 0; m < run->metrics; ++m) {
        const Metric* metric = run->measured[m].metric;
        for (int f = 0; f < metric->figureCount; ++f)
            if (metricHasFigure(metric, f, run->figurePlanes))
                table->columns.push_back({metric, f, &run->measured[m].figures[f]});
    }
}

// The run as the JSON document and the report describe it.
void describeRun(Run* run, int64_t missing, bool failed, const FigureTable* figures, CompareReport* report) {
    *report = {run->job->input, run->job->other, &run->geometry, run->inputFrames, run->otherFrames,
               run->frames, &run->perFrame, run->metrics, {}, {}, {}, run->job->gateSet,
               run->job->gateLimit, missing, failed, figures};
    for (int m = 0; m < run->metrics; ++m) {
        report->metric[m] = run->measured[m].metric;
        report->totals[m] = &run->measured[m].totals;
        report->below[m] = run->measured[m].below;
    }
}

int writeJson(Run* run, int64_t missing, bool failed) {
    FigureTable figures;
    figureTableOf(run, &figures);
    CompareReport report;
    describeRun(run, missing, failed, &figures, &report);
    return writeDocument(run->job->jsonPath, compareJsonText(&report), &run->guard, "--json");
}

int writeCsv(const Run* run) {
    FigureTable figures;
    figureTableOf(run, &figures);
    return writeDocument(run->job->csvPath, figureCsvText(&figures), &run->guard, "--csv");
}

// The worst frames' bytes, read again from the files when they were not
// held: OTHER's on a second thread, as the pass reads them.
int readWorstAgain(Run* run) {
    if (run->worst.holdBytes || run->worst.held.empty()) return 1;
    Source input, other;
    if (!openSourcePair(run->job, &input, &other)) return 0;
    std::string error, otherError;
    int otherOk = 0;
    auto readOther = [&]() { otherOk = readHeldSide(&run->worst, &other, 1, run->pairing.skip[1], &otherError); };
    std::thread reader;
    try {
        reader = std::thread(readOther);
    } catch (const std::system_error&) {
    }
    const int inputOk = readHeldSide(&run->worst, &input, 0, run->pairing.skip[0], &error);
    if (reader.joinable()) reader.join();
    else readOther();
    closeSource(&input);
    closeSource(&other);
    if (inputOk && !otherOk) error = otherError;
    return (inputOk && otherOk) || !snapFail("--report: %s", error.c_str());
}

// Each worst frame's pictures (most of the report's work): the two sides of
// every frame shared among the cores, then each frame's difference.
int buildPictures(const Run* run, ReportPage* page) {
    const std::vector<HeldFrame>& held = run->worst.held;
    const size_t tasks = 2 * held.size();
    std::vector<WorstSide> sides(tasks);
    std::vector<std::string> errors(tasks);
    std::vector<int> built(tasks, 0);
    page->worst.resize(held.size());
    std::atomic<size_t> next{0};
    // The distorted sides first: grain and coding noise make their PNG the
    // slowest part, and the cheaper reference sides fill in after them.
    auto work = [&]() {
        for (size_t t; (t = next.fetch_add(1)) < tasks;) {
            const size_t frame = t % held.size(), side = t < held.size() ? 1 : 0, at = 2 * frame + side;
            built[at] = buildWorstSide(&run->stored[side], &held[frame], int(side), &sides[at],
                                       &page->worst[frame].pictures.png[side], &errors[at]);
        }
    };
    std::vector<std::thread> workers;
    for (size_t t = 1; t < tasks && t < std::thread::hardware_concurrency(); ++t) {
        try {
            workers.emplace_back(work);
        } catch (const std::system_error&) {
            break;
        }
    }
    work();
    for (std::thread& worker : workers) worker.join();
    const int factor = scaleFactorFor(run->geometry.width, WORST_PICTURE_WIDTH);
    for (size_t i = 0; i < held.size(); ++i) {
        page->worst[i].index = held[i].index;
        if (built[2 * i] && built[2 * i + 1] &&
            buildWorstDifference(&sides[2 * i], factor, page->gain, &page->worst[i].pictures, &errors[2 * i]))
            continue;
        return !snapFail("--report: frame %" PRId64 ": %s", held[i].index,
                         errors[built[2 * i] && !built[2 * i + 1] ? 2 * i + 1 : 2 * i].c_str());
    }
    return 1;
}

// The report, with its worst frames' pictures.
int writeReport(Run* run, int64_t missing, bool failed) {
    FigureTable figures;
    figureTableOf(run, &figures);
    CompareReport compare;
    describeRun(run, missing, failed, &figures, &compare);
    ReportPage page = {&compare, &figures, std::string(), run->worst.metric, {}, WORST_DIFFERENCE_GAIN};
    if (!readWorstAgain(run) || !buildPictures(run, &page)) return 0;
    if (!buildPlot(run, &page.plotSvg)) return !snapFail("--report: out of memory");
    return writeDocument(run->job->reportPath, reportHtml(&page), &run->guard, "--report");
}

// A gate passes only on frames it saw: a frame missing from either file fails
// every gate set, and the line names them.
void noteMissing(const Run* run, int64_t missing) {
    std::string gates;
    int count = 0;
    for (int m = 0; m < run->metrics; ++m)
        if (run->measured[m].gateSet) {
            const Measured* measured = &run->measured[m];
            gates += std::string(count ? " and " : "") +
                     (measured->row->gateAlways ? std::string("--metric ") + measured->metric->name
                                                : std::string(measured->metric->gateOption));
            ++count;
        }
    const bool inputShort = framesAfterOffset(&run->pairing, 0) < framesAfterOffset(&run->pairing, 1);
    snapNote("%s fail%s: %" PRId64 " frame%s missing from %s", gates.c_str(), count == 1 ? "s" : "", missing,
             missing == 1 ? " is" : "s are", quotedName(inputShort ? run->job->input : run->job->other).c_str());
}

// Why each gate that saw frames below its limit failed: how many, and the
// lowest frame, numbered from 0 as --frame counts.
void noteGatesBelow(const Run* run) {
    for (int m = 0; m < run->metrics; ++m) {
        const Measured* measured = &run->measured[m];
        if (!measured->gateSet || measured->below == 0) continue;
        // A gate that is always on has no limit to be below: the first frame that fails it says most.
        if (measured->row->gateAlways) {
            snapNote("--metric %s fails: %" PRId64 " of %" PRId64 " frame%s, the first frame %" PRId64,
                     measured->metric->name, measured->below, run->frames, run->frames == 1 ? "" : "s",
                     measured->firstBelow);
            continue;
        }
        snapNote("%s %g fails: %" PRId64 " of %" PRId64 " frame%s below it, the worst frame %" PRId64 " at %f",
                 measured->metric->gateOption, measured->gateLimit, measured->below, run->frames,
                 run->frames == 1 ? "" : "s", measured->worstFrame, measured->worstValue);
    }
}

// Samples past the depth, once for each file that holds any.
void notePastDepth(const Run* run) {
    const char* paths[2] = {run->job->input, run->job->other};
    for (int k = 0; k < 2; ++k) {
        const int64_t count = run->pastDepth[k];
        const int depth = planarFormOf(run->stored[k].format)->depth;
        if (count > 0)
            snapNote("%s holds %" PRId64 " sample%s above %d, the largest %d bits hold%s: measured as they are",
                     quotedName(paths[k]).c_str(), count, count == 1 ? "" : "s", (1 << depth) - 1, depth,
                     depth == 10 ? " (p010le read as yuv420p10le looks so)" : "");
    }
}

// A stream's frames are known once it is read to its end: the counts, the
// refusal of an input without a whole frame and the notes then come as a
// file's would.
int countStreams(Run* run) {
    std::string error;
    if (!readPairToEnd(run, &error)) return !snapFail("%s", error.c_str());
    run->streams = false;
    if (!checkFrames(run)) return 0;
    noteFrames(run);
    return 1;
}

// Measures and writes out the stats lines; nonzero when all went well.
int measureAndWriteLines(Run* run) {
    // Errors come before the notes, so that a run refused says one line.
    int ok = openOutputs(run);
    if (ok) {
        if (!run->streams) noteFrames(run);
        run->wantJson = run->job->jsonPath != nullptr;
        run->perFrame = nlohmann::json::array();
        progressStart(&run->progress, "frames", run->frames);
        ok = measureAll(run);
        progressEnd(&run->progress);
    }
    if (ok && run->streams) ok = countStreams(run);
    closePair(run);
    std::string error;
    for (int m = 0; m < run->metrics; ++m) {
        if (ok && !finishRunOutput(&run->measured[m].stats, &error)) ok = !snapFail("%s", error.c_str());
        abandonRunOutput(&run->measured[m].stats);
    }
    if (ok) notePastDepth(run);
    return ok;
}

// The open pair measured: the exit status.
int compareOpenPair(Run* run) {
    if (!chooseMetrics(run) || !checkFrames(run) || !measureAndWriteLines(run)) return 2;
    const SnapJob* job = run->job;
    const int64_t missing = run->missing;
    bool gated = false, failed = false;
    for (int m = 0; m < run->metrics; ++m) {
        gated = gated || run->measured[m].gateSet;
        failed = failed || run->measured[m].below > 0;
    }
    failed = failed || (gated && missing > 0);
    const bool documentOnStandardOutput = (job->jsonPath && !strcmp(job->jsonPath, "-")) ||
                                          (job->csvPath && !strcmp(job->csvPath, "-"));
    if (!documentOnStandardOutput && !writeSummaries(run)) return 2;
    if (job->plotPath && !writePlot(run)) return 2;
    if (job->jsonPath && !writeJson(run, missing, failed)) return 2;
    if (job->csvPath && !writeCsv(run)) return 2;
    if (job->reportPath && !writeReport(run, missing, failed)) return 2;
    noteGatesBelow(run);
    if (gated && missing > 0) noteMissing(run, missing);
    return failed ? 1 : 0;
}

// The size of the regular file at `path`, or -1 after saying why it cannot be read.
int64_t readableFileSize(const char* path) {
    std::string error;
    FILE* file = openInputFile(path, &error);
    if (!file) {
        snapFail("%s", error.c_str());
        return -1;
    }
    const int64_t size = toolFileSize(file);
    fclose(file);
    if (size < 0) snapFail("cannot find the size of %s: %s", quotedName(path).c_str(), strerror(errno));
    return size;
}

// What one source (the flags, or a file's name) says of the geometry.
struct Claim {
    std::string source;
    int32_t width, height; // 0 when it names no size
    const FrameFormat* format;
};

// "'a.yuv' gives 64x48 4:2:0", "the flags give 64x48".
std::string claimText(const Claim* claim) {
    char text[64] = "";
    if (claim->width) snprintf(text, sizeof text, "%dx%d", claim->width, claim->height);
    std::string result = text;
    if (claim->format) result += (result.empty() ? "" : " ") + std::string(shownFormatName(claim->format));
    return claim->source + (claim->source == "the flags" ? " give " : " gives ") + result;
}

// Nonzero when frames of the two formats are one picture stored two ways:
// the same sampling and depth (nv12 and yuv420p, p010le and yuv420p10le),
// which the metrics read alike once unpacked to planar.
int sameSamples(const FrameFormat* a, const FrameFormat* b) {
    return planarFormOf(a) == planarFormOf(b);
}

// The same size and samples; the chroma layout is the caller's to check.
int samePicture(const FrameGeometry* g, const FrameGeometry* h) {
    return g->width == h->width && g->height == h->height && sameSamples(g->format, h->format);
}

// Nonzero when the flags and both names agree on what they say; otherwise one
// line naming two that differ. The two names may give formats of one picture
// stored two ways; the flags name how both files are stored.
int geometriesAgree(const SnapJob* job) {
    Claim claims[3];
    int count = 0;
    if (job->sizeGiven || job->format)
        claims[count++] = {"the flags", job->sizeGiven ? job->width : 0, job->sizeGiven ? job->height : 0,
                           job->format};
    for (const char* path : {job->input, job->other}) {
        NameGuess guess;
        guessFromName(path, &guess);
        Claim claim = {quotedName(path), 0, 0, nullptr};
        if (guess.sizeCount == 1) {
            claim.width = guess.width;
            claim.height = guess.height;
        }
        if (guess.formatCount == 1) claim.format = guess.format;
        if (claim.width || claim.format) claims[count++] = claim;
    }
    for (int i = 0; i < count; ++i)
        for (int j = i + 1; j < count; ++j) {
            const bool sizes = claims[i].width && claims[j].width &&
                               (claims[i].width != claims[j].width || claims[i].height != claims[j].height);
            const bool bothNames = i > 0 || !(job->sizeGiven || job->format);
            const bool formats = claims[i].format && claims[j].format && claims[i].format != claims[j].format &&
                                 !(bothNames && sameSamples(claims[i].format, claims[j].format));
            if (sizes || formats)
                return !snapFail("the geometries differ: %s, %s", claimText(&claims[i]).c_str(),
                                 claimText(&claims[j]).c_str());
        }
    return 1;
}

} // namespace

int compareGeometriesAgree(const SnapJob* job) {
    return geometriesAgree(job);
}

namespace {

// Opens INPUT and OTHER. A file is opened first and a stream after it: a
// stream can be opened only once, so a raw stream given no size takes the
// file's. A file that gives no geometry takes the other's and is opened again.
int openBoth(const SnapJob* job, Source* sources[2]) {
    const char* paths[2] = {job->input, job->other};
    const int order[2][2] = {{0, 1}, {1, 0}};
    const int* turn = order[isStreamPath(job->input) && !isStreamPath(job->other)];
    GeometryRequest asked = {job->sizeGiven, job->width, job->height, job->format, job->formatWord};
    std::string error;
    int open[2] = {0, 0};
    for (int t = 0; t < 2; ++t) {
        const int k = turn[t], j = 1 - k;
        asked.fallback = open[j] ? &sources[j]->geometry : nullptr;
        open[k] = openSource(sources[k], paths[k], &asked, &error);
        if (open[k] || sources[k]->geometryUnknown) continue;
        if (open[j]) closeSource(sources[j]);
        return !snapFail("%s", error.c_str());
    }
    for (int k = 0; k < 2; ++k) {
        if (open[k]) continue;
        const int j = 1 - k;
        if (!open[j]) return !snapFail("no --size given and neither file gives a size (%s)", error.c_str());
        const GeometryRequest from = {1, sources[j]->geometry.width, sources[j]->geometry.height,
                                      sources[j]->geometry.format};
        if (!openSource(sources[k], paths[k], &from, &error)) {
            closeSource(sources[j]);
            return !snapFail("%s", error.c_str());
        }
        open[k] = 1;
    }
    return 1;
}

} // namespace

int openSourcePair(const SnapJob* job, Source* input, Source* other) {
    Source* sources[2] = {input, other};
    if (!openBoth(job, sources)) return 0;
    const FrameGeometry* g = &input->geometry;
    const FrameGeometry* h = &other->geometry;
    const bool layoutsDiffer = g->rounding != h->rounding && roundingChangesLayout(g);
    if (!samePicture(g, h) || layoutsDiffer) {
        snapFail("the geometries differ: %s is %dx%d %s%s, %s is %dx%d %s%s", quotedName(job->input).c_str(),
                 g->width, g->height, shownFormatName(g->format),
                 layoutsDiffer ? (g->rounding == CHROMA_ROUNDED_UP ? " (chroma rounded up)" : " (chroma rounded down)") : "",
                 quotedName(job->other).c_str(), h->width, h->height, shownFormatName(h->format),
                 layoutsDiffer ? (h->rounding == CHROMA_ROUNDED_UP ? " (chroma rounded up)" : " (chroma rounded down)") : "");
        closeSource(input);
        closeSource(other);
        return 0;
    }
    return 1;
}

void metricFrameOf(const FrameGeometry* geometry, const uint8_t* frame, std::vector<uint8_t>* scratch,
                   MetricFrame* metric) {
    FrameGeometry planar = *geometry;
    planar.format = planarFormOf(geometry->format);
    FramePlanes planes;
    framePlanes(&planar, &planes);
    if (planar.format != geometry->format) {
        scratch->resize(size_t(planes.frameBytes));
        planarFrame(geometry, frame, scratch->data());
        frame = scratch->data();
    }
    *metric = MetricFrame();
    metric->planes = planes.planeCount;
    metric->depth = planar.format->depth;
    for (int p = 0; p < planes.planeCount; ++p)
        metric->plane[p] = {frame + planes.offset[p], ptrdiff_t(planes.rowBytes[p]),
                            int32_t(planes.rowBytes[p] / planar.format->bytesPerSample), int32_t(planes.rows[p])};
}

int runCompareCommand(const SnapJob* job) {
    for (const char* path : {job->input, job->other})
        if (!isStreamPath(path) && readableFileSize(path) < 0) return 2;
    if (!geometriesAgree(job)) return 2;
    Run run = {};
    run.job = job;
    if (!openPair(&run)) return 2;
    const int status = compareOpenPair(&run);
    closePair(&run);
    return status;
}
