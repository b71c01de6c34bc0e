#include "snap/format/narrow.h"

#include <climits>
#include <cstring>

namespace {

// The stored frame's planes and the narrowed frame's: the viewer's own
// format of the same chroma at the same rounding; for grey, 4:2:0 rounded up.
struct NarrowPlanes {
    FramePlanes source;
    FramePlanes narrow;
    int64_t chromaWidth, chromaHeight;
    int64_t lumaBytes, chromaBytes, frameBytes;
};

bool narrowPlanes(const FrameGeometry* geometry, NarrowPlanes* planes) {
    if (!framePlanes(geometry, &planes->source)) return false;
    FrameGeometry narrow = *geometry;
    narrow.format = viewerFrameFormat(geometry->format->viewerCode);
    if (geometry->format->planeCount < 2) narrow.rounding = CHROMA_ROUNDED_UP;
    if (!framePlanes(&narrow, &planes->narrow)) return false;
    const FramePlanes& n = planes->narrow;
    planes->chromaWidth = n.chromaWidth;
    planes->chromaHeight = n.chromaHeight;
    planes->lumaBytes = n.offset[1];
    planes->chromaBytes = n.offset[2] - n.offset[1];
    planes->frameBytes = n.frameBytes;
    return true;
}

uint32_t word(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8;
}

// One sample of `bytes` bytes (1, or a little-endian word moved down by `shift` bits).
void copySample(const uint8_t* in, uint8_t* out, int64_t bytes, int shift) {
    if (bytes == 1) {
        *out = *in;
        return;
    }
    const uint32_t w = word(in) >> shift;
    out[0] = static_cast<uint8_t>(w & 255);
    out[1] = static_cast<uint8_t>(w >> 8);
}

// One plane of `rows` rows of `count` samples at `in` (rows `inStride` apart)
// to a packed 8-bit plane at `out`.
void narrowPlane(const FrameFormat* format, const uint8_t* in, int64_t inStride, uint8_t* out,
                 int64_t count, int64_t rows) {
    for (int64_t r = 0; r < rows; ++r) {
        if (format->bytesPerSample == 1)
            memcpy(out + r * count, in + r * inStride, static_cast<size_t>(count));
        else
            narrowRow(in + r * inStride, out + r * count, count, format->depth, format->sampleShift);
    }
}

} // namespace

void narrowRow(const uint8_t* words, uint8_t* out, int64_t count, int depth, int shift) {
    for (int64_t i = 0; i < count; ++i) out[i] = narrowSample(word(words + 2 * i) >> shift, depth);
}

void splitRow(const uint8_t* pairs, uint8_t* first, uint8_t* second, int64_t count) {
    for (int64_t i = 0; i < count; ++i) {
        first[i] = pairs[2 * i];
        second[i] = pairs[2 * i + 1];
    }
}

void splitNarrowRow(const uint8_t* pairs, uint8_t* first, uint8_t* second, int64_t count, int depth,
                    int shift) {
    for (int64_t i = 0; i < count; ++i) {
        first[i] = narrowSample(word(pairs + 4 * i) >> shift, depth);
        second[i] = narrowSample(word(pairs + 4 * i + 2) >> shift, depth);
    }
}

int planarFrame(const FrameGeometry* geometry, const uint8_t* frame, uint8_t* out) {
    const FrameFormat* format = geometry->format;
    FramePlanes source;
    if (!format || planarFormOf(format) == format || !framePlanes(geometry, &source)) return 0;
    const int64_t sample = format->bytesPerSample;
    const int shift = format->sampleShift;
    for (int64_t i = 0; i < source.offset[1]; i += sample) copySample(frame + i, out + i, sample, shift);
    const int64_t count = source.chromaWidth;
    uint8_t* u = out + source.offset[1];
    uint8_t* v = u + count * sample * source.chromaHeight;
    for (int64_t r = 0; r < source.chromaHeight; ++r) {
        const uint8_t* pairs = frame + source.offset[1] + r * source.rowBytes[1];
        uint8_t* first = (format->vFirst ? v : u) + r * count * sample;
        uint8_t* second = (format->vFirst ? u : v) + r * count * sample;
        for (int64_t i = 0; i < count; ++i) {
            copySample(pairs + 2 * i * sample, first + i * sample, sample, shift);
            copySample(pairs + (2 * i + 1) * sample, second + i * sample, sample, shift);
        }
    }
    return 1;
}

int64_t narrowFrameBytes(const FrameGeometry* geometry) {
    NarrowPlanes planes;
    return narrowPlanes(geometry, &planes) ? planes.frameBytes : -1;
}

int frameIsNarrow(const FrameGeometry* geometry) {
    return formatIsViewers(geometry->format);
}

int narrowFrame(const FrameGeometry* geometry, const uint8_t* frame, uint8_t* out) {
    NarrowPlanes planes;
    if (!narrowPlanes(geometry, &planes)) return 0;
    const FrameFormat* format = geometry->format;
    const FramePlanes& source = planes.source;
    uint8_t* u = out + planes.lumaBytes;
    uint8_t* v = u + planes.chromaBytes;
    narrowPlane(format, frame, source.rowBytes[0], out, geometry->width, geometry->height);
    if (source.planeCount == 1) {
        memset(u, 128, static_cast<size_t>(2 * planes.chromaBytes));
    } else if (format->chromaPerSample == 1) {
        narrowPlane(format, frame + source.offset[1], source.rowBytes[1], u, planes.chromaWidth,
                    planes.chromaHeight);
        narrowPlane(format, frame + source.offset[2], source.rowBytes[2], v, planes.chromaWidth,
                    planes.chromaHeight);
    } else {
        uint8_t* first = format->vFirst ? v : u;
        uint8_t* second = format->vFirst ? u : v;
        const int64_t count = planes.chromaWidth;
        for (int64_t r = 0; r < planes.chromaHeight; ++r) {
            const uint8_t* pairs = frame + source.offset[1] + r * source.rowBytes[1];
            if (format->bytesPerSample == 1)
                splitRow(pairs, first + r * count, second + r * count, count);
            else
                splitNarrowRow(pairs, first + r * count, second + r * count, count, format->depth,
                               format->sampleShift);
        }
    }
    return 1;
}

int narrowView(const FrameGeometry* geometry, uint8_t* bytes, VideoFile* view) {
    clearVideo(view);
    NarrowPlanes planes;
    const ChromaFormat* chroma = geometry->format ? findChromaFormat(geometry->format->viewerCode) : nullptr;
    if (!chroma || !narrowPlanes(geometry, &planes)) return 0;
    view->width = geometry->width;
    view->height = geometry->height;
    view->chromaWidth = static_cast<int32_t>(planes.chromaWidth);
    view->chromaHeight = static_cast<int32_t>(planes.chromaHeight);
    view->frameBytes = static_cast<int32_t>(planes.frameBytes);
    view->frameBuffer = bytes;
    view->frameIndex = -1;
    view->format = chroma;
    return 1;
}
