#include "snap/format/frame_format.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "snap/cli/words.h"


// Storage columns: planes, chroma samples per place, V first.
#define PLANAR STORAGE_PLANAR, 3, 1, 0
#define SEMI_PLANAR_UV STORAGE_SEMI_PLANAR_UV, 2, 2, 0
#define SEMI_PLANAR_VU STORAGE_SEMI_PLANAR_VU, 2, 2, 1
#define GREY STORAGE_GREY, 1, 1, 0

// name, aliases, shown name, chroma shift x, y, depth, bytes per sample,
// sample shift, storage, planar form, viewer's format. The first row is the
// default format; the viewer's own formats come in the order --info lists
// the sizes that fit.
const FrameFormat frameFormats[] = {
    {"yuv420p", "420 i420", "4:2:0", 1, 1, 8, 1, 0, PLANAR, "yuv420p", 420},
    {"yuv422p", "422", "4:2:2", 1, 0, 8, 1, 0, PLANAR, "yuv422p", 422},
    {"yuv411p", "411", "4:1:1", 2, 0, 8, 1, 0, PLANAR, "yuv411p", 411},
    {"yuv444p", "444", "4:4:4", 0, 0, 8, 1, 0, PLANAR, "yuv444p", 444},
    {"gray", "", nullptr, 0, 0, 8, 1, 0, GREY, "gray", 420},
    {"yuv420p10le", "", nullptr, 1, 1, 10, 2, 0, PLANAR, "yuv420p10le", 420},
    {"yuv422p10le", "", nullptr, 1, 0, 10, 2, 0, PLANAR, "yuv422p10le", 422},
    {"yuv444p10le", "", nullptr, 0, 0, 10, 2, 0, PLANAR, "yuv444p10le", 444},
    {"yuv420p12le", "", nullptr, 1, 1, 12, 2, 0, PLANAR, "yuv420p12le", 420},
    {"yuv422p12le", "", nullptr, 1, 0, 12, 2, 0, PLANAR, "yuv422p12le", 422},
    {"yuv444p12le", "", nullptr, 0, 0, 12, 2, 0, PLANAR, "yuv444p12le", 444},
    {"yuv420p16le", "", nullptr, 1, 1, 16, 2, 0, PLANAR, "yuv420p16le", 420},
    {"yuv422p16le", "", nullptr, 1, 0, 16, 2, 0, PLANAR, "yuv422p16le", 422},
    {"yuv444p16le", "", nullptr, 0, 0, 16, 2, 0, PLANAR, "yuv444p16le", 444},
    {"gray10le", "", nullptr, 0, 0, 10, 2, 0, GREY, "gray10le", 420},
    {"gray12le", "", nullptr, 0, 0, 12, 2, 0, GREY, "gray12le", 420},
    {"gray16le", "", nullptr, 0, 0, 16, 2, 0, GREY, "gray16le", 420},
    {"nv12", "", nullptr, 1, 1, 8, 1, 0, SEMI_PLANAR_UV, "yuv420p", 420},
    {"nv21", "", nullptr, 1, 1, 8, 1, 0, SEMI_PLANAR_VU, "yuv420p", 420},
    {"p010le", "", nullptr, 1, 1, 10, 2, 6, SEMI_PLANAR_UV, "yuv420p10le", 420},
};

#undef PLANAR
#undef SEMI_PLANAR_UV
#undef SEMI_PLANAR_VU
#undef GREY

