#include "snap/snap.h"

#include <cerrno>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <system_error>

#include "snap/compare.h"
#include "snap/diff.h"
#include "snap/measure.h"
#include "snap/export.h"
#include "snap/files.h"
#include "snap/info.h"
#include "snap/name_guess.h"
#include "snap/source/sample.h"
#include "snap/options.h"
#include "snap/messages.h"
#include "video/video_file.h"
#include "version.h"

namespace {

int makeSample(const SnapJob* job) {
    std::string error;
    if (!writeSampleClip(job->output, job->width, job->height, job->format, job->sampleFrames, &error))
        return snapFail("%s", error.c_str());
    return 0;
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
    const ChromaFormat* format;
};

std::string claimText(const Claim* claim) {
    char text[64] = "";
    if (claim->width) snprintf(text, sizeof text, "%dx%d", claim->width, claim->height);
    std::string result = text;
    if (claim->format) result += (result.empty() ? "" : " ") + std::string(claim->format->name);
    return result;
}

// Nonzero when the flags and both names agree on what they say; otherwise one
// line naming two that differ.
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
            const bool formats = claims[i].format && claims[j].format && claims[i].format != claims[j].format;
            if (sizes || formats)
                return !snapFail("the geometries differ: %s gives %s, %s gives %s", claims[i].source.c_str(),
                                 claimText(&claims[i]).c_str(), claims[j].source.c_str(),
                                 claimText(&claims[j]).c_str());
        }
    return 1;
}

int compare(const SnapJob* job) {
    const int64_t inputSize = readableFileSize(job->input);
    if (inputSize < 0) return 2;
    const int64_t otherSize = readableFileSize(job->other);
    if (otherSize < 0) return 2;
    if (!geometriesAgree(job)) return 2;
    // The geometry from the flags, else INPUT's name, else OTHER's.
    GeometryRequest request = {job->sizeGiven, job->width, job->height, job->format};
    Geometry geometry;
    char why[2048];
    int resolved = resolveGeometry(&request, job->input, inputSize, &geometry, why, sizeof why);
    if (resolved == GEOMETRY_NO_SIZE)
        resolved = resolveGeometry(&request, job->other, otherSize, &geometry, why, sizeof why);
    if (resolved == GEOMETRY_NO_SIZE) return snapFail("no --size given and neither name holds a size");
    if (resolved != GEOMETRY_RESOLVED) return snapFail("%s", why);
    if (geometryFrameBytes(geometry.width, geometry.height, geometry.format) < 0)
        return snapFail("a %dx%d %s frame cannot be held in memory", geometry.width, geometry.height,
                    geometry.format->name);
    // Today's PSNR forms keep their own reader, and so their output byte for byte.
    if (job->metrics != METRIC_PSNR || job->ssimStatsPath || job->jsonPath || job->plotPath) {
        MeasureJob measureJob = {job->input,        job->other,       geometry.width, geometry.height,
                                 geometry.format,   job->metrics,     job->statsPath, job->ssimStatsPath,
                                 job->jsonPath,     job->plotPath,    job->failBelowSet, job->failBelow,
                                 job->failBelowSsimSet, job->failBelowSsim};
        return runMeasure(&measureJob);
    }
    CompareJob compareJob = {job->input,    job->other,     geometry.width,   geometry.height,
                             geometry.format, job->statsPath, job->failBelowSet, job->failBelow};
    return runCompare(&compareJob);
}

// Every name the frames give must be writable and none of them INPUT.
int checkOutputNames(const SnapJob* job, const OutputGuard* guard, int64_t first, int64_t last) {
    std::string error;
    for (int64_t frame = first; frame <= last; ++frame) {
        const std::string name = outputNameFor(&job->outputName, job->output, frame);
        if (!checkOutputPath(name.c_str(), guard, &error)) return !snapFail("%s", error.c_str());
        if (!job->outputName.hasField) break;
    }
    return 1;
}

