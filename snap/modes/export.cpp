#include "snap/modes/export.h"

#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "snap/io/files.h"
#include "snap/io/frames.h"
#include "snap/io/messages.h"
#include "snap/io/output.h"
#include "snap/io/progress.h"
#include "snap/io/queue.h"
#include "snap/source/source.h"

namespace {

// One frame on its way: read on the reading thread, turned into the output's
// bytes on a worker, written by the worker (pictures) or, in frame order, by
// the collector (one output file for the run).
struct Slot {
    int64_t frame;
    bool made; // its bytes are made already (a light writer's, on the reading thread)
    std::vector<uint8_t> stored;
    WriterOutput out;
    bool ok;
    std::string failure;
    WorkQueue done;
};

struct Run {
    const SnapJob* job;
    bool perFrame;    // a file per frame; a picture to standard output is the run's one output
    WriterContext context;
    OutputGuard guard;
    Output output;    // the one output, a file or standard output; none per frame
    WorkQueue free, work, order;
    std::mutex lock;  // guards failedFrame and failure
    std::atomic<bool> failed{false};
    int64_t failedFrame = -1;
    std::string failure;
    std::atomic<int64_t> written{0};
    Progress progress;
    std::vector<uint8_t> held; // a stream's last frame, read before the pipeline starts
    std::string opening;       // the writer's header, held back until a frame follows it
    int64_t heldFrame = -1;
};

// Keeps the first failure in frame order, so that a failing run names the same frame every time.
void noteFailure(Run* run, int64_t frame, const std::string& failure) {
    std::lock_guard<std::mutex> hold(run->lock);
    if (!run->failed || frame < run->failedFrame) {
        run->failedFrame = frame;
        run->failure = failure;
    }
    run->failed = true;
}

void makeOnly(Run* run, Slot* slot) {
    slot->failure.clear();
    slot->ok = run->job->writer->frame(&run->context, slot->frame, slot->stored.data(), &slot->out, &slot->failure);
    slot->made = true;
}

void makeBytes(Run* run, Slot* slot) {
    if (!slot->made) makeOnly(run, slot);
    slot->made = false;
    if (!run->perFrame) {
        queuePut(&slot->done, slot);
        return;
    }
    const std::string name = outputNameFor(&run->job->outputName, run->job->output, slot->frame);
    std::string failure = "cannot encode " + quotedName(name.c_str()) + ": " + slot->failure;
    if (slot->ok && writeWholeOutput(name.c_str(), slot->out.bytes, slot->out.size, &run->guard, &failure))
        progressStep(&run->progress, ++run->written);
    else
        noteFailure(run, slot->frame, failure);
    queuePut(&run->free, slot);
}

void work(Run* run) {
    while (Slot* slot = static_cast<Slot*>(queueTake(&run->work))) makeBytes(run, slot);
}

// Writes the next slot in frame order to the one output.
void collectOne(Run* run, Slot* slot) {
    queueTake(&slot->done);
    if (!slot->ok) {
        noteFailure(run, slot->frame, slot->failure);
    } else if (!run->failed) {
        Output* out = &run->output;
        const bool opened = putBytes(out, run->opening.data(), run->opening.size());
        run->opening.clear();
        if (opened && putBytes(out, slot->out.prefix.data(), slot->out.prefix.size()) &&
            putBytes(out, slot->out.bytes, slot->out.size))
            progressStep(&run->progress, ++run->written);
        else
            noteFailure(run, slot->frame, outputFailure(out));
    }
    queuePut(&run->free, slot);
}

void collect(Run* run) {
    while (Slot* slot = static_cast<Slot*>(queueTake(&run->order))) collectOne(run, slot);
}

// Reads frames first to last through the pipeline. Nonzero when every one
// was read; the failures of writing are the run's.
int pump(Run* run, Source* source, int64_t first, int64_t last, bool inlineWork, bool inlineCollect) {
    for (int64_t frame = first; frame <= last && !run->failed; ++frame) {
        Slot* slot = static_cast<Slot*>(queueTake(&run->free));
        slot->frame = frame;
        std::string error;
        const int got = frame == run->heldFrame ? (slot->stored.swap(run->held), 1)
                                                : readSourceFrameOrEnd(source, frame, slot->stored.data(), &error);
        if (got != 1) {
            queuePut(&run->free, slot);
            if (got == 0) return 1; // a stream's end: which frames it held is settled after
            noteFailure(run, frame, error);
            return 0;
        }
        if (!run->perFrame && !inlineCollect) queuePut(&run->order, slot);
        // A light writer's bytes are made here, so that the worker only writes:
        // building a BMP and writing it then run side by side.
        if (!run->job->writer->heavy && !inlineWork) makeOnly(run, slot);
        if (inlineWork) makeBytes(run, slot);
        else queuePut(&run->work, slot);
        if (!run->perFrame && inlineCollect) collectOne(run, slot);
    }
    return 1;
}

// A stream's last frame: read on to its end, keeping only the latest whole
// frame. Nonzero when the stream was read; its count is then known.
int holdLastFrame(Run* run, Source* source) {
    std::vector<uint8_t> next(size_t(source->frameBytes));
    run->held.resize(next.size());
    std::string error;
    for (;;) {
        const int got = sourceNext(source, next.data(), &error);
        if (got < 0) return !snapFail("%s", error.c_str());
        if (got == 0) break;
        run->held.swap(next);
    }
    run->heldFrame = source->frameCount - 1;
    return 1;
}

// The frames asked for within the source's; 0 after saying why none can be.
// A stream's count is known only at its end: until then a range is taken as
// asked, and checked again once the stream has ended.
int chooseExportFrames(const SnapJob* job, const Source* source, int64_t* first, int64_t* last) {
    const bool toEnd = job->frames.kind == FRAMES_LAST || job->frames.kind == FRAMES_ALL;
    if (toEnd && source->frameCount == 0)
        return !failNoWholeFrame(job->input, source->geometry.width, source->geometry.height, nullptr);
    return chooseFrames(&job->frames, source->frameCount, (quotedName(job->input) + " holds").c_str(), first, last);
}

// The rate of the run: --rate, else the input's own, else the default.
int chooseRate(const SnapJob* job, const Source* source, WriterContext* context) {
    context->rateNumerator = SNAP_DEFAULT_RATE;
    context->rateDenominator = 1;
    if (job->rateText) {
        // Read, and refused if it was no rate, with the command line.
        context->rateNumerator = job->rateNumerator;
        context->rateDenominator = job->rateDenominator;
    } else if (source->rateNumerator > 0) {
        context->rateNumerator = source->rateNumerator;
        context->rateDenominator = source->rateDenominator;
    }
    return 1;
}

} // namespace

