// corvane-snap --diff: for each frame asked, Y, U and V of 128 + G x (a - b)
// in grey, laid out as --separate lays out the format, through the one write path.
#include "snap/diff.h"

#include <cinttypes>
#include <cstring>
#include <string>
#include <vector>

#include "render/colour.h"
#include "render/separate.h"
#include "snap/export.h"
#include "snap/files.h"
#include "snap/messages.h"
#include "snap/name_guess.h"
#include "snap/writer/picture_file.h"
#include "video/video_file.h"

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

// Y, U and V side by side at their own sizes, top-aligned, the rest black:
// the separate view of every format but 4:2:0.
void planesSideBySide(const VideoFile* video, uint8_t* pixels, int64_t stride) {
    const int64_t width = video->width, chromaWidth = video->chromaWidth;
    const uint8_t* luma = video->frameBuffer;
    const uint8_t* u = luma + width * video->height;
    const uint8_t* v = u + chromaWidth * video->chromaHeight;
    for (int64_t r = 0; r < video->height; ++r) {
        uint8_t* out = pixels + r * stride;
        memcpy(out, luma + r * width, size_t(width));
        if (r < video->chromaHeight) {
            memcpy(out + width, u + r * chromaWidth, size_t(chromaWidth));
            memcpy(out + width + chromaWidth, v + r * chromaWidth, size_t(chromaWidth));
        } else {
            memset(out + width, 0, size_t(2 * chromaWidth));
        }
    }
}

// The picture file of the difference frame held in `picture`.
int encodeDiff(const VideoFile* picture, int pictureType, std::vector<uint8_t>* file) {
    const int32_t width = int32_t(exportPictureWidth(picture->width, picture->format, 1));
    const int32_t height = picture->height;
    const int64_t stride = pictureStride(width, 8);
    std::vector<uint8_t> pixels(size_t(stride * height), 0);
    if (picture->format->code == 420) buildSeparatePicture(picture, pixels.data());
    else planesSideBySide(picture, pixels.data(), stride);
    if (pictureType == PICTURE_PNG) return encodePng(file, pixels.data(), width, height, stride, 1);
    const size_t header = bmpHeaderBytes(8);
    file->assign(header + pixels.size(), 0);
    uint8_t table[256 * 4];
    greyRamp(table);
    if (!writeBmpHeader(file->data(), width, height, 8, table)) return 0;
    for (int32_t r = 0; r < height; ++r)
        memcpy(file->data() + header + size_t((height - 1 - r) * stride), pixels.data() + r * stride,
               size_t(stride));
    return 1;
}

struct Pair {
    VideoFile a, b;
};

int openPair(const SnapJob* job, const Geometry* g, Pair* pair) {
    clearVideo(&pair->a);
    clearVideo(&pair->b);
    std::string error;
    for (VideoFile* video : {&pair->a, &pair->b}) {
        const char* path = video == &pair->a ? job->input : job->other;
        FILE* file = openInputFile(path, &error);
        if (!file) return !snapFail("%s", error.c_str());
        if (!openVideoStream(video, file, g->width, g->height, g->format->code, 40))
            return !snapFail("a %dx%d %s frame cannot be held in memory", g->width, g->height, g->format->name);
    }
    return 1;
}

// The frames asked, within the frames both files hold; 0 after saying why not.
int framesAsked(const SnapJob* job, int64_t whole, int64_t* first, int64_t* last) {
    *first = job->frames.first;
    *last = job->frames.last;
    if (job->frames.kind == FRAMES_LAST || job->frames.kind == FRAMES_ALL) {
        if (job->frames.kind == FRAMES_LAST) *first = whole - 1;
        *last = whole - 1;
    }
    if (*first >= whole)
        return !snapFail("frame %" PRId64 " is past the end: both files hold %" PRId64 " whole frames", *first,
                         whole);
    if (*last >= whole) {
        snapNote("both files hold %" PRId64 " whole frames: writing frames %" PRId64 " to %" PRId64, whole, *first,
                 whole - 1);
        *last = whole - 1;
    }
    return 1;
}

} // namespace

