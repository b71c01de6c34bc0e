// YUV4MPEG2 streams, known by their first bytes whatever their name: a header
// line, then each frame after a FRAME line of its own. The header gives the
// geometry, chroma rounded up as Y4M writers lay it out. Frame n is found
// without reading the frames before it while every FRAME line has the first
// one's length (the marker is checked where it is expected); where one does
// not, a single pass over the stream indexes every frame.
#include <cinttypes>
#include <cstring>

#include "snap/io/files.h"
#include "snap/source/source.h"

namespace {

// A header or FRAME line longer than this is taken for a damaged file.
constexpr size_t LINE_LIMIT = size_t{1} << 24;

// Reads the line at `offset` (through its '\n') into `line`, growing the read
// until the line ends or the file does. 1: read; 0: the file ended first.
int readLine(SourceState* s, int64_t offset, std::vector<uint8_t>* line, std::string* error) {
    size_t want = 256;
    for (;;) {
        const int64_t left = s->fileBytes - offset;
        const size_t take = left < 0 ? 0 : static_cast<uint64_t>(left) < want ? static_cast<size_t>(left) : want;
        line->resize(take);
        if (take && !readSourceBytes(s, offset, line->data(), take, error)) return 0;
        if (memchr(line->data(), '\n', take) || take < want || want >= LINE_LIMIT) return 1;
        want *= 4;
    }
}

std::string frameText(const SourceState* s, int64_t index) {
    return "frame " + std::to_string(index) + " of " + quotedName(s->path);
}

// Walks the whole stream once, recording where each frame's samples start.
// A FRAME marker missing or damaged at frame k leaves k as the last frame,
// one that cannot be read.
int indexFrames(SourceState* s, std::string* error) {
    s->frameStarts.clear();
    s->indexed = 1;
    std::vector<uint8_t> line;
    int64_t at = s->y4m.headerBytes;
    while (at < s->fileBytes) {
        if (!readLine(s, at, &line, error)) return 0;
        const int64_t length = parseY4mFrameHeader(line.data(), line.size());
        if (length <= 0) {
            s->frameStarts.push_back(-1);
            break;
        }
        if (at + length + s->frameBytes > s->fileBytes) {
            s->partialBytes = s->fileBytes - at;
            break;
        }
        s->frameStarts.push_back(at + length);
        at += length + s->frameBytes;
    }
    s->frameCount = static_cast<int64_t>(s->frameStarts.size());
    return 1;
}

int probeY4m(const uint8_t* head, size_t size) {
    return isY4mStream(head, size);
}

int openY4m(SourceState* s, const GeometryRequest* asked, std::string* error) {
    std::vector<uint8_t> line;
    if (!readLine(s, 0, &line, error)) return 0;
    char why[256];
    if (parseY4mHeader(line.data(), line.size(), &s->y4m, why, sizeof why) != Y4M_HEADER_READ) {
        *error = quotedName(s->path) + ": " + why;
        return 0;
    }
    const FrameGeometry* g = &s->y4m.geometry;
    const bool sizeDiffers = asked->sizeGiven && (asked->width != g->width || asked->height != g->height);
    if (sizeDiffers || (asked->format && asked->format != g->format)) {
        char text[256];
        snprintf(text, sizeof text, "the geometries differ: the flags give %dx%d %s, the header of ",
                 asked->sizeGiven ? asked->width : g->width, asked->sizeGiven ? asked->height : g->height,
                 (asked->format ? asked->format : g->format)->name);
        *error = text + quotedName(s->path) + " gives " + std::to_string(g->width) + "x" +
                 std::to_string(g->height) + " " + g->format->name;
        return 0;
    }
    s->geometry = *g;
    s->sizeFrom = s->formatFrom = GEOMETRY_FROM_HEADER;
    s->frameBytes = s->y4m.frameBytes;
    if (s->y4m.rateNumerator > 0 && s->y4m.rateDenominator > 0) {
        s->rateNumerator = s->y4m.rateNumerator;
        s->rateDenominator = s->y4m.rateDenominator;
    }
    const int64_t body = s->fileBytes - s->y4m.headerBytes;
    if (body <= 0) return 1; // a header and no frame
    if (!readLine(s, s->y4m.headerBytes, &line, error)) return 0;
    s->frameHeaderBytes = parseY4mFrameHeader(line.data(), line.size());
    if (s->frameHeaderBytes <= 0) {
        s->frameCount = 1; // frame 0 exists, and cannot be read
        s->frameStarts.push_back(-1);
        s->indexed = 1;
        return 1;
    }
    const int64_t step = s->frameHeaderBytes + s->frameBytes;
    s->frameCount = body / step;
    s->partialBytes = body % step;
    // The last frame's marker where the fixed step puts it says the step holds.
    if (s->frameCount > 0) {
        const int64_t last = y4mFrameOffset(s->y4m.headerBytes, s->frameHeaderBytes, s->frameBytes, s->frameCount - 1);
        line.resize(static_cast<size_t>(s->frameHeaderBytes));
        if (!readSourceBytes(s, last, line.data(), line.size(), error)) return 0;
        if (!y4mFrameMarkerAt(line.data(), line.size(), s->frameHeaderBytes)) return indexFrames(s, error);
    }
    return 1;
}

int readY4m(SourceState* s, int64_t index, uint8_t* frame, std::string* error) {
    int64_t start;
    if (s->indexed) {
        start = s->frameStarts[static_cast<size_t>(index)];
    } else {
        const int64_t at = y4mFrameOffset(s->y4m.headerBytes, s->frameHeaderBytes, s->frameBytes, index);
        uint8_t marker[64];
        std::vector<uint8_t> longer;
        uint8_t* bytes = marker;
        if (s->frameHeaderBytes > static_cast<int64_t>(sizeof marker)) {
            longer.resize(static_cast<size_t>(s->frameHeaderBytes));
            bytes = longer.data();
        }
        if (!readSourceBytes(s, at, bytes, static_cast<size_t>(s->frameHeaderBytes), error)) return 0;
        if (!y4mFrameMarkerAt(bytes, static_cast<size_t>(s->frameHeaderBytes), s->frameHeaderBytes)) {
            if (!indexFrames(s, error)) return 0;
            if (index >= s->frameCount) {
                *error = frameText(s, index) + " is past the end: the stream holds " +
                         std::to_string(s->frameCount) + " whole frames";
                return 0;
            }
            return readY4m(s, index, frame, error);
        }
        start = at + s->frameHeaderBytes;
    }
    if (start < 0) {
        *error = frameText(s, index) + " has no FRAME marker where it should start";
        return 0;
    }
    return readSourceBytes(s, start, frame, static_cast<size_t>(s->frameBytes), error);
}

void closeY4m(SourceState* s) {
    s->frameStarts.clear();
}

} // namespace

const FrameSource y4mSource = {"y4m", probeY4m, openY4m, readY4m, closeY4m};