namespace {

// Starts the threads and runs the frames through them. Without threads (the
// system refuses them) the same work is done on this one.
int runPipeline(Run* run, Source* source, int64_t first, int64_t last) {
    // A stream's frames are not counted before its end, and never guessed.
    const int64_t total = source->stream ? -1 : last - first + 1;
    const bool perFrame = run->perFrame;
    const unsigned cores = std::thread::hardware_concurrency();
    // Encoding and hashing get every core; a BMP or a cut is a copy, and each
    // frame held more costs the system new pages (about a tenth of a BMP
    // export's time here), so one worker (pictures) or none (the collector
    // writes while this thread reads) and two frames held.
    const bool heavy = run->job->writer->heavy;
    int64_t workers = heavy ? (cores > 1 ? (cores < 8 ? cores : 8) : 1) : perFrame ? 1 : 0;
    if (total > 0 && workers > total) workers = total;
    // Frames held at once: enough to keep every thread busy, within 1 GiB
    // (or one frame, when a frame is larger; it is then made on this thread).
    int64_t slots = heavy ? workers + (perFrame ? 1 : 2) : 2;
    const int64_t fit = (int64_t{1} << 30) / (source->frameBytes > 0 ? source->frameBytes : 1);
    if (slots > fit) slots = fit < 1 ? 1 : fit;
    if (workers > slots - 1) workers = slots - 1;
    std::vector<Slot> slot(static_cast<size_t>(slots));
    for (Slot& s : slot) {
        s.stored.resize(static_cast<size_t>(source->frameBytes));
        queuePut(&run->free, &s);
    }
    std::thread collector;
    std::vector<std::thread> threads;
    try {
        if (!perFrame) collector = std::thread(collect, run);
        if (perFrame || collector.joinable())
            for (int64_t i = 0; i < workers; ++i) threads.emplace_back(work, run);
    } catch (const std::system_error&) {
    }
    // A listing on standard output keeps the terminal to itself, whatever it is.
    if (!isStandardStream(run->job->output)) progressStart(&run->progress, perFrame ? "pictures" : "frames", total);
    const int read = pump(run, source, first, last, threads.empty(), !perFrame && !collector.joinable());
    queueClose(&run->work);
    for (std::thread& thread : threads) thread.join();
    queueClose(&run->order);
    if (collector.joinable()) collector.join();
    progressEnd(&run->progress);
    return read && !run->failed;
}

// Opens the one output of a cut or listing; standard output for "-" (--framemd5).
int openOneOutput(Run* run) {
    run->output = Output();
    if (isStandardStream(run->job->output)) makeStandardOutputBinary();
    if (run->perFrame) return 1;
    std::string text, error;
    if (!openRunOutput(&run->output, run->job->output, &run->guard, nullptr, &error))
        return !snapFail("%s", error.c_str());
    if (run->job->writer->begin && !run->job->writer->begin(&run->context, &text, &error)) {
        abandonRunOutput(&run->output);
        return !snapFail("%s", error.c_str());
    }
    // Held until the first frame: a stream that turns out to hold none fails
    // as a file does, before anything reaches standard output.
    run->opening = text;
    return 1;
}

// Ends the run's one output: renamed into place when whole, else removed.
int closeOneOutput(Run* run, int ok) {
    if (!ok) {
        abandonRunOutput(&run->output);
        return 0;
    }
    std::string error;
    const bool opened = putBytes(&run->output, run->opening.data(), run->opening.size());
    if (!opened) error = outputFailure(&run->output);
    if (!opened || !finishRunOutput(&run->output, &error)) {
        abandonRunOutput(&run->output);
        return !snapFail("%s", error.c_str());
    }
    return 1;
}

void noteEnd(const SnapJob* job, const Source* source, int64_t first, int64_t last, int64_t written) {
    const std::string input = quotedName(job->input);
    const bool several = job->frames.kind == FRAMES_RANGE || job->frames.kind == FRAMES_ALL || !job->writer->perFrame;
    if (several || job->sizeGiven) notePartialFrame(job->input, source->partialBytes);
    if (job->frames.kind == FRAMES_RANGE && job->frames.last > last)
        snapNote("%s ends after frame %" PRId64 ": wrote %" PRId64 " %s, frames %" PRId64 " to %" PRId64,
                 input.c_str(), source->frameCount - 1, written,
                 !job->writer->perFrame ? (written == 1 ? "frame" : "frames") : written == 1 ? "picture" : "pictures",
                 first, last);
}

} // namespace

