#include "snap/info.h"

#include <cerrno>
#include <cinttypes>
#include <cstring>

#include "render/position_text.h"
#include "snap/files.h"
#include "snap/messages.h"
#include "video/frame_rate.h"

namespace {
struct Size {
    int32_t width, height;
};
// Sizes people meet besides the named ones: VGA, the test-sequence classes
// (WVGA, WQVGA, 2560x1600) and DCI 4K.
const Size otherCommonSizes[] = {{640, 480}, {832, 480}, {416, 240}, {2560, 1600}, {4096, 2160}};

void tryFit(FILE* out, int64_t fileSize, int32_t width, int32_t height, int* lines) {
    for (const ChromaFormat& format : chromaFormats) {
        const int64_t frameBytes = geometryFrameBytes(width, height, &format);
        if (frameBytes > 0 && fileSize > 0 && fileSize % frameBytes == 0) {
            const int64_t frames = fileSize / frameBytes;
            fprintf(out, "fits: %dx%d %s (%" PRId64 " frame%s)\n", width, height, format.name,
                    frames, frames == 1 ? "" : "s");
            *lines += 1;
        }
    }
}
} // namespace

void formatDuration(char* text, size_t size, int32_t frameInterval, int64_t frames) {
    const bool wraps = frameInterval > 0 && frames > int64_t{UINT32_MAX} / frameInterval;
    if (!wraps) {
        formatPositionText(text, size, frameInterval, frames);
        return;
    }
    const uint64_t ms = static_cast<uint64_t>(frameInterval) * static_cast<uint64_t>(frames);
    snprintf(text, size, " h%02" PRIu64 " : m%02u : s%02u : ms%03u : f%" PRId64, ms / 3600000u,
             static_cast<unsigned>(ms % 3600000u / 60000u), static_cast<unsigned>(ms % 60000u / 1000u),
             static_cast<unsigned>(ms % 1000u), frames);
}

int listFittingGeometries(FILE* out, int64_t fileSize) {
    int lines = 0;
    for (int i = 0; i < NAMED_SIZE_COUNT; ++i) {
        bool seen = false; // 2160p, uhd and 4k are one size
        for (int j = 0; j < i; ++j)
            seen = seen || (namedSizes[j].width == namedSizes[i].width &&
                            namedSizes[j].height == namedSizes[i].height);
        if (!seen) tryFit(out, fileSize, namedSizes[i].width, namedSizes[i].height, &lines);
    }
    for (const Size& size : otherCommonSizes) tryFit(out, fileSize, size.width, size.height, &lines);
    if (!lines) fputs("fits: none of the common sizes and formats\n", out);
    return lines;
}

int runInfo(const SnapJob* job) {
    std::string error;
    FILE* file = openInputFile(job->input, &error);
    if (!file) return snapFail("%s", error.c_str());
    const int64_t fileSize = toolFileSize(file);
    fclose(file);
    if (fileSize < 0) return snapFail("cannot find the size of %s", quotedName(job->input).c_str());

    printf("file: %s\n", shownName(job->input).c_str());
    printf("file bytes: %" PRId64 "\n", fileSize);
    GeometryRequest request = {job->sizeGiven, job->width, job->height, job->format};
    Geometry geometry;
    char why[2048];
    const int resolved = resolveGeometry(&request, job->input, fileSize, &geometry, why, sizeof why);
    const int64_t frameBytes =
        resolved == GEOMETRY_RESOLVED
            ? geometryFrameBytes(geometry.width, geometry.height, geometry.format)
            : -1;
    if (resolved != GEOMETRY_RESOLVED || frameBytes <= 0) {
        if (resolved == GEOMETRY_RESOLVED)
            snprintf(why, sizeof why, "a %dx%d %s frame is too large to hold", geometry.width,
                     geometry.height, geometry.format->name);
        printf("geometry: none: %s\n", why);
        listFittingGeometries(stdout, fileSize);
        return 0;
    }

    char source[64];
    describeGeometrySource(&geometry, source, sizeof source);
    const int32_t interval = frameIntervalFromRate(job->rateText ? job->rateText : "30");
    const int64_t whole = fileSize / frameBytes;
    char duration[POSITION_TEXT_SIZE + 32];
    formatDuration(duration, sizeof duration, interval, whole);
    printf("width: %d\n", geometry.width);
    printf("height: %d\n", geometry.height);
    printf("format: %s\n", geometry.format->name);
    printf("source: %s\n", source);
    printf("bytes per frame: %" PRId64 "\n", frameBytes);
    printf("whole frames: %" PRId64 "\n", whole);
    printf("partial frame bytes: %" PRId64 "\n", fileSize % frameBytes);
    printf("frame rate: %s\n", job->rateText ? job->rateText : "30");
    printf("frame interval: %d ms\n", interval);
    printf("duration:%s\n", duration);
    if (fileSize % frameBytes != 0 || whole == 0) listFittingGeometries(stdout, fileSize);
    return 0;
}
