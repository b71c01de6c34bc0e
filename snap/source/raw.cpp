// Raw video: frames back to back with nothing between them, the geometry
// from the flags, the file's name or the default (8-bit 4:2:0). Chroma
// planes of odd sizes are rounded as resolveGeometry settles: down (the
// viewer's layout) for the viewer's codes, up (FFmpeg's) for pixel-format
// names, else as the file's size says.
#include <cstring>

#include "snap/format/name_guess.h"
#include "snap/io/shown_name.h"
#include "snap/source/source.h"

namespace {

struct RawState {
    SourceInput input;
};

RawState* rawOf(const Source* s) {
    return static_cast<RawState*>(s->state);
}

int probeRaw(const uint8_t*, size_t) {
    return 1;
}

// A stream has no name to guess from and no size to check: its geometry is
// the flags', else the one the caller lends it.
int resolveStreamGeometry(Source* s, const GeometryRequest* asked, Geometry* geometry, char* why, size_t size) {
    GeometryRequest request = *asked;
    if (!asked->sizeGiven && asked->fallback) {
        request = {1, asked->fallback->width, asked->fallback->height, asked->format ? asked->format : asked->fallback->format,
                   asked->format ? asked->formatWord : nullptr};
    }
    if (!request.sizeGiven) {
        snprintf(why, size, "reading a stream needs --size: %s has no name or size to tell it",
                 quotedName(s->path).c_str());
        return GEOMETRY_NO_SIZE;
    }
    return resolveGeometry(&request, "", -1, geometry, why, size);
}

int openRaw(Source* s, SourceInput* in, const GeometryRequest* asked, std::string* error) {
    Geometry geometry;
    char why[2048];
    const int resolved = in->stream ? resolveStreamGeometry(s, asked, &geometry, why, sizeof why)
                                    : resolveGeometry(asked, s->path, in->size, &geometry, why, sizeof why);
    if (resolved != GEOMETRY_RESOLVED) {
        s->geometryUnknown = !in->stream; // a stream cannot be opened again with another's
        *error = why;
        return 0;
    }
    s->geometry = {geometry.format, geometry.width, geometry.height, geometry.rounding};
    memcpy(s->layoutWhy, geometry.layoutWhy, sizeof s->layoutWhy);
    s->sizeFrom = geometry.sizeFrom;
    s->formatFrom = geometry.formatFrom;
    s->frameBytes = frameBytes(&s->geometry);
    if (s->frameBytes < 0) {
        s->geometryUnknown = 1;
        char text[160];
        snprintf(text, sizeof text, "a %dx%d %s frame cannot be held in memory", geometry.width,
                 geometry.height, shownFormatName(geometry.format));
        *error = text;
        return 0;
    }
    s->frameCount = in->stream ? -1 : in->size / s->frameBytes;
    s->partialBytes = in->stream ? 0 : in->size % s->frameBytes;
    s->state = new RawState{*in};
    in->file = nullptr;
    return 1;
}

// A stream's end is found by reading into it: the bytes of a frame it cuts
// short are its partial tail.
int nextRawStream(Source* s, uint8_t* frame, std::string* error) {
    SourceInput* in = &rawOf(s)->input;
    size_t got = 0;
    if (!readInputSome(in, s->nextFrame * s->frameBytes, frame, size_t(s->frameBytes), &got, error)) return -1;
    if (got == size_t(s->frameBytes)) return 1;
    s->frameCount = s->nextFrame;
    s->partialBytes = int64_t(got);
    s->fileBytes = in->position;
    return 0;
}

int nextRaw(Source* s, uint8_t* frame, std::string* error) {
    if (s->frameCount >= 0 && s->nextFrame >= s->frameCount) return 0;
    if (s->stream) return nextRawStream(s, frame, error);
    const size_t count = static_cast<size_t>(s->frameBytes);
    return readInputBytes(&rawOf(s)->input, s->nextFrame * s->frameBytes, frame, count, error) ? 1 : -1;
}

// Frames are a fixed step apart: nextRaw goes straight to any of them.
int seekRaw(Source*, int64_t, std::string*) {
    return 1;
}

// A file that is no whole number of frames may be of another geometry.
void describeRaw(const Source* s, InfoLines* out) {
    if (s->partialBytes != 0 || s->frameCount == 0) addFittingGeometries(out, s->fileBytes);
}

void closeRaw(Source* s) {
    closeInput(&rawOf(s)->input);
    delete rawOf(s);
    s->state = nullptr;
}

} // namespace

const FrameSource rawSource = {"raw", nullptr, probeRaw, openRaw, nextRaw, seekRaw, describeRaw, closeRaw};
