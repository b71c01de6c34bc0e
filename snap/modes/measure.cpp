// corvane-snap --compare measuring SSIM, PSNR or both, from one pass over the
// two files: frames are read in batches while the batch before is measured on
// every core, and the lines, JSON and plot come out in frame order.
#include "snap/modes/measure.h"

#include <cstddef>

#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "snap/io/files.h"
#include "snap/io/messages.h"
#include "snap/format/name_guess.h"
#include "snap/format/narrow.h"
#include "snap/cli/options.h"
#include "snap/report/plot.h"
#include "snap/metric/psnr.h"
#include "snap/metric/ssim.h"

namespace {

struct FrameResult {
    PsnrFrame psnr;
    SsimFrame ssim;
    int ok;
};

// One file's frames of a batch, read straight into one buffer.
struct Batch {
    // Not cleared when made: every byte is read into before it is looked at.
    std::unique_ptr<uint8_t[]> input, other;
    size_t capacity;
    int64_t first, count;
    int readOk;
    std::string error;  // why a read failed
};

// An output of the run: standard output, or a file through the write path.
struct Output {
    const char* path;  // nullptr: none
    bool toFile;
    OutputFile file;
    bool failed;
};

int openRunOutput(Output* out, const char* path, const OutputGuard* guard, const char* option,
                  std::string* error) {
    out->path = path;
    out->toFile = path && strcmp(path, "-") != 0;
    out->failed = false;
    if (!out->toFile) return 1;
    if (openOutput(&out->file, path, guard, error)) return 1;
    *error = std::string(option) + ": " + *error;
    out->toFile = false;
    out->path = nullptr;
    return 0;
}

void putLine(Output* out, const char* line) {
    if (!out->path) return;
    if (out->toFile) {
        if (!writeOutput(&out->file, line, strlen(line))) out->failed = true;
    } else if (fputs(line, stdout) == EOF) {
        out->failed = true;
    }
}

int finishRunOutput(Output* out, std::string* error) {
    if (!out->toFile) return 1;
    out->toFile = false;
    return finishOutput(&out->file, error);
}

void abandonRunOutput(Output* out) {
    if (out->toFile) abandonOutput(&out->file);
    out->toFile = false;
}

// A figure for JSON: infinities (identical frames) and NaN (no window) as null.
nlohmann::json number(double value) {
    return std::isfinite(value) ? nlohmann::json(value) : nlohmann::json(nullptr);
}

nlohmann::json psnrFrameJson(const PsnrFrame* frame) {
    static const char* const names[3] = {"y", "u", "v"};
    nlohmann::json j;
    const double average = psnrFrameMse(frame);
    j["mse_avg"] = average;
    for (int p = 0; p < frame->planes; ++p) j[std::string("mse_") + names[p]] = psnrPlaneMse(frame, p);
    j["psnr_avg"] = number(psnrDecibels(average, frame->depth));
    for (int p = 0; p < frame->planes; ++p)
        j[std::string("psnr_") + names[p]] = number(psnrDecibels(psnrPlaneMse(frame, p), frame->depth));
    return j;
}

nlohmann::json ssimFrameJson(const SsimFrame* frame) {
    static const char* const names[3] = {"y", "u", "v"};
    nlohmann::json j;
    for (int p = 0; p < frame->planes; ++p) j[names[p]] = number(frame->plane[p]);
    j["all"] = number(frame->all);
    j["all_db"] = number(ssimDecibels(frame->all));
    return j;
}

nlohmann::json psnrSummaryJson(const PsnrTotals* t) {
    static const char* const names[3] = {"y", "u", "v"};
    nlohmann::json j;
    const double frames = double(t->frames);
    uint64_t squares = 0;
    int64_t samples = 0;
    for (int p = 0; p < t->planes; ++p) {
        const double n = double(t->samples[p]) * frames;
        j[names[p]] = number(psnrDecibels(n > 0 ? double(t->squares[p]) / n : 0.0, t->depth));
        squares += t->squares[p];
        samples += t->samples[p];
    }
    j["average"] = number(psnrDecibels(double(squares) / (double(samples) * frames), t->depth));
    j["min"] = number(psnrDecibels(t->worstMse, t->depth));
    j["max"] = number(psnrDecibels(t->bestMse, t->depth));
    return j;
}

// The mean over frames and its dB figure, from the sum as the summary line takes it.
nlohmann::json ssimMeanJson(double sum, int64_t frames) {
    const double n = double(frames);
    nlohmann::json j;
    j["ssim"] = number(sum / n);
    j["db"] = number(n - sum > 0 ? 10.0 * log10(n / (n - sum)) : INFINITY);
    return j;
}

nlohmann::json ssimSummaryJson(const SsimTotals* t) {
    static const char* const names[3] = {"y", "u", "v"};
    nlohmann::json j;
    for (int p = 0; p < t->planes; ++p) j[names[p]] = ssimMeanJson(t->plane[p], t->frames);
    j["all"] = ssimMeanJson(t->all, t->frames);
    return j;
}

struct Run {
    const SnapJob* job;
    Source* input;
    Source* other;
    FrameGeometry geometry;
    int64_t frameBytes;
    int depth;
    const PsnrSums* sums;
    const SsimRows* rows;
    std::vector<FrameResult> results;
};

void measureFrame(Run* run, const Batch* batch, int64_t i, std::vector<uint8_t> scratch[2]) {
    const int64_t bytes = run->frameBytes;
    MetricFrame a, b;
    metricFrameOf(&run->geometry, batch->input.get() + i * bytes, &scratch[0], &a);
    metricFrameOf(&run->geometry, batch->other.get() + i * bytes, &scratch[1], &b);
    FrameResult* result = &run->results[size_t(batch->first + i)];
    result->ok = 1;
    if (run->job->metrics & METRIC_PSNR) result->ok &= psnrFrameWith(run->sums, &a, &b, &result->psnr);
    if (run->job->metrics & METRIC_SSIM) result->ok &= ssimFrameWith(run->rows, &a, &b, &result->ssim);
}

void readBatch(Run* run, Batch* batch, int64_t first, int64_t count) {
    const size_t size = size_t(count * run->frameBytes);
    batch->first = first;
    batch->count = count;
    if (batch->capacity < size) {
        batch->input.reset(new uint8_t[size]);
        batch->other.reset(new uint8_t[size]);
        batch->capacity = size;
    }
    batch->readOk = 1;
    for (int64_t i = 0; i < count && batch->readOk; ++i) {
        uint8_t* a = batch->input.get() + i * run->frameBytes;
        uint8_t* b = batch->other.get() + i * run->frameBytes;
        batch->readOk = readSourceFrame(run->input, first + i, a, &batch->error) &&
                        readSourceFrame(run->other, first + i, b, &batch->error);
    }
}

// Measures every frame: each batch is measured by the workers while the next
// one is read here.
int measureAll(Run* run, int64_t frames) {
    unsigned cores = std::thread::hardware_concurrency();
    if (cores < 1) cores = 1;
    if (cores > 16) cores = 16;
    // A frame for every second core, measured while this thread reads the
    // next batch: reading (the kernel's copy out of the page cache) is most
    // of the work, and it is cheapest into buffers small enough to stay in
    // the cache from batch to batch.
    const int64_t perBatch = cores < 4 ? 1 : int64_t{cores / 2};
    Batch batches[2] = {};
    readBatch(run, &batches[0], 0, frames < perBatch ? frames : perBatch);
    for (int k = 0;; k ^= 1) {
        Batch* now = &batches[k];
        if (!now->readOk) return !snapFail("%s", now->error.c_str());
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
        const int64_t after = now->first + now->count;
        if (after < frames) {
            const int64_t count = frames - after < perBatch ? frames - after : perBatch;
            readBatch(run, &batches[k ^ 1], after, count);
        }
        if (workers.empty()) work();  // no thread to be had: measure here
        for (std::thread& worker : workers) worker.join();
        for (int64_t i = 0; i < now->count; ++i)
            if (!run->results[size_t(now->first + i)].ok) return !snapFail("out of memory");
        if (after >= frames) return 1;
    }
}

// Says when a source ends in a partial frame, which is left out.
void notePartial(const Source* s) {
    if (s->partialBytes > 0)
        snapNote("%s ends in a partial frame of %" PRId64 " bytes, left out", quotedName(s->path).c_str(),
                 s->partialBytes);
}

// Writes `text` whole to `path` ("-": standard output) through the write path.
int writeDocument(const char* path, const std::string& text, const OutputGuard* guard, const char* option) {
    if (!strcmp(path, "-")) {
        if (fwrite(text.data(), 1, text.size(), stdout) != text.size() || fflush(stdout) != 0)
            return !snapFail("cannot write to standard output: %s", strerror(errno ? errno : EIO));
        return 1;
    }
    std::string error;
    if (!writeWholeOutput(path, text.data(), text.size(), guard, &error))
        return !snapFail("%s: %s", option, error.c_str());
    return 1;
}

std::string plotOf(const Run* run, int64_t frames) {
    std::vector<double> y, average, ssim;
    const bool psnr = run->job->metrics & METRIC_PSNR, structural = run->job->metrics & METRIC_SSIM;
    for (int64_t i = 0; i < frames; ++i) {
        const FrameResult* r = &run->results[size_t(i)];
        if (psnr) {
            y.push_back(psnrDecibels(psnrPlaneMse(&r->psnr, 0), run->depth));
            average.push_back(psnrDecibels(psnrFrameMse(&r->psnr), run->depth));
        }
        if (structural) ssim.push_back(ssimDecibels(r->ssim.all));
    }
    const std::string title = shownName(run->job->input) + " against " + shownName(run->job->other);
    PlotInput input = {frames, 1, psnr ? y.data() : nullptr, psnr ? average.data() : nullptr,
                       structural ? ssim.data() : nullptr, title.c_str()};
    std::string svg;
    if (!buildPlotSvg(&input, &svg)) svg.clear();
    return svg;
}

} // namespace