int runDiff(const SnapJob* job) {
    std::string error;
    int64_t sizes[2];
    const char* names[2] = {job->input, job->other};
    for (int f = 0; f < 2; ++f) {
        FILE* file = openInputFile(names[f], &error);
        if (!file) return snapFail("%s", error.c_str());
        sizes[f] = toolFileSize(file);
        fclose(file);
        if (sizes[f] < 0) return snapFail("cannot find the size of %s", quotedName(names[f]).c_str());
    }
    GeometryRequest request = {job->sizeGiven, job->width, job->height, job->format};
    Geometry geometry;
    char why[2048];
    int resolved = resolveGeometry(&request, job->input, sizes[0], &geometry, why, sizeof why);
    if (resolved == GEOMETRY_NO_SIZE)
        resolved = resolveGeometry(&request, job->other, sizes[1], &geometry, why, sizeof why);
    if (resolved == GEOMETRY_NO_SIZE) return snapFail("no --size given and neither name holds a size");
    if (resolved != GEOMETRY_RESOLVED) return snapFail("%s", why);
    const int64_t frameBytes = geometryFrameBytes(geometry.width, geometry.height, geometry.format);
    const int64_t width = exportPictureWidth(geometry.width, geometry.format, 1);
    if (frameBytes < 0 || !pictureFits(width, geometry.height, 1, job->pictureType))
        return snapFail("a %dx%d %s frame makes a picture too large to hold", geometry.width, geometry.height,
                        geometry.format->name);
    const int64_t whole = (sizes[0] < sizes[1] ? sizes[0] : sizes[1]) / frameBytes;
    if (whole == 0) return snapFail("%s holds no whole %dx%d %s frame",
                                    quotedName(sizes[0] < sizes[1] ? job->input : job->other).c_str(),
                                    geometry.width, geometry.height, geometry.format->name);
    int64_t first, last;
    if (!framesAsked(job, whole, &first, &last)) return 2;

    OutputGuard guard;
    clearGuard(&guard);
    guardFile(&guard, job->input, "INPUT");
    guardFile(&guard, job->other, "OTHER");
    for (int64_t n = first; n <= last; ++n) {
        const std::string name = outputNameFor(&job->outputName, job->output, n);
        if (!checkOutputPath(name.c_str(), &guard, &error)) return snapFail("%s", error.c_str());
        if (!job->outputName.hasField) break;
    }
    Pair pair;
    if (!openPair(job, &geometry, &pair)) {
        closeVideo(&pair.a);
        closeVideo(&pair.b);
        return 2;
    }
    // The difference frame, in a record the picture builders read as a frame.
    VideoFile picture = pair.a;
    std::vector<uint8_t> differences(static_cast<size_t>(frameBytes)), file;
    picture.file = nullptr;
    picture.frameBuffer = differences.data();
    int status = 0;
    int64_t written = 0;
    for (int64_t n = first; n <= last && status == 0; ++n) {
        if (!seekFrame(&pair.a, n) || !seekFrame(&pair.b, n)) {
            status = snapFail("cannot read frame %" PRId64 " of %s or %s", n, quotedName(job->input).c_str(),
                              quotedName(job->other).c_str());
            break;
        }
        diffPlane(pair.a.frameBuffer, pair.b.frameBuffer, frameBytes, 8, job->gain, differences.data());
        const std::string name = outputNameFor(&job->outputName, job->output, n);
        if (!encodeDiff(&picture, job->pictureType, &file)) status = snapFail("out of memory");
        else if (!writeWholeOutput(name.c_str(), file.data(), file.size(), &guard, &error))
            status = written ? snapFail("%s (%" PRId64 " other pictures written)", error.c_str(), written)
                             : snapFail("%s", error.c_str());
        else ++written;
    }
    closeVideo(&pair.a);
    closeVideo(&pair.b);
    return status;
}
