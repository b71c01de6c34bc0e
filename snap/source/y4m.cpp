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
#include "snap/source/y4m_header.h"

namespace {

struct Y4mState {
    SourceInput input;
    Y4mHeader header;
    int64_t frameHeaderBytes;         // the first FRAME header's length
    std::vector<int64_t> frameStarts; // each frame's samples, once an index pass was needed
    int indexed;
    int lengthsDiffer;                // the index pass met a FRAME header of another length
    int64_t streamAt;                 // a stream's next FRAME header
    std::vector<uint8_t> line;        // a stream's FRAME header, kept from frame to frame
};

Y4mState* y4mOf(const Source* s) {
    return static_cast<Y4mState*>(s->state);
}

// A header or FRAME line longer than this is taken for a damaged file.
constexpr size_t LINE_LIMIT = size_t{1} << 24;

int readLine(SourceInput* in, int64_t offset, std::vector<uint8_t>* line, std::string* error) {
    return readInputLine(in, offset, line, LINE_LIMIT, error);
}

std::string frameText(const Source* s, int64_t index) {
    return "frame " + std::to_string(index) + " of " + quotedName(s->path);
}

// Walks the whole stream once, recording where each frame's samples start.
// A FRAME marker missing or damaged at frame k leaves k as the last frame,
// one that cannot be read.
int indexFrames(Source* s, Y4mState* y, std::string* error) {
    y->frameStarts.clear();
    y->indexed = 1;
    s->partialBytes = 0; // the fixed step's guess no longer holds
    std::vector<uint8_t> line;
    int64_t at = y->header.headerBytes;
    while (at < y->input.size) {
        if (!readLine(&y->input, at, &line, error)) return 0;
        const int64_t length = parseY4mFrameHeader(line.data(), line.size());
        if (length < 0 && at + static_cast<int64_t>(line.size()) == y->input.size) {
            s->partialBytes = y->input.size - at; // the file ends inside a FRAME header
            break;
        }
        if (length <= 0) {
            y->frameStarts.push_back(-1);
            break;
        }
        if (at + length + s->frameBytes > y->input.size) {
            s->partialBytes = y->input.size - at;
            break;
        }
        if (length != y->frameHeaderBytes) y->lengthsDiffer = 1;
        y->frameStarts.push_back(at + length);
        at += length + s->frameBytes;
    }
    s->frameCount = static_cast<int64_t>(y->frameStarts.size());
    return 1;
}

int probeY4m(const uint8_t* head, size_t size) {
    return isY4mStream(head, size);
}

// The header's geometry, unless the flags ask for another.
int takeHeader(Source* s, const Y4mHeader* h, const GeometryRequest* asked, std::string* error) {
    const FrameGeometry* g = &h->geometry;
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
    s->frameBytes = h->frameBytes;
    if (h->rateNumerator > 0 && h->rateDenominator > 0) {
        s->rateNumerator = h->rateNumerator;
        s->rateDenominator = h->rateDenominator;
    }
    s->aspectNumerator = h->aspectNumerator;
    s->aspectDenominator = h->aspectDenominator;
    s->colour = h->colour;
    snprintf(s->layoutWhy, sizeof s->layoutWhy, "YUV4MPEG2's layout");
    return 1;
}

// Counts the frames from the first FRAME header's length, and checks the
// last one is where that step puts it. A stream that leaves bytes over, or
// whose last marker is elsewhere, has FRAME headers of other lengths (or a
// cut tail): it is indexed, so that every whole frame counts.
int countFrames(Source* s, Y4mState* y, std::string* error) {
    const int64_t body = y->input.size - y->header.headerBytes;
    s->frameCount = 0;
    if (body <= 0) return 1; // a header and no frame
    std::vector<uint8_t> line;
    if (!readLine(&y->input, y->header.headerBytes, &line, error)) return 0;
    y->frameHeaderBytes = parseY4mFrameHeader(line.data(), line.size());
    if (y->frameHeaderBytes < 0 && static_cast<int64_t>(line.size()) == body) {
        s->partialBytes = body; // the file ends inside the first FRAME header
        return 1;
    }
    if (y->frameHeaderBytes <= 0) {
        s->frameCount = 1; // frame 0 exists, and cannot be read
        y->frameStarts.push_back(-1);
        y->indexed = 1;
        return 1;
    }
    const int64_t step = y->frameHeaderBytes + s->frameBytes;
    s->frameCount = body / step;
    s->partialBytes = body % step;
    if (s->partialBytes != 0) return indexFrames(s, y, error);
    if (s->frameCount > 0) {
        const int64_t last = y4mFrameOffset(y->header.headerBytes, y->frameHeaderBytes, s->frameBytes, s->frameCount - 1);
        line.resize(static_cast<size_t>(y->frameHeaderBytes));
        if (!readInputBytes(&y->input, last, line.data(), line.size(), error)) return 0;
        if (!y4mFrameMarkerAt(line.data(), line.size(), y->frameHeaderBytes)) return indexFrames(s, y, error);
    }
    return 1;
}

int openY4m(Source* s, SourceInput* in, const GeometryRequest* asked, std::string* error) {
    Y4mState* y = new Y4mState();
    y->input = *in;
    std::vector<uint8_t> line;
    char why[256];
    int ok = readLine(&y->input, 0, &line, error);
    if (ok && parseY4mHeader(line.data(), line.size(), &y->header, why, sizeof why) != Y4M_HEADER_READ) {
        *error = quotedName(s->path) + ": " + why;
        ok = 0;
    }
    y->streamAt = y->header.headerBytes;
    ok = ok && takeHeader(s, &y->header, asked, error) && (s->stream || countFrames(s, y, error));
    if (!ok) {
        *in = y->input; // the file stays the caller's
        delete y;
        return 0;
    }
    in->file = nullptr;
    s->state = y;
    return 1;
}

// Where frame `index`'s samples start: 1 found (`*start` -1 when its marker
// is missing), 0 on a read error.
int frameStart(Source* s, Y4mState* y, int64_t index, int64_t* start, std::string* error) {
    if (y->indexed) {
        *start = y->frameStarts[static_cast<size_t>(index)];
        return 1;
    }
    const int64_t at = y4mFrameOffset(y->header.headerBytes, y->frameHeaderBytes, s->frameBytes, index);
    // Nearly every FRAME header is a few bytes: no allocation for those.
    uint8_t small[64];
    std::vector<uint8_t> longer;
    const size_t length = static_cast<size_t>(y->frameHeaderBytes);
    if (length > sizeof small) longer.resize(length);
    uint8_t* marker = length > sizeof small ? longer.data() : small;
    if (!readInputBytes(&y->input, at, marker, length, error)) return 0;
    if (y4mFrameMarkerAt(marker, length, y->frameHeaderBytes)) {
        *start = at + y->frameHeaderBytes;
        return 1;
    }
    if (!indexFrames(s, y, error)) return 0;
    if (index >= s->frameCount) {
        *error = frameText(s, index) + " is past the end: the stream holds " + std::to_string(s->frameCount) +
                 " whole frames";
        return 0;
    }
    return frameStart(s, y, index, start, error);
}

// A stream's end, found by reading into it: what is known of it is now settled.
int endStream(Source* s, Y4mState* y, int64_t partialBytes) {
    s->frameCount = s->nextFrame;
    s->partialBytes = partialBytes;
    s->fileBytes = y->input.position;
    return 0;
}

// The next frame of a stream, after its FRAME header. The stream ends as a
// file would: inside a header or a frame leaves a partial tail; a damaged
// marker leaves its frame as the last, one that cannot be read.
int nextY4mStream(Source* s, Y4mState* y, uint8_t* frame, std::string* error) {
    std::vector<uint8_t>* line = &y->line;
    if (!readLine(&y->input, y->streamAt, line, error)) return -1;
    const int64_t length = parseY4mFrameHeader(line->data(), line->size());
    const bool ended = line->size() < LINE_LIMIT && (line->empty() || line->back() != '\n');
    if (line->empty() || (length < 0 && ended)) return endStream(s, y, int64_t(line->size()));
    if (length <= 0) {
        s->frameCount = s->nextFrame + 1;
        *error = frameText(s, s->nextFrame) + " has no FRAME marker where it should start";
        return -1;
    }
    if (y->frameHeaderBytes == 0) y->frameHeaderBytes = length;
    if (length != y->frameHeaderBytes) y->lengthsDiffer = 1;
    size_t got = 0;
    if (!readInputSome(&y->input, y->streamAt + length, frame, size_t(s->frameBytes), &got, error)) return -1;
    if (got < size_t(s->frameBytes)) return endStream(s, y, length + int64_t(got));
    y->streamAt += length + s->frameBytes;
    return 1;
}

int nextY4m(Source* s, uint8_t* frame, std::string* error) {
    const int64_t index = s->nextFrame;
    Y4mState* y = y4mOf(s);
    if (s->frameCount >= 0 && index >= s->frameCount) return 0;
    if (s->stream) return nextY4mStream(s, y, frame, error);
    int64_t start = -1;
    if (!frameStart(s, y, index, &start, error)) return -1;
    if (start < 0) {
        *error = frameText(s, index) + " has no FRAME marker where it should start";
        return -1;
    }
    return readInputBytes(&y->input, start, frame, static_cast<size_t>(s->frameBytes), error) ? 1 : -1;
}

// Frames are found from the first one's step, or from the index: nextY4m
// goes straight to any of them.
int seekY4m(Source*, int64_t, std::string*) {
    return 1;
}

// The header's own fields, after the ones every input has.
void describeY4m(const Source* s, InfoLines* out) {
    const Y4mState* y = y4mOf(s);
    const Y4mHeader* h = &y->header;
    addInfoLine(out, "y4m colour", "%s", h->colour->tag);
    addInfoLine(out, "y4m interlacing", "%c", h->interlacing);
    addInfoLine(out, "y4m aspect", "%d:%d", h->aspectNumerator, h->aspectDenominator);
    addInfoLine(out, "y4m header bytes", "%" PRId64, h->headerBytes);
    addInfoLine(out, "y4m frame header bytes", "%" PRId64 "%s", y->frameHeaderBytes,
                y->lengthsDiffer ? " (they differ: the frames were indexed)" : "");
    addInfoLine(out, "y4m extensions", "%d", h->extensionCount);
}

void closeY4m(Source* s) {
    closeInput(&y4mOf(s)->input);
    delete y4mOf(s);
    s->state = nullptr;
}

} // namespace

const FrameSource y4mSource = {"y4m", "YUV4MPEG2", probeY4m, openY4m, nextY4m, seekY4m, describeY4m, closeY4m};
