// corvane-snap --diff: for each frame asked, Y, U and V of 128 + G x (a - b)
// in grey, laid out as --separate lays out the format, written by the picture
// writers through the one write path.
#include "snap/modes/diff.h"

#include <cinttypes>
#include <cstring>
#include <string>
#include <vector>

#include "snap/modes/compare.h"
#include "snap/io/files.h"
#include "snap/io/frames.h"
#include "snap/modes/compare.h"
#include "snap/io/messages.h"
#include "snap/io/progress.h"
#include "snap/metric/metric_planes.h"
#include "snap/modes/pairing.h"
#include "snap/writer/writer.h"

void diffPlane(const uint8_t* a, const uint8_t* b, int64_t samples, int depth, int gain, uint8_t* out) {
    const int shift = depth - 8;
    for (int64_t i = 0; i < samples; ++i) {
        int64_t d;
        if (depth == 8) {
            d = int64_t{a[i]} - b[i];
        } else {
            uint16_t x, y;
            memcpy(&x, a + 2 * i, 2);
            memcpy(&y, b + 2 * i, 2);
            d = int64_t{x} - y;
        }
        int64_t scaled = d * gain;
        if (shift > 0) {
            const int64_t half = int64_t{1} << (shift - 1);
            scaled = scaled >= 0 ? (scaled + half) >> shift : -((-scaled + half) >> shift);
        }
        const int64_t v = 128 + scaled;
        out[i] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
    }
}