namespace {

// Checks and opens what the run writes; 0 after saying why not. Sizes are
// checked before anything is read or held.
int prepareExport(Run* run, Source* source, int64_t* first, int64_t* last) {
    const SnapJob* job = run->job;
    std::string error;
    if (job->writer->check && !job->writer->check(&run->context, &error)) return !snapFail("%s", error.c_str());
    if (source->stream && job->frames.kind == FRAMES_LAST && !holdLastFrame(run, source)) return 0;
    if (!chooseExportFrames(job, source, first, last) || !chooseRate(job, source, &run->context)) return 0;
    // All of a stream's pictures: each name is checked as it is written, the count being unknown.
    if (run->perFrame && *last != INT64_MAX &&
        !checkFrameOutputs(&job->outputName, job->output, &run->guard, *first, *last))
        return 0;
    return openOneOutput(run);
}

} // namespace

int runExport(const SnapJob* job) {
    Source source;
    std::string error;
    const GeometryRequest asked = {job->sizeGiven, job->width, job->height, job->format, job->formatWord};
    if (!openSource(&source, job->input, &asked, &error)) return snapFail("%s", error.c_str());
    Run run;
    run.job = job;
    run.perFrame = job->writer->perFrame && !isStandardStream(job->output);
    run.context = {source.geometry, source.frameBytes, job->separate, SNAP_DEFAULT_RATE, 1,
                   source.aspectNumerator, source.aspectDenominator, source.colour};
    clearGuard(&run.guard);
    guardFile(&run.guard, job->input, "INPUT");
    int64_t first = 0, last = 0;
    int status = 2;
    if (prepareExport(&run, &source, &first, &last)) {
        int ok = runPipeline(&run, &source, first, last);
        // A stream that ended: the frames asked are checked against the count now known.
        if (ok && source.stream && source.frameCount >= 0) ok = chooseExportFrames(job, &source, &first, &last);
        ok = closeOneOutput(&run, ok);
        if (!ok && run.failed) failAfterWritten(run.failure.c_str(), run.perFrame ? run.written.load() : 0);
        if (ok) noteEnd(job, &source, first, last, run.written);
        status = ok ? 0 : 2;
    }
    closeSource(&source);
    return status;
}
