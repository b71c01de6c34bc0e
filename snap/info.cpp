#include "snap/info.h"

#include <cerrno>
#include <cinttypes>
#include <cstring>

#include "render/position_text.h"
#include "snap/files.h"
#include "snap/source/source.h"
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
    // Today's four 8-bit formats: deeper ones would match the same sizes
    // by accident (a 10-bit 4:2:0 frame is an 8-bit 4:4:4 one) and say nothing.
    for (const FrameFormat* format : {&frameFormats[FORMAT_YUV420P], &frameFormats[FORMAT_YUV422P],
                                      &frameFormats[FORMAT_YUV411P], &frameFormats[FORMAT_YUV444P]}) {
        const FrameGeometry geometry = {format, width, height, CHROMA_ROUNDED_DOWN};
        const int64_t frameBytes = ::frameBytes(&geometry);
        if (frameBytes > 0 && fileSize > 0 && fileSize % frameBytes == 0) {
            const int64_t frames = fileSize / frameBytes;
            fprintf(out, "fits: %dx%d %s (%" PRId64 " frame%s)\n", width, height, shownFormatName(format),
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

namespace {

// The Y4M header's own fields, after the ones every input has.
void printY4mFields(const SourceState* s) {
    const Y4mHeader* h = &s->y4m;
    printf("y4m colour: %s\n", h->colour->tag);
    printf("y4m interlacing: %c\n", h->interlacing);
    printf("y4m aspect: %d:%d\n", h->aspectNumerator, h->aspectDenominator);
    printf("y4m header bytes: %" PRId64 "\n", h->headerBytes);
    printf("y4m frame header bytes: %" PRId64 "%s\n", s->frameHeaderBytes,
           s->indexed ? " (they differ: the frames were indexed)" : "");
    printf("y4m extensions: %d\n", h->extensionCount);
}

// Says why no geometry was found, and which common ones would fit.
int printNoGeometry(const SnapJob* job, int64_t fileSize, const std::string& why) {
    printf("file: %s\n", shownName(job->input).c_str());
    printf("file bytes: %" PRId64 "\n", fileSize);
    printf("geometry: none: %s\n", why.c_str());
    listFittingGeometries(stdout, fileSize);
    return 0;
}

} // namespace

int runInfo(const SnapJob* job) {
    SourceState s;
    std::string error;
    const GeometryRequest asked = {job->sizeGiven, job->width, job->height, job->format};
    if (!openSource(&s, job->input, &asked, &error)) {
        // A raw file whose geometry is not known is described as far as it can be.
        if (s.geometryUnknown) return printNoGeometry(job, s.fileBytes, error);
        return snapFail("%s", error.c_str());
    }
    const bool y4m = s.kind == &y4mSource;
    char rate[64];
    if (job->rateText || !s.rateNumerator) snprintf(rate, sizeof rate, "%s", job->rateText ? job->rateText : "30");
    else if (s.rateDenominator == 1) snprintf(rate, sizeof rate, "%" PRId64, s.rateNumerator);
    else snprintf(rate, sizeof rate, "%" PRId64 "/%" PRId64, s.rateNumerator, s.rateDenominator);
    const int32_t interval = job->rateText || !s.rateNumerator
                                 ? frameIntervalFromRate(rate)
                                 : static_cast<int32_t>(1000 * s.rateDenominator / s.rateNumerator);
    char source[64], duration[POSITION_TEXT_SIZE + 32];
    describeGeometrySource(&s, source, sizeof source);
    formatDuration(duration, sizeof duration, interval, s.frameCount);
    printf("file: %s\n", shownName(job->input).c_str());
    printf("file bytes: %" PRId64 "\n", s.fileBytes);
    if (y4m) printf("container: YUV4MPEG2\n");
    printf("width: %d\n", s.geometry.width);
    printf("height: %d\n", s.geometry.height);
    printf("format: %s\n", shownFormatName(s.geometry.format));
    printf("source: %s\n", source);
    printf("bytes per frame: %" PRId64 "\n", s.frameBytes);
    printf("whole frames: %" PRId64 "\n", s.frameCount);
    printf("partial frame bytes: %" PRId64 "\n", s.partialBytes);
    printf("frame rate: %s\n", rate);
    printf("frame interval: %d ms\n", interval);
    printf("duration:%s\n", duration);
    if (y4m) printY4mFields(&s);
    else if (s.partialBytes != 0 || s.frameCount == 0) listFittingGeometries(stdout, s.fileBytes);
    closeSource(&s);
    return 0;
}
