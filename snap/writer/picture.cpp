#include "snap/writer/picture.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "render/colour.h"
#include "render/separate.h"
#include "snap/format/narrow.h"
#include "snap/source/source.h"
#include "video/video_file.h"

namespace {

// Y, U and V side by side at their own sizes, top-aligned, the rest black:
// the separate view of every format but 4:2:0 (whose U sits above V, as the
// viewer shows it). Top-down rows at `stride`.
void buildPlanesSideBySide(const VideoFile* video, uint8_t* pixels, int64_t stride) {
    const int64_t width = video->width, height = video->height;
    const int64_t chromaWidth = video->chromaWidth, chromaHeight = video->chromaHeight;
    const uint8_t* luma = video->frameBuffer;
    const uint8_t* u = luma + width * height;
    const uint8_t* v = u + chromaWidth * chromaHeight;
    for (int64_t r = 0; r < height; ++r) {
        uint8_t* out = pixels + r * stride;
        memcpy(out, luma + r * width, static_cast<size_t>(width));
        if (r < chromaHeight) {
            memcpy(out + width, u + r * chromaWidth, static_cast<size_t>(chromaWidth));
            memcpy(out + width + chromaWidth, v + r * chromaWidth, static_cast<size_t>(chromaWidth));
        } else {
            memset(out + width, 0, static_cast<size_t>(2 * chromaWidth));
        }
    }
}

void buildSeparate(const VideoFile* video, uint8_t* pixels, int64_t stride) {
    if (video->format->code == 420) buildSeparatePicture(video, pixels);
    else buildPlanesSideBySide(video, pixels, stride);
}

// The 8-bit planar frame the builders read, in `view`: the frame itself when
// it is one already, else narrowed into `scratch`.
int viewOf(const WriterContext* c, const uint8_t* frame, std::vector<uint8_t>* scratch, VideoFile* view) {
    uint8_t* bytes = const_cast<uint8_t*>(frame);
    if (!frameIsNarrow(&c->geometry)) {
        const int64_t size = narrowFrameBytes(&c->geometry);
        if (size < 0) return 0;
        scratch->resize(static_cast<size_t>(size));
        if (!narrowFrame(&c->geometry, frame, scratch->data())) return 0;
        bytes = scratch->data();
    }
    return narrowView(&c->geometry, bytes, view);
}

} // namespace

int64_t exportPictureWidth(const FrameGeometry* geometry, int separate) {
    if (!separate) return geometry->width;
    // The narrowed frame's record decides, as it does for buildSeparate.
    VideoFile view;
    if (!narrowView(geometry, nullptr, &view)) return -1;
    if (view.format->code == 420) return 3 * int64_t{geometry->width} / 2;
    return int64_t{geometry->width} + 2 * int64_t{view.chromaWidth};
}

int pictureFits(int64_t width, int32_t height, int separate, int png) {
    if (width <= 0 || width > INT32_MAX || height <= 0) return 0;
    if (pictureStride(static_cast<int32_t>(width), separate ? 8 : 24) * height > PICTURE_BYTE_LIMIT) return 0;
    // The PNG encoder works in int on its filtered rows, one byte more each.
    const int64_t channels = separate ? 1 : 3;
    return !png || (width * channels + 1) * height <= INT_MAX / 2;
}

int checkPicture(const WriterContext* c, const char* kind, std::string* error) {
    const FrameGeometry* g = &c->geometry;
    const int64_t width = exportPictureWidth(g, c->separate);
    if (pictureFits(width, g->height, c->separate, kind[0] == 'P')) return 1;
    char text[200];
    snprintf(text, sizeof text, "a %dx%d %s frame makes a %" PRId64 "x%d picture, too large for %s", g->width,
             g->height, shownFormatName(g->format), width, g->height, kind);
    *error = text;
    return 0;
}

int buildPicture(const WriterContext* c, const uint8_t* frame, WriterOutput* out, int32_t* width,
                 size_t headerBytes) {
    VideoFile view;
    if (!viewOf(c, frame, &out->scratch, &view)) return 0;
    const int64_t wide = exportPictureWidth(&c->geometry, c->separate);
    const int32_t height = view.height;
    if (!pictureFits(wide, height, c->separate, headerBytes == 0)) return 0;
    *width = static_cast<int32_t>(wide);
    const int64_t stride = pictureStride(*width, c->separate ? 8 : 24);
    const size_t imageBytes = static_cast<size_t>(stride * height);
    // Row padding is never written, so it is cleared only when sized.
    if (out->pixels.size() != headerBytes + imageBytes) out->pixels.assign(headerBytes + imageBytes, 0);
    uint8_t* image = out->pixels.data() + headerBytes;

    if (headerBytes == 0) {
        if (c->separate) {
            buildSeparate(&view, image, stride);
            return 1;
        }
        buildColourRows(&view, view.format, image, stride);
        return 1;
    }
    if (!c->separate) {
        buildColourRows(&view, view.format, image + (height - 1) * stride, -stride);
        return 1;
    }
    std::vector<uint8_t>& topDown = out->own;
    if (topDown.size() != imageBytes) topDown.assign(imageBytes, 0);
    buildSeparate(&view, topDown.data(), stride);
    for (int64_t r = 0; r < height; ++r)
        memcpy(image + (height - 1 - r) * stride, topDown.data() + r * stride, static_cast<size_t>(stride));
    return 1;
}
