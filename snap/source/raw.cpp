// Raw video: frames back to back with nothing between them, the geometry
// from the flags, the file's name or the default (8-bit 4:2:0). Chroma
// planes of odd sizes are rounded down, the viewer's own layout, so that a
// raw file reads the same here and in the viewer.
#include <cstring>

#include "snap/format/name_guess.h"
#include "snap/source/source.h"

namespace {

int probeRaw(const uint8_t*, size_t) {
    return 1;
}

int openRaw(SourceState* s, const GeometryRequest* asked, std::string* error) {
    Geometry geometry;
    char why[2048];
    const int resolved = resolveGeometry(asked, s->path, s->fileBytes, &geometry, why, sizeof why);
    if (resolved != GEOMETRY_RESOLVED) {
        s->geometryUnknown = 1;
        *error = why;
        return 0;
    }
    s->geometry = {geometry.format, geometry.width, geometry.height, CHROMA_ROUNDED_DOWN};
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
    s->frameCount = s->fileBytes / s->frameBytes;
    s->partialBytes = s->fileBytes % s->frameBytes;
    return 1;
}

int readRaw(SourceState* s, int64_t index, uint8_t* frame, std::string* error) {
    return readSourceBytes(s, index * s->frameBytes, frame, static_cast<size_t>(s->frameBytes), error);
}

} // namespace

const FrameSource rawSource = {"raw", probeRaw, openRaw, readRaw, nullptr};
