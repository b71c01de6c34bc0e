#include "snap/writer/picture.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "render/colour.h"
#include "render/separate.h"
#include "snap/format/narrow.h"
#include "snap/source/source.h"
#include "video/video_file.h"

namespace {

// The narrowed frame's planes, Y, U and V, and their sides.
struct PlaneRows {
    const uint8_t* start[3];
    int64_t width[3], height[3];
};

PlaneRows planeRowsOf(const VideoFile* video) {
    PlaneRows p;
    p.width[0] = video->width;
    p.height[0] = video->height;
    p.width[1] = p.width[2] = video->chromaWidth;
    p.height[1] = p.height[2] = video->chromaHeight;
    p.start[0] = video->frameBuffer;
    p.start[1] = p.start[0] + p.width[0] * p.height[0];
    p.start[2] = p.start[1] + p.width[1] * p.height[1];
    return p;
}

// Row `r` of plane `i` to `out`, black where the plane has no such row.
void copyPlaneRow(const PlaneRows* p, int i, int64_t r, uint8_t* out) {
    const size_t bytes = static_cast<size_t>(p->width[i]);
    if (r < p->height[i]) memcpy(out, p->start[i] + r * p->width[i], bytes);
    else memset(out, 0, bytes);
}

// Y, U and V side by side at their own sizes, top-aligned, the rest black:
// the separate view of every format but 4:2:0 (whose U sits above V, as the
// viewer shows it). Top-down rows at `stride`.
void buildPlanesSideBySide(const VideoFile* video, uint8_t* pixels, int64_t stride) {
    const PlaneRows p = planeRowsOf(video);
    for (int64_t r = 0; r < p.height[0]; ++r) {
        uint8_t* out = pixels + r * stride;
        copyPlaneRow(&p, 0, r, out);
        copyPlaneRow(&p, 1, r, out + p.width[0]);
        copyPlaneRow(&p, 2, r, out + p.width[0] + p.width[1]);
    }
}

// The separate view of 4:2:0 chroma rounded up at an odd side: the viewer's
// picture (3W/2 wide, U and V in H/2 rows each) would drop the last chroma
// column and row, so U and V keep a column as wide as their planes, U above
// V, and the picture is as tall as both (one row more than an odd H).
bool chromaStacked(const FrameGeometry* geometry, const VideoFile* view) {
    if (view->format->code != 420 || geometry->format->planeCount < 2) return false;
    const int64_t column = 3 * int64_t{view->width} / 2 - view->width;
    return view->chromaWidth > column || view->chromaHeight > view->height / 2;
}

// Y, then U above V beside it, every sample, over `height` rows; the rest black.
void buildChromaStacked(const VideoFile* video, uint8_t* pixels, int64_t stride, int64_t height) {
    const PlaneRows p = planeRowsOf(video);
    for (int64_t r = 0; r < height; ++r) {
        uint8_t* out = pixels + r * stride;
        copyPlaneRow(&p, 0, r, out);
        const bool u = r < p.height[1];
        copyPlaneRow(&p, u ? 1 : 2, u ? r : r - p.height[1], out + p.width[0]);
    }
}

struct PictureShape {
    int64_t width, height;
    bool stacked; // chromaStacked
};

// The picture's size for a frame of this geometry. Nonzero on success.
int pictureShape(const FrameGeometry* geometry, int separate, PictureShape* shape) {
    *shape = {geometry->width, geometry->height, false};
    if (!separate) return 1;
    // The narrowed frame's record decides, as it does for the builders.
    VideoFile view;
    if (!narrowView(geometry, nullptr, &view)) return 0;
    shape->stacked = chromaStacked(geometry, &view);
    if (shape->stacked) {
        shape->width += view.chromaWidth;
        shape->height = std::max<int64_t>(geometry->height, 2 * int64_t{view.chromaHeight});
    } else if (view.format->code == 420) {
        shape->width = 3 * int64_t{geometry->width} / 2;
    } else {
        shape->width += 2 * int64_t{view.chromaWidth};
    }
    return 1;
}

void buildSeparate(const VideoFile* video, const PictureShape* shape, uint8_t* pixels, int64_t stride) {
    if (shape->stacked) buildChromaStacked(video, pixels, stride, shape->height);
    else if (video->format->code == 420) buildSeparatePicture(video, pixels);
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
    PictureShape shape;
    return pictureShape(geometry, separate, &shape) ? shape.width : -1;
}

int64_t exportPictureHeight(const FrameGeometry* geometry, int separate) {
    PictureShape shape;
    return pictureShape(geometry, separate, &shape) ? shape.height : -1;
}

int pictureFits(int64_t width, int64_t height, int separate, int png) {
    if (width <= 0 || width > INT32_MAX || height <= 0 || height > INT32_MAX) return 0;
    if (pictureStride(static_cast<int32_t>(width), separate ? 8 : 24) * height > PICTURE_BYTE_LIMIT) return 0;
    // The PNG encoder works in int on its filtered rows, one byte more each.
    const int64_t channels = separate ? 1 : 3;
    return !png || (width * channels + 1) * height <= INT_MAX / 2;
}

int checkPicture(const WriterContext* c, const char* kind, std::string* error) {
    const FrameGeometry* g = &c->geometry;
    PictureShape shape;
    if (pictureShape(g, c->separate, &shape) && pictureFits(shape.width, shape.height, c->separate, kind[0] == 'P'))
        return 1;
    char text[200];
    snprintf(text, sizeof text, "a %dx%d %s frame makes a %" PRId64 "x%" PRId64 " picture, too large for %s",
             g->width, g->height, shownFormatName(g->format), shape.width, shape.height, kind);
    *error = text;
    return 0;
}

int buildPicture(const WriterContext* c, const uint8_t* frame, WriterOutput* out, int32_t* width, int32_t* height,
                 size_t headerBytes) {
    VideoFile view;
    PictureShape shape;
    if (!viewOf(c, frame, &out->scratch, &view) || !pictureShape(&c->geometry, c->separate, &shape)) return 0;
    if (!pictureFits(shape.width, shape.height, c->separate, headerBytes == 0)) return 0;
    *width = static_cast<int32_t>(shape.width);
    *height = static_cast<int32_t>(shape.height);
    const int64_t stride = pictureStride(*width, c->separate ? 8 : 24);
    const int64_t rows = shape.height;
    const size_t imageBytes = static_cast<size_t>(stride * rows);
    // Row padding is never written, so it is cleared only when sized.
    if (out->pixels.size() != headerBytes + imageBytes) out->pixels.assign(headerBytes + imageBytes, 0);
    uint8_t* image = out->pixels.data() + headerBytes;

    if (headerBytes == 0) {
        if (c->separate) buildSeparate(&view, &shape, image, stride);
        else buildColourRows(&view, view.format, image, stride);
        return 1;
    }
    if (!c->separate) {
        buildColourRows(&view, view.format, image + (rows - 1) * stride, -stride);
        return 1;
    }
    std::vector<uint8_t>& topDown = out->own;
    if (topDown.size() != imageBytes) topDown.assign(imageBytes, 0);
    buildSeparate(&view, &shape, topDown.data(), stride);
    for (int64_t r = 0; r < rows; ++r)
        memcpy(image + (rows - 1 - r) * stride, topDown.data() + r * stride, static_cast<size_t>(stride));
    return 1;
}