int exportPictures(const SnapJob* job) {
    std::string error;
    FILE* file = openInputFile(job->input, &error);
    if (!file) return snapFail("%s", error.c_str());
    const int64_t size = toolFileSize(file);
    const std::string input = quotedName(job->input);
    if (size < 0) {
        fclose(file);
        return snapFail("cannot find the size of %s", input.c_str());
    }

    GeometryRequest request = {job->sizeGiven, job->width, job->height, job->format};
    Geometry geometry;
    char why[2048];
    const int resolved = resolveGeometry(&request, job->input, size, &geometry, why, sizeof why);
    if (resolved != GEOMETRY_RESOLVED) {
        fclose(file);
        return snapFail("%s", why);
    }
    // Sizes are checked before anything is read or held.
    const int64_t frameBytes = geometryFrameBytes(geometry.width, geometry.height, geometry.format);
    const int64_t pictureWidth = exportPictureWidth(geometry.width, geometry.format, job->separate);
    if (frameBytes < 0) {
        fclose(file);
        return snapFail("a %dx%d %s frame cannot be held in memory", geometry.width, geometry.height,
                        geometry.format->name);
    }
    if (!pictureFits(pictureWidth, geometry.height, job->separate, job->pictureType)) {
        fclose(file);
        return snapFail("a %dx%d %s frame makes a %" PRId64 "x%d picture, too large for %s", geometry.width,
                        geometry.height, geometry.format->name, pictureWidth, geometry.height,
                        job->pictureType == PICTURE_PNG ? "PNG" : "BMP");
    }

    const int64_t whole = size / frameBytes;
    int64_t first = job->frames.first, last = job->frames.last;
    switch (job->frames.kind) {
    case FRAMES_ONE:
        if (first >= whole) {
            fclose(file);
            return snapFail("frame %" PRId64 " is past the end: %s holds %" PRId64 " whole frames", first,
                            input.c_str(), whole);
        }
        break;
    case FRAMES_LAST:
    case FRAMES_ALL:
        if (whole == 0) {
            fclose(file);
            return snapFail("%s holds no whole %dx%d frame", input.c_str(), geometry.width, geometry.height);
        }
        if (job->frames.kind == FRAMES_LAST) first = whole - 1;
        last = whole - 1;
        break;
    default:
        if (first >= whole) {
            fclose(file);
            return snapFail("the range starts at frame %" PRId64 ", past the end: %s holds %" PRId64
                            " whole frames",
                            first, input.c_str(), whole);
        }
        break;
    }
    const bool cut = last >= whole;
    if (cut) last = whole - 1;

    OutputGuard guard;
    clearGuard(&guard);
    guardFile(&guard, job->input, "INPUT");
    if (!checkOutputNames(job, &guard, first, last)) {
        fclose(file);
        return 2;
    }
    VideoFile video;
    clearVideo(&video);
    // The record owns the stream from here, whatever happens.
    if (!openVideoStream(&video, file, geometry.width, geometry.height, geometry.format->code, 40))
        return snapFail("a %dx%d %s frame cannot be held in memory", geometry.width, geometry.height,
                    geometry.format->name);
    const bool several = job->frames.kind == FRAMES_RANGE || job->frames.kind == FRAMES_ALL;
    if (size % frameBytes != 0 && (several || job->sizeGiven))
        snapNote("%s ends in a partial frame of %" PRId64 " bytes, left out", input.c_str(), size % frameBytes);

    int64_t written = 0;
    const int ok = exportFrames(&video, job, &guard, first, last, &written, &error);
    closeVideo(&video);
    if (!ok) {
        if (written > 0)
            return snapFail("%s (%" PRId64 " other %s written)", error.c_str(), written,
                        written == 1 ? "picture" : "pictures");
        return snapFail("%s", error.c_str());
    }
    if (cut)
        snapNote("%s ends after frame %" PRId64 ": wrote %" PRId64 " %s, frames %" PRId64 " to %" PRId64,
                 input.c_str(), whole - 1, written, written == 1 ? "picture" : "pictures", first, last);
    return 0;
}

int runJob(const SnapJob* job) {
    switch (job->mode) {
    case SNAP_HELP: fputs(snapUsage, stdout); return 0;
    case SNAP_VERSION: puts("corvane-snap " CORVANE_VERSION_TEXT); return 0;
    case SNAP_MAKE_SAMPLE: return makeSample(job);
    case SNAP_INFO: return runInfo(job);
    case SNAP_COMPARE: return compare(job);
    case SNAP_DIFF: return geometriesAgree(job) ? runDiff(job) : 2;
    default: return exportPictures(job);
    }
}

// The job run with interruptions guarded.
int runGuarded(int argc, char** argv) {
    SnapJob job;
    char error[16384];
    if (!parseSnapArguments(argc, argv, &job, error, sizeof error)) return snapFail("%s", error);
    guardRun();
    const int status = runJob(&job);
    endGuardedRun();
    return status;
}

} // namespace

int snapMain(int argc, char** argv) {
    int status;
    // Nothing leaves this call by an exception: memory that runs out while
    // frames are held, or a thread the system will not start, is one line
    // and status 2, with no unfinished output left.
    try {
        status = runGuarded(argc, argv);
    } catch (const std::bad_alloc&) {
        endGuardedRun();
        removeUnfinishedOutputs();
        status = snapFail("out of memory");
    } catch (const std::system_error& failure) {
        endGuardedRun();
        removeUnfinishedOutputs();
        status = snapFail("%s", failure.what());
    }
    // What went to standard output must have arrived, whatever the mode.
    errno = 0;
    if ((fflush(stdout) != 0 || ferror(stdout)) && status != 2) {
        status = snapFail("cannot write to standard output: %s", strerror(errno ? errno : EIO));
        clearerr(stdout);
    }
    return status;
}