const Y4mColour y4mColours[] = {
    // The first row of each format is the one written.
    {"420jpeg", "yuv420p", "XYSCSS=420JPEG"},
    {"420mpeg2", "yuv420p", "XYSCSS=420MPEG2"},
    {"420paldv", "yuv420p", "XYSCSS=420PALDV"},
    {"420", "yuv420p", "XYSCSS=420JPEG"},
    {"411", "yuv411p", "XYSCSS=411"},
    {"422", "yuv422p", "XYSCSS=422"},
    {"444", "yuv444p", "XYSCSS=444"},
    {"mono", "gray", ""},
    {"420p10", "yuv420p10le", "XYSCSS=420P10"},
    {"422p10", "yuv422p10le", "XYSCSS=422P10"},
    {"444p10", "yuv444p10le", "XYSCSS=444P10"},
    {"420p12", "yuv420p12le", "XYSCSS=420P12"},
    {"422p12", "yuv422p12le", "XYSCSS=422P12"},
    {"444p12", "yuv444p12le", "XYSCSS=444P12"},
    {"420p16", "yuv420p16le", "XYSCSS=420P16"},
    {"422p16", "yuv422p16le", "XYSCSS=422P16"},
    {"444p16", "yuv444p16le", "XYSCSS=444P16"},
    {"mono10", "gray10le", ""},
    {"mono12", "gray12le", ""},
    {"mono16", "gray16le", ""},
};

TableRows<FrameFormat> frameFormatRows() {
    return {frameFormats, frameFormats + sizeof frameFormats / sizeof frameFormats[0]};
}

TableRows<Y4mColour> y4mColourRows() {
    return {y4mColours, y4mColours + sizeof y4mColours / sizeof y4mColours[0]};
}

namespace {

int64_t chromaSide(int32_t side, int32_t shift, int32_t rounding) {
    const int64_t extra = rounding == CHROMA_ROUNDED_UP ? (int64_t{1} << shift) - 1 : 0;
    return (side + extra) >> shift;
}


// Nonzero when `text` is one of the space-separated words of `list`.
bool inWordList(const char* text, size_t length, const char* list) {
    for (const char* word = list; *word;) {
        const char* space = strchr(word, ' ');
        const size_t n = space ? static_cast<size_t>(space - word) : strlen(word);
        if (sameWordAnyCase(text, length, word, n)) return true;
        word += n + (space ? 1 : 0);
    }
    return false;
}

} // namespace

const FrameFormat* findFrameFormatWord(const char* text, size_t length) {
    if (!text) return nullptr;
    for (const FrameFormat& format : frameFormatRows())
        if (sameWordAnyCase(text, length, format.name)) return &format;
    for (const FrameFormat& format : frameFormatRows())
        if (inWordList(text, length, format.aliases)) return &format;
    return nullptr;
}

const FrameFormat* findFrameFormat(const char* name) {
    return name ? findFrameFormatWord(name, strlen(name)) : nullptr;
}

namespace {

// The planes at any size: offsets and the total may pass 32 bits. False for
// a side below 1, or a total past 63 bits.
bool layPlanes(const FrameGeometry* geometry, FramePlanes* p) {
    memset(p, 0, sizeof *p);
    const FrameFormat* format = geometry->format;
    if (!format || geometry->width < 1 || geometry->height < 1) return false;
    const int64_t sample = format->bytesPerSample;
    p->planeCount = format->planeCount;
    p->rowBytes[0] = geometry->width * sample;
    p->rows[0] = geometry->height;
    // The viewer's formula (truncating divisions by the subsampling factor)
    // when rounded down; Y4M's (and FFmpeg's) when rounded up.
    if (p->planeCount > 1) {
        const int64_t chromaWidth = chromaSide(geometry->width, format->chromaShiftX, geometry->rounding);
        const int64_t chromaHeight = chromaSide(geometry->height, format->chromaShiftY, geometry->rounding);
        p->chromaWidth = static_cast<int32_t>(chromaWidth);
        p->chromaHeight = static_cast<int32_t>(chromaHeight);
        for (int i = 1; i < p->planeCount; ++i) {
            p->rowBytes[i] = format->chromaPerSample * chromaWidth * sample;
            p->rows[i] = chromaHeight;
        }
    }
    int64_t offset = 0;
    for (int i = 0; i < p->planeCount; ++i) {
        if (p->rows[i] && p->rowBytes[i] > (INT64_MAX - offset) / p->rows[i]) return false;
        p->offset[i] = offset;
        offset += p->rowBytes[i] * p->rows[i];
    }
    p->frameBytes = offset;
    return true;
}

} // namespace

