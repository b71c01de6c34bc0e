#include "snap/format/frame_format.h"

#include <climits>
#include <cstring>

#include "snap/cli/words.h"
#include "video/video_file.h"

// name, chroma shift x, y, depth, bytes per sample, sample shift, layout, planar form, viewer's format
const FrameFormat frameFormats[FRAME_FORMAT_COUNT] = {
    {"yuv420p", 1, 1, 8, 1, 0, LAYOUT_PLANAR, FORMAT_YUV420P, 420},
    {"yuv422p", 1, 0, 8, 1, 0, LAYOUT_PLANAR, FORMAT_YUV422P, 422},
    {"yuv444p", 0, 0, 8, 1, 0, LAYOUT_PLANAR, FORMAT_YUV444P, 444},
    {"yuv411p", 2, 0, 8, 1, 0, LAYOUT_PLANAR, FORMAT_YUV411P, 411},
    {"gray", 0, 0, 8, 1, 0, LAYOUT_GREY, FORMAT_GRAY, 420},
    {"yuv420p10le", 1, 1, 10, 2, 0, LAYOUT_PLANAR, FORMAT_YUV420P10LE, 420},
    {"yuv422p10le", 1, 0, 10, 2, 0, LAYOUT_PLANAR, FORMAT_YUV422P10LE, 422},
    {"yuv444p10le", 0, 0, 10, 2, 0, LAYOUT_PLANAR, FORMAT_YUV444P10LE, 444},
    {"yuv420p12le", 1, 1, 12, 2, 0, LAYOUT_PLANAR, FORMAT_YUV420P12LE, 420},
    {"yuv422p12le", 1, 0, 12, 2, 0, LAYOUT_PLANAR, FORMAT_YUV422P12LE, 422},
    {"yuv444p12le", 0, 0, 12, 2, 0, LAYOUT_PLANAR, FORMAT_YUV444P12LE, 444},
    {"yuv420p16le", 1, 1, 16, 2, 0, LAYOUT_PLANAR, FORMAT_YUV420P16LE, 420},
    {"yuv422p16le", 1, 0, 16, 2, 0, LAYOUT_PLANAR, FORMAT_YUV422P16LE, 422},
    {"yuv444p16le", 0, 0, 16, 2, 0, LAYOUT_PLANAR, FORMAT_YUV444P16LE, 444},
    {"gray10le", 0, 0, 10, 2, 0, LAYOUT_GREY, FORMAT_GRAY10LE, 420},
    {"gray12le", 0, 0, 12, 2, 0, LAYOUT_GREY, FORMAT_GRAY12LE, 420},
    {"gray16le", 0, 0, 16, 2, 0, LAYOUT_GREY, FORMAT_GRAY16LE, 420},
    {"nv12", 1, 1, 8, 1, 0, LAYOUT_SEMI_PLANAR_UV, FORMAT_YUV420P, 420},
    {"nv21", 1, 1, 8, 1, 0, LAYOUT_SEMI_PLANAR_VU, FORMAT_YUV420P, 420},
    {"p010le", 1, 1, 10, 2, 6, LAYOUT_SEMI_PLANAR_UV, FORMAT_YUV420P10LE, 420},
};

const Y4mColour y4mColours[Y4M_COLOUR_COUNT] = {
    // The first row of each format is the one written.
    {"420jpeg", FORMAT_YUV420P, "XYSCSS=420JPEG"},
    {"420mpeg2", FORMAT_YUV420P, "XYSCSS=420MPEG2"},
    {"420paldv", FORMAT_YUV420P, "XYSCSS=420PALDV"},
    {"420", FORMAT_YUV420P, "XYSCSS=420JPEG"},
    {"411", FORMAT_YUV411P, "XYSCSS=411"},
    {"422", FORMAT_YUV422P, "XYSCSS=422"},
    {"444", FORMAT_YUV444P, "XYSCSS=444"},
    {"mono", FORMAT_GRAY, ""},
    {"420p10", FORMAT_YUV420P10LE, "XYSCSS=420P10"},
    {"422p10", FORMAT_YUV422P10LE, "XYSCSS=422P10"},
    {"444p10", FORMAT_YUV444P10LE, "XYSCSS=444P10"},
    {"420p12", FORMAT_YUV420P12LE, "XYSCSS=420P12"},
    {"422p12", FORMAT_YUV422P12LE, "XYSCSS=422P12"},
    {"444p12", FORMAT_YUV444P12LE, "XYSCSS=444P12"},
    {"420p16", FORMAT_YUV420P16LE, "XYSCSS=420P16"},
    {"422p16", FORMAT_YUV422P16LE, "XYSCSS=422P16"},
    {"444p16", FORMAT_YUV444P16LE, "XYSCSS=444P16"},
    {"mono10", FORMAT_GRAY10LE, ""},
    {"mono12", FORMAT_GRAY12LE, ""},
    {"mono16", FORMAT_GRAY16LE, ""},
};

