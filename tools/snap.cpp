#include "tools/snap.h"

#include <cerrno>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/compare.h"
#include "tools/export.h"
#include "tools/info.h"
#include "tools/name_guess.h"
#include "tools/sample.h"
#include "tools/snap_args.h"
#include "tools/tool_files.h"
#include "video/video_file.h"
#include "version.h"

namespace {

int makeSample(const SnapJob* job) {
    if (!writeSampleClip(job->output, job->width, job->height, job->format, job->sampleFrames))
        return snapFail("cannot write the sample clip to '%s'", job->output);
    return 0;
}

// The size of the file at `path`, or -1 after saying why it cannot be read.
int64_t readableFileSize(const char* path) {
    FILE* file = openToolFile(path, "rb");
    if (!file) {
        snapFail("cannot read '%s': %s", path, strerror(errno));
        return -1;
    }
    const int64_t size = toolFileSize(file);
    fclose(file);
    if (size < 0) snapFail("cannot find the size of '%s'", path);
    return size;
}

int compare(const SnapJob* job) {
    const int64_t inputSize = readableFileSize(job->input);
    if (inputSize < 0) return 2;
    const int64_t otherSize = readableFileSize(job->other);
    if (otherSize < 0) return 2;
    // The geometry from the flags, else INPUT's name, else OTHER's.
    GeometryRequest request = {job->sizeGiven, job->width, job->height, job->format};
    Geometry geometry;
    char why[512];
    int resolved = resolveGeometry(&request, job->input, inputSize, &geometry, why, sizeof why);
    if (resolved == GEOMETRY_NO_SIZE)
        resolved = resolveGeometry(&request, job->other, otherSize, &geometry, why, sizeof why);
    if (resolved == GEOMETRY_NO_SIZE) return snapFail("no --size given and neither name holds a size");
    if (resolved != GEOMETRY_RESOLVED) return snapFail("%s", why);
    if (geometryFrameBytes(geometry.width, geometry.height, geometry.format) < 0)
        return snapFail("a %dx%d %s frame cannot be held in memory", geometry.width, geometry.height,
                    geometry.format->name);
    CompareJob compareJob = {job->input,    job->other,     geometry.width,   geometry.height,
                             geometry.format, job->statsPath, job->failBelowSet, job->failBelow};
    return runCompare(&compareJob);
}

int exportPictures(const SnapJob* job) {
    if (!job->outputName.hasField && !strcmp(job->output, job->input))
        return snapFail("OUTPUT is INPUT: '%s' would be overwritten", job->input);
    FILE* file = openToolFile(job->input, "rb");
    if (!file) return snapFail("cannot read '%s': %s", job->input, strerror(errno));
    const int64_t size = toolFileSize(file);
    if (size < 0) {
        fclose(file);
        return snapFail("cannot find the size of '%s'", job->input);
    }

    GeometryRequest request = {job->sizeGiven, job->width, job->height, job->format};
    Geometry geometry;
    char why[512];
    const int resolved = resolveGeometry(&request, job->input, size, &geometry, why, sizeof why);
    if (resolved != GEOMETRY_RESOLVED) {
        fclose(file);
        return snapFail("%s", why);
    }
    const int64_t frameBytes = geometryFrameBytes(geometry.width, geometry.height, geometry.format);
    VideoFile video;
    clearVideo(&video);
    // The record owns the stream from here, whatever happens.
    if (frameBytes < 0 || !openVideoStream(&video, file, geometry.width, geometry.height,
                                           geometry.format->code, 40))
        return snapFail("a %dx%d %s frame cannot be held in memory", geometry.width, geometry.height,
                    geometry.format->name);

    const int64_t whole = size / frameBytes;
    const char* input = job->input;
    int64_t first = job->frames.first, last = job->frames.last;
    switch (job->frames.kind) {
    case FRAMES_ONE:
        if (first >= whole) {
            closeVideo(&video);
            return snapFail("frame %" PRId64 " is past the end: '%s' holds %" PRId64 " whole frames",
                        first, input, whole);
        }
        break;
    case FRAMES_LAST:
    case FRAMES_ALL:
        if (whole == 0) {
            closeVideo(&video);
            return snapFail("'%s' holds no whole %dx%d frame", input, geometry.width, geometry.height);
        }
        if (job->frames.kind == FRAMES_LAST) first = whole - 1;
        last = whole - 1;
        break;
    default:
        if (first >= whole) {
            closeVideo(&video);
            return snapFail("the range starts at frame %" PRId64 ", past the end: '%s' holds %" PRId64
                        " whole frames",
                        first, input, whole);
        }
        break;
    }
    const bool cut = last >= whole;
    if (cut) last = whole - 1;

    int64_t written = 0;
    char error[512];
    const int ok = exportFrames(&video, job, first, last, &written, error, sizeof error);
    closeVideo(&video);
    if (!ok) {
        if (written > 0)
            return snapFail("%s (%" PRId64 " other %s written)", error, written,
                        written == 1 ? "picture" : "pictures");
        return snapFail("%s", error);
    }
    if (cut)
        fprintf(stderr,
                "corvane-snap: '%s' ends after frame %" PRId64 ": wrote %" PRId64
                " %s, frames %" PRId64 " to %" PRId64 "\n",
                input, whole - 1, written, written == 1 ? "picture" : "pictures", first, last);
    return 0;
}

} // namespace

int snapMain(int argc, char** argv) {
    SnapJob job;
    char error[512];
    if (!parseSnapArguments(argc, argv, &job, error, sizeof error)) return snapFail("%s", error);
    switch (job.mode) {
    case SNAP_HELP: fputs(snapUsage, stdout); return 0;
    case SNAP_VERSION: puts("corvane-snap " CORVANE_VERSION_TEXT); return 0;
    case SNAP_MAKE_SAMPLE: return makeSample(&job);
    case SNAP_INFO: return runInfo(&job);
    case SNAP_COMPARE: return compare(&job);
    default: return exportPictures(&job);
    }
}