namespace {

// The 8-bit planar format with the chroma of `format` (grey stays grey).
const FrameFormat* eightBitPlanar(const FrameFormat* format) {
    return eightBitFormatOf(format);
}

struct DiffRun {
    FramePairing pairing; // pair n: the frames --offset puts side by side
    const SnapJob* job;
    Source a, b;
    WriterContext context;   // of the 8-bit difference frame
    OutputGuard guard;
};

// Frame n of both inputs: 1 read, 0 either ended first, -1 an error.
int readDiffPair(DiffRun* run, int64_t n, std::vector<uint8_t> frames[2], std::string* error) {
    const int got = readPairFrame(&run->pairing, 0, n, frames[0].data(), error);
    return got == 1 ? readPairFrame(&run->pairing, 1, n, frames[1].data(), error) : got;
}

// Frame n's picture, of the pair in `frames`, written to its name. Nonzero on success.
int writeDiffFrame(DiffRun* run, int64_t n, std::vector<uint8_t> frames[2], std::vector<uint8_t> scratch[2],
                   std::vector<uint8_t>* difference, WriterOutput* out, std::string* error) {
    MetricFrame x, y;
    metricFrameOf(&run->a.geometry, frames[0].data(), &scratch[0], &x);
    metricFrameOf(&run->b.geometry, frames[1].data(), &scratch[1], &y);
    FramePlanes planes;
    framePlanes(&run->context.geometry, &planes);
    for (int p = 0; p < x.planes; ++p) {
        const MetricPlane* pa = &x.plane[p];
        const MetricPlane* pb = &y.plane[p];
        for (int32_t r = 0; r < pa->height; ++r)
            diffPlane(pa->data + r * pa->stride, pb->data + r * pb->stride, pa->width, x.depth, run->job->gain,
                      difference->data() + planes.offset[p] + r * planes.rowBytes[p]);
    }
    if (!run->job->writer->frame(&run->context, n, difference->data(), out, error)) return 0;
    const std::string name = outputNameFor(&run->job->outputName, run->job->output, n);
    std::string bytes = out->prefix;
    if (!bytes.empty()) bytes.append(reinterpret_cast<const char*>(out->bytes), out->size);
    const void* data = bytes.empty() ? static_cast<const void*>(out->bytes) : bytes.data();
    const size_t size = bytes.empty() ? out->size : bytes.size();
    return writeWholeOutput(name.c_str(), data, size, &run->guard, error);
}

// "both files hold", or what each holds and what they share.
std::string diffHolds(const DiffRun* run) {
    const SnapJob* job = run->job;
    if (run->a.frameCount == run->b.frameCount) return "both files hold";
    return quotedName(job->input) + " holds " + std::to_string(run->a.frameCount) + " and " + quotedName(job->other) +
           " " + std::to_string(run->b.frameCount) + " whole frames: they share";
}

// The frames asked within those both inputs hold; 0 after saying why none
// can be. A stream's count is known only at its end: until then the frames
// are taken as asked, and checked again once both have ended.
int chooseDiffFrames(DiffRun* run, int64_t* first, int64_t* last) {
    const SnapJob* job = run->job;
    const int64_t a = framesAfterOffset(&run->pairing, 0), b = framesAfterOffset(&run->pairing, 1);
    const bool known = a >= 0 && b >= 0, shifted = run->pairing.skip[0] || run->pairing.skip[1];
    const int64_t whole = !known ? -1 : a < b ? a : b;
    if (whole == 0 && (!run->a.frameCount || !run->b.frameCount))
        return !failNoWholeFrame(run->a.frameCount ? job->other : job->input, 0, 0, nullptr);
    if (whole == 0) return !snapFail("--offset leaves no frame to compare: the inputs hold %" PRId64 " and %" PRId64 " whole frames",
                                     run->a.frameCount, run->b.frameCount);
    if (!known && job->frames.kind == FRAMES_LAST) {
        *first = 0, *last = INT64_MAX;
        return 1;
    }
    const std::string holds = shifted ? "after the offset, the inputs share" : diffHolds(run);
    if (!chooseFrames(&job->frames, whole, holds.c_str(), first, last)) return 0;
    if (!known) return 1;
    if (!shifted) noteCommonFrames(job->input, run->a.frameCount, job->other, run->b.frameCount);
    if (job->frames.last > *last && job->frames.kind == FRAMES_RANGE)
        snapNote("%s %" PRId64 " whole frames: writing frames %" PRId64 " to %" PRId64, holds.c_str(), whole,
                 *first, *last);
    return 1;
}

// The difference frame's geometry and the frames asked; 0 after saying why not.
int prepareDiff(DiffRun* run, int64_t* first, int64_t* last) {
    const SnapJob* job = run->job;
    std::string error;
    run->context = WriterContext();
    run->context.geometry = run->a.geometry;
    run->context.geometry.format = eightBitPlanar(run->a.geometry.format);
    run->context.frameBytes = frameBytes(&run->context.geometry);
    run->context.separate = 1;
    if (!run->context.geometry.format || run->context.frameBytes < 0)
        return !snapFail("no difference picture can be made of %s frames", shownFormatName(run->a.geometry.format));
    if (!job->writer->check(&run->context, &error)) return !snapFail("%s", error.c_str());
    if (!chooseDiffFrames(run, first, last)) return 0;
    clearGuard(&run->guard);
    guardFile(&run->guard, job->input, "INPUT");
    guardFile(&run->guard, job->other, "OTHER");
    // All of a stream's frames: each name is checked as its picture is written.
    return *last == INT64_MAX || checkFrameOutputs(&job->outputName, job->output, &run->guard, *first, *last);
}

// Reads streams on to their ends, then checks the frames asked against the
// counts now known, as a file's are before anything is written.
int settleStreams(DiffRun* run, int64_t* first, int64_t* last) {
    std::string error;
    if (!readSourceToEnd(&run->a, &error) || !readSourceToEnd(&run->b, &error)) return !snapFail("%s", error.c_str());
    return chooseDiffFrames(run, first, last);
}

// Writes the pictures of frames first to last (of a stream's last frame,
// when last is asked of one); 0 after saying why one failed.
int writeDiffFrames(DiffRun* run, int64_t first, int64_t last) {
    std::vector<uint8_t> frames[2], scratch[2], difference, held[2];
    for (int k = 0; k < 2; ++k) frames[k].resize(size_t(k ? run->b.frameBytes : run->a.frameBytes));
    difference.assign(size_t(run->context.frameBytes), 128);
    const bool holdLast = run->job->frames.kind == FRAMES_LAST && last == INT64_MAX;
    WriterOutput out;
    std::string error;
    Progress progress;
    progressStart(&progress, "pictures", last == INT64_MAX ? -1 : last - first + 1);
    int64_t written = 0, n = first;
    for (int got; n <= last && (got = readDiffPair(run, n, frames, &error)) != 0; ++n) {
        if (got > 0 && holdLast) {
            held[0].swap(frames[0]), held[1].swap(frames[1]);
            frames[0].resize(held[0].size()), frames[1].resize(held[1].size());
            continue;
        }
        if (got < 0 || !writeDiffFrame(run, n, frames, scratch, &difference, &out, &error)) {
            progressEnd(&progress);
            return !failAfterWritten(error.c_str(), written);
        }
        progressStep(&progress, ++written);
    }
    progressEnd(&progress);
    if (holdLast && n > 0 && !writeDiffFrame(run, n - 1, held, scratch, &difference, &out, &error))
        return !snapFail("%s", error.c_str());
    return 1;
}

// Pairs the frames as --offset says, finding the offset first for auto.
int alignInputs(DiffRun* run) {
    startPairing(&run->pairing, &run->a, &run->b, run->job->offset);
    if (!run->job->offsetSearch) return 1;
    std::string note, error;
    if (!searchOffset(&run->pairing, run->job->offsetSearch, &note, &error)) return !snapFail("%s", error.c_str());
    snapNote("%s", note.c_str());
    return 1;
}

} // namespace

int runDiffCommand(const SnapJob* job) {
    if (!compareGeometriesAgree(job)) return 2;
    DiffRun run;
    run.job = job;
    if (!openSourcePair(job, &run.a, &run.b)) return 2;
    int64_t first = 0, last = 0;
    const bool streams = run.a.stream || run.b.stream;
    const int status = alignInputs(&run) && prepareDiff(&run, &first, &last) && writeDiffFrames(&run, first, last) &&
                               (!streams || settleStreams(&run, &first, &last))
                           ? 0
                           : 2;
    closeSource(&run.a);
    closeSource(&run.b);
    return status;
}