namespace {

// Today's short names, kept as they always were.
struct FormatAlias {
    const char* name;
    int32_t format;
};
const FormatAlias formatAliases[] = {
    {"420", FORMAT_YUV420P}, {"422", FORMAT_YUV422P}, {"411", FORMAT_YUV411P},
    {"444", FORMAT_YUV444P}, {"i420", FORMAT_YUV420P},
};

int64_t chromaSide(int32_t side, int32_t shift, int32_t rounding) {
    const int64_t extra = rounding == CHROMA_ROUNDED_UP ? (int64_t{1} << shift) - 1 : 0;
    return (side + extra) >> shift;
}

} // namespace

const FrameFormat* findFrameFormatWord(const char* text, size_t length) {
    if (!text) return nullptr;
    for (const FrameFormat& format : frameFormats)
        if (sameWordAnyCase(text, length, format.name)) return &format;
    for (const FormatAlias& alias : formatAliases)
        if (sameWordAnyCase(text, length, alias.name)) return &frameFormats[alias.format];
    return nullptr;
}

const FrameFormat* findFrameFormat(const char* name) {
    return name ? findFrameFormatWord(name, strlen(name)) : nullptr;
}

int framePlanes(const FrameGeometry* geometry, FramePlanes* planes) {
    memset(planes, 0, sizeof *planes);
    const FrameFormat* format = geometry->format;
    if (!format || geometry->width < 1 || geometry->height < 1) return 0;
    FramePlanes p;
    memset(&p, 0, sizeof p);
    const int64_t sample = format->bytesPerSample;
    p.rowBytes[0] = geometry->width * sample;
    p.rows[0] = geometry->height;
    // The viewer's formula (truncating divisions by the subsampling factor)
    // when rounded down; Y4M's (and FFmpeg's) when rounded up.
    const int64_t chromaWidth = chromaSide(geometry->width, format->chromaShiftX, geometry->rounding);
    const int64_t chromaHeight = chromaSide(geometry->height, format->chromaShiftY, geometry->rounding);
    switch (format->layout) {
    case LAYOUT_PLANAR:
        p.planeCount = 3;
        p.rowBytes[1] = p.rowBytes[2] = chromaWidth * sample;
        p.rows[1] = p.rows[2] = chromaHeight;
        break;
    case LAYOUT_SEMI_PLANAR_UV:
    case LAYOUT_SEMI_PLANAR_VU:
        p.planeCount = 2;
        p.rowBytes[1] = 2 * chromaWidth * sample;
        p.rows[1] = chromaHeight;
        break;
    default:
        p.planeCount = 1;
        break;
    }
    if (format->layout != LAYOUT_GREY) {
        p.chromaWidth = static_cast<int32_t>(chromaWidth);
        p.chromaHeight = static_cast<int32_t>(chromaHeight);
    }
    // A row past 32 bits is refused before the product, which then fits in 64.
    int64_t offset = 0;
    for (int i = 0; i < p.planeCount; ++i) {
        if (p.rowBytes[i] > INT32_MAX) return 0;
        p.offset[i] = offset;
        offset += p.rowBytes[i] * p.rows[i];
        if (offset > INT32_MAX) return 0;
    }
    p.frameBytes = offset;
    *planes = p;
    return 1;
}

int64_t frameBytes(const FrameGeometry* geometry) {
    FramePlanes planes;
    return framePlanes(geometry, &planes) ? planes.frameBytes : -1;
}

int roundingChangesLayout(const FrameGeometry* geometry) {
    const FrameFormat* format = geometry->format;
    if (!format || format->layout == LAYOUT_GREY) return 0;
    const int32_t xMask = (1 << format->chromaShiftX) - 1;
    const int32_t yMask = (1 << format->chromaShiftY) - 1;
    return (geometry->width & xMask) != 0 || (geometry->height & yMask) != 0;
}

const Y4mColour* findY4mColour(const char* tag, size_t length) {
    if (!tag) return nullptr;
    for (const Y4mColour& colour : y4mColours)
        if (strlen(colour.tag) == length && memcmp(colour.tag, tag, length) == 0) return &colour;
    return nullptr;
}

const Y4mColour* y4mColourOf(const FrameFormat* format) {
    if (!format) return nullptr;
    for (const Y4mColour& colour : y4mColours)
        if (colour.format == format->planar) return &colour;
    return nullptr;
}

const char* shownFormatName(const FrameFormat* format) {
    if (format->depth == 8 && format->layout == LAYOUT_PLANAR)
        if (const ChromaFormat* viewer = findChromaFormat(format->viewerCode)) return viewer->name;
    return format->name;
}