int openSourcePair(const SnapJob* job, Source* input, Source* other) {
    const GeometryRequest asked = {job->sizeGiven, job->width, job->height, job->format};
    std::string error;
    const bool inputOpen = openSource(input, job->input, &asked, &error);
    if (!inputOpen && !input->geometryUnknown) return snapFail("%s", error.c_str()) == 0;
    // A file that gives no geometry takes the other's.
    if (!openSource(other, job->other, &asked, &error)) {
        if (!other->geometryUnknown || !inputOpen) {
            if (inputOpen) closeSource(input);
            return snapFail(inputOpen ? "%s" : "no --size given and neither file gives a size (%s)",
                            error.c_str()) == 0;
        }
        const GeometryRequest from = {1, input->geometry.width, input->geometry.height, input->geometry.format};
        if (!openSource(other, job->other, &from, &error)) {
            closeSource(input);
            return snapFail("%s", error.c_str()) == 0;
        }
    } else if (!inputOpen) {
        const GeometryRequest from = {1, other->geometry.width, other->geometry.height, other->geometry.format};
        if (!openSource(input, job->input, &from, &error)) {
            closeSource(other);
            return snapFail("%s", error.c_str()) == 0;
        }
    }
    const FrameGeometry* g = &input->geometry;
    const FrameGeometry* h = &other->geometry;
    const bool layoutsDiffer = g->rounding != h->rounding && roundingChangesLayout(g);
    if (g->width != h->width || g->height != h->height || g->format != h->format || layoutsDiffer) {
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

int runMeasureCommand(const SnapJob* job) {
    Source a, b;
    if (!openSourcePair(job, &a, &b)) return 2;
    Run run = {};
    run.job = job;
    run.input = &a;
    run.other = &b;
    run.geometry = a.geometry;
    run.frameBytes = a.frameBytes;
    run.depth = a.geometry.format->depth;
    run.sums = fastestPsnrSums();
    run.rows = fastestSsimRows();
    auto closeInputs = [](Run* r) {
        if (r->input) closeSource(r->input);
        if (r->other) closeSource(r->other);
        r->input = r->other = nullptr;
    };
    // FFmpeg's figure for a plane without one window is meaningless; refuse rather than invent one.
    if ((job->metrics & METRIC_SSIM) && ssimWindows(a.geometry.width, a.geometry.height) == 0) {
        closeInputs(&run);
        return snapFail("SSIM needs a picture of at least 8x8, not %dx%d", a.geometry.width, a.geometry.height);
    }
    for (const Source* s : {&a, &b}) {
        notePartial(s);
        if (s->frameCount == 0) {
            closeInputs(&run);
            return snapFail("%s holds no whole %dx%d %s frame", quotedName(s->path).c_str(), s->geometry.width,
                            s->geometry.height, shownFormatName(s->geometry.format));
        }
    }
    const int64_t inputFrames = a.frameCount, otherFrames = b.frameCount;
    const std::string input = quotedName(job->input), other = quotedName(job->other);
    const int64_t frames = inputFrames < otherFrames ? inputFrames : otherFrames;
    if (inputFrames != otherFrames)
        snapNote("%s holds %" PRId64 " frame%s, %s %" PRId64 " frame%s: comparing the first %" PRId64,
                 input.c_str(), inputFrames, inputFrames == 1 ? "" : "s", other.c_str(), otherFrames,
                 otherFrames == 1 ? "" : "s", frames);

    OutputGuard guard;
    clearGuard(&guard);
    guardFile(&guard, job->input, "INPUT");
    guardFile(&guard, job->other, "OTHER");
    std::string error;
    for (const char* path : {job->jsonPath, job->plotPath})
        if (path && strcmp(path, "-") != 0 && !checkOutputPath(path, &guard, &error)) {
            closeInputs(&run);
            return snapFail("%s", error.c_str());
        }
    Output stats = {}, ssimStats = {};
    if (!openRunOutput(&stats, job->statsPath, &guard, "--stats", &error) ||
        !openRunOutput(&ssimStats, job->ssimStatsPath, &guard, "--ssim-stats", &error)) {
        abandonRunOutput(&stats);
        closeInputs(&run);
        return snapFail("%s", error.c_str());
    }

    int ok = 1;
    try {
        run.results.resize(size_t(frames));
    } catch (const std::bad_alloc&) {
        ok = !snapFail("out of memory");
    }
    if (ok) ok = measureAll(&run, frames);
    closeInputs(&run);
    const int depth = run.depth;

    PsnrTotals psnrTotals;
    SsimTotals ssimTotals;
    clearPsnrTotals(&psnrTotals);
    clearSsimTotals(&ssimTotals);
    int64_t belowPsnr = 0, belowSsim = 0;
    nlohmann::json perFrame = nlohmann::json::array();
    const bool wantJson = job->jsonPath != nullptr;
    for (int64_t i = 0; ok && i < frames; ++i) {
        const FrameResult* r = &run.results[size_t(i)];
        char line[512];
        nlohmann::json entry;
        if (wantJson) entry["n"] = i + 1;
        if (job->metrics & METRIC_PSNR) {
            formatPsnrFrameLine(line, sizeof line, i + 1, &r->psnr);
            putLine(&stats, line);
            addPsnrFrame(&psnrTotals, &r->psnr);
            const double mse = psnrFrameMse(&r->psnr);
            if (job->failBelowSet && mse > 0 && psnrDecibels(mse, depth) < job->failBelow) ++belowPsnr;
            if (wantJson) entry["psnr"] = psnrFrameJson(&r->psnr);
        }
        if (job->metrics & METRIC_SSIM) {
            formatSsimFrameLine(line, sizeof line, i + 1, &r->ssim);
            putLine(&ssimStats, line);
            addSsimFrame(&ssimTotals, &r->ssim);
            if (job->failBelowSsimSet && r->ssim.all < job->failBelowSsim) ++belowSsim;
            if (wantJson) entry["ssim"] = ssimFrameJson(&r->ssim);
        }
        if (wantJson) perFrame.push_back(std::move(entry));
    }
    for (Output* out : {&stats, &ssimStats}) {
        if (ok && out->failed) ok = !snapFail("cannot write to %s: %s",
                                              out->toFile ? quotedName(out->path).c_str() : "standard output",
                                              strerror(errno ? errno : EIO));
        if (ok && !finishRunOutput(out, &error)) ok = !snapFail("%s", error.c_str());
        abandonRunOutput(out);
    }
    if (!ok) return 2;

    const int64_t missing = (inputFrames > otherFrames ? inputFrames : otherFrames) - frames;
    const bool gated = job->failBelowSet || job->failBelowSsimSet;
    const bool failed = belowPsnr > 0 || belowSsim > 0 || (gated && missing > 0);
    const bool jsonToStandardOutput = job->jsonPath && !strcmp(job->jsonPath, "-");

    if (!jsonToStandardOutput) {
        char line[512];
        std::string text;
        if (job->metrics & METRIC_PSNR) {
            formatPsnrSummary(line, sizeof line, &psnrTotals);
            text += line;
        }
        if (job->metrics & METRIC_SSIM) {
            formatSsimSummary(line, sizeof line, &ssimTotals);
            text += line;
        }
        if (fputs(text.c_str(), stdout) == EOF || fflush(stdout) != 0)
            return snapFail("cannot write to standard output: %s", strerror(errno ? errno : EIO));
    }
    if (job->plotPath) {
        const std::string svg = plotOf(&run, frames);
        if (svg.empty()) return snapFail("--plot: out of memory");
        if (!writeDocument(job->plotPath, svg, &guard, "--plot")) return 2;
    }
    if (wantJson) {
        nlohmann::json j;
        j["input"] = job->input;
        j["other"] = job->other;
        j["width"] = run.geometry.width;
        j["height"] = run.geometry.height;
        j["format"] = shownFormatName(run.geometry.format);
        j["depth"] = depth;
        j["input_frames"] = inputFrames;
        j["other_frames"] = otherFrames;
        j["frames_compared"] = frames;
        j["frames"] = std::move(perFrame);
        if (job->metrics & METRIC_PSNR) j["psnr"] = psnrSummaryJson(&psnrTotals);
        if (job->metrics & METRIC_SSIM) j["ssim"] = ssimSummaryJson(&ssimTotals);
        nlohmann::json gate;
        gate["fail_below"] = job->failBelowSet ? nlohmann::json(job->failBelow) : nlohmann::json(nullptr);
        gate["fail_below_ssim"] =
            job->failBelowSsimSet ? nlohmann::json(job->failBelowSsim) : nlohmann::json(nullptr);
        gate["frames_below_psnr"] = belowPsnr;
        gate["frames_below_ssim"] = belowSsim;
        gate["frames_missing"] = missing;
        gate["passed"] = !failed;
        j["gate"] = gate;
        j["exit_status"] = failed ? 1 : 0;
        // Names that are not UTF-8 are kept readable rather than refused.
        const std::string text = j.dump(1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
        if (!writeDocument(job->jsonPath, text, &guard, "--json")) return 2;
    }
    if (gated && missing > 0)
        snapNote("the gate fails: %" PRId64 " frame%s missing from %s", missing, missing == 1 ? " is" : "s are",
                 inputFrames < otherFrames ? input.c_str() : other.c_str());
    return failed ? 1 : 0;
}