int framePlanes(const FrameGeometry* geometry, FramePlanes* planes) {
    FramePlanes p;
    bool fits = layPlanes(geometry, &p);
    for (int i = 0; fits && i < p.planeCount; ++i) fits = p.rowBytes[i] <= INT32_MAX;
    if (!fits || p.frameBytes > INT32_MAX) {
        memset(planes, 0, sizeof *planes);
        return 0;
    }
    *planes = p;
    return 1;
}

int64_t wholeFrameBytes(const FrameGeometry* geometry) {
    FramePlanes planes;
    return layPlanes(geometry, &planes) ? planes.frameBytes : -1;
}

int64_t frameBytes(const FrameGeometry* geometry) {
    FramePlanes planes;
    return framePlanes(geometry, &planes) ? planes.frameBytes : -1;
}

int roundingChangesLayout(const FrameGeometry* geometry) {
    const FrameFormat* format = geometry->format;
    if (!format || format->planeCount < 2) return 0;
    const int32_t xMask = (1 << format->chromaShiftX) - 1;
    const int32_t yMask = (1 << format->chromaShiftY) - 1;
    return (geometry->width & xMask) != 0 || (geometry->height & yMask) != 0;
}

const FrameFormat* defaultFrameFormat() {
    return &frameFormats[0];
}

const FrameFormat* planarFormOf(const FrameFormat* format) {
    const FrameFormat* planar = format ? findFrameFormat(format->planarName) : nullptr;
    return planar ? planar : format;
}

int formatIsViewers(const FrameFormat* format) {
    return format && format->viewerCode != 0 && format->depth == 8 && format->bytesPerSample == 1 &&
           format->planeCount == 3 && format->chromaPerSample == 1 && !format->vFirst;
}

const FrameFormat* viewerFrameFormat(int32_t code) {
    for (const FrameFormat& f : frameFormatRows())
        if (formatIsViewers(&f) && f.viewerCode == code) return &f;
    return nullptr;
}

const FrameFormat* eightBitFormatOf(const FrameFormat* format) {
    const FrameFormat* planar = planarFormOf(format);
    if (!planar) return nullptr;
    for (const FrameFormat& f : frameFormatRows())
        if (f.depth == 8 && f.storage == planar->storage && f.chromaShiftX == planar->chromaShiftX &&
            f.chromaShiftY == planar->chromaShiftY && f.viewerCode == planar->viewerCode)
            return &f;
    return nullptr;
}

const FrameFormat* y4mColourFormat(const Y4mColour* colour) {
    return colour ? findFrameFormat(colour->format) : nullptr;
}

const Y4mColour* findY4mColour(const char* tag, size_t length) {
    if (!tag) return nullptr;
    for (const Y4mColour& colour : y4mColourRows())
        if (strlen(colour.tag) == length && memcmp(colour.tag, tag, length) == 0) return &colour;
    return nullptr;
}

const Y4mColour* y4mColourOf(const FrameFormat* format) {
    const FrameFormat* planar = planarFormOf(format);
    if (!planar) return nullptr;
    for (const Y4mColour& colour : y4mColourRows())
        if (strcmp(colour.format, planar->name) == 0) return &colour;
    return nullptr;
}

int32_t chromaRoundingOfWord(const char* word, size_t length) {
    const FrameFormat* format = findFrameFormatWord(word, length);
    char code[16];
    snprintf(code, sizeof code, "%d", format ? format->viewerCode : 0);
    const bool viewers = formatIsViewers(format) && strlen(code) == length && memcmp(code, word, length) == 0;
    return viewers ? CHROMA_ROUNDED_DOWN : CHROMA_ROUNDED_UP;
}

const char* shownFormatName(const FrameFormat* format) {
    return format->shown ? format->shown : format->name;
}
