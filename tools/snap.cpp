#include "tools/snap.h"

#include <cerrno>
#include <cstdarg>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "render/colour.h"
#include "render/separate.h"
#include "tools/bmp.h"
#include "tools/sample.h"
#include "video/video_file.h"

namespace {
const char usage[] =
    "usage: corvane-snap --size WxH [--format 420|422|411|444] [--frame N|last] [--separate] "
    "INPUT OUTPUT.bmp\n"
    "       corvane-snap --make-sample WxH FRAMES OUTPUT.yuv [--format 420|422|411|444]\n";

int fail(const char* format, ...) __attribute__((format(printf, 1, 2)));
int fail(const char* format, ...) {
    va_list args;
    va_start(args, format);
    fputs("corvane-snap: ", stderr);
    vfprintf(stderr, format, args);
    fputc('\n', stderr);
    va_end(args);
    return 2;
}

// A whole decimal number in [low, high], nothing else in the text.
bool parseNumber(const char* text, long long low, long long high, long long* value) {
    if (!text || !*text) return false;
    char* end = nullptr;
    errno = 0;
    long long parsed = strtoll(text, &end, 10);
    if (errno || *end || parsed < low || parsed > high) return false;
    *value = parsed;
    return true;
}

bool parseSize(const char* text, int32_t* width, int32_t* height) {
    if (!text) return false;
    const char* x = strchr(text, 'x');
    if (!x) return false;
    std::string first(text, x);
    long long w, h;
    if (!parseNumber(first.c_str(), 1, INT32_MAX, &w) || !parseNumber(x + 1, 1, INT32_MAX, &h))
        return false;
    *width = static_cast<int32_t>(w);
    *height = static_cast<int32_t>(h);
    return true;
}

const ChromaFormat* parseFormat(const char* text) {
    long long code;
    if (!parseNumber(text, 0, INT32_MAX, &code)) return nullptr;
    return findChromaFormat(static_cast<int32_t>(code));
}

int makeSample(int argc, char** argv) {
    // --make-sample WxH FRAMES OUTPUT [--format F]
    const char* sizeText = nullptr;
    const char* framesText = nullptr;
    const char* output = nullptr;
    const ChromaFormat* format = &chromaFormats[0];
    for (int i = 2; i < argc; ++i) {
        if (!strcmp(argv[i], "--format")) {
            if (!(format = parseFormat(i + 1 < argc ? argv[++i] : nullptr)))
                return fail("--format takes 420, 422, 411 or 444");
        } else if (!sizeText) sizeText = argv[i];
        else if (!framesText) framesText = argv[i];
        else if (!output) output = argv[i];
        else return fail("unexpected argument '%s'", argv[i]);
    }
    int32_t width, height;
    long long frames;
    if (!parseSize(sizeText, &width, &height)) return fail("the size must be WxH, for example 352x288");
    if (!parseNumber(framesText, 1, 1000000, &frames)) return fail("FRAMES must be a count from 1");
    if (!output) return fail("no output file given");
    if (!writeSampleClip(output, width, height, format, static_cast<int32_t>(frames)))
        return fail("cannot write the sample clip to '%s'", output);
    return 0;
}
} // namespace

int snapMain(int argc, char** argv) {
    if (argc >= 2 && !strcmp(argv[1], "--make-sample")) return makeSample(argc, argv);

    const char* sizeText = nullptr;
    const char* frameText = "0";
    const char* input = nullptr;
    const char* output = nullptr;
    const ChromaFormat* format = &chromaFormats[0];
    bool separate = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        if (!strcmp(arg, "--size")) {
            if (!next) return fail("--size needs WxH");
            sizeText = argv[++i];
        } else if (!strcmp(arg, "--format")) {
            if (!(format = parseFormat(next))) return fail("--format takes 420, 422, 411 or 444");
            ++i;
        } else if (!strcmp(arg, "--frame")) {
            if (!next) return fail("--frame needs a number or 'last'");
            frameText = argv[++i];
        } else if (!strcmp(arg, "--separate")) {
            separate = true;
        } else if (!strcmp(arg, "--help") || !strcmp(arg, "-h")) {
            fputs(usage, stdout);
            return 0;
        } else if (arg[0] == '-' && arg[1] == '-') {
            return fail("unknown option '%s'", arg);
        } else if (!input) input = arg;
        else if (!output) output = arg;
        else return fail("unexpected argument '%s'", arg);
    }
    if (!sizeText) return fail("--size WxH is required");
    int32_t width, height;
    if (!parseSize(sizeText, &width, &height))
        return fail("the size must be WxH with both at least 1, for example 352x288");
    const bool last = !strcmp(frameText, "last");
    long long frame = 0;
    if (!last && !parseNumber(frameText, 0, INT64_MAX, &frame))
        return fail("--frame takes a frame number from 0, or 'last'");
    if (!input || !output) return fail("INPUT and OUTPUT.bmp are both required");

    VideoFile video;
    clearVideo(&video);
    FILE* probe = fopen(input, "rb");
    if (!probe) return fail("cannot read '%s': %s", input, strerror(errno));
    fclose(probe);
    if (!openVideo(&video, input, width, height, format->code, 40))
        return fail("a %dx%d %s frame cannot be held in memory", width, height, format->name);

    int64_t size = videoFileSize(&video);
    int64_t whole = size / video.frameBytes;
    int ok;
    if (last) {
        seekLastFrame(&video);
        ok = video.frameIndex >= 0;
    } else {
        ok = frame < whole && seekFrame(&video, frame);
    }
    if (!ok) {
        closeVideo(&video);
        if (last) return fail("'%s' holds no whole %dx%d frame", input, width, height);
        return fail("frame %lld is past the end: '%s' holds %" PRId64 " whole frames", frame, input,
                    whole);
    }

    int32_t pictureWidth = separate ? static_cast<int32_t>(separatePictureWidth(&video)) : width;
    int bitsPerPixel = separate ? 8 : 24;
    int64_t stride = pictureStride(pictureWidth, bitsPerPixel);
    uint8_t* picture = nullptr;
    if (stride * height <= INT32_MAX)
        picture = static_cast<uint8_t*>(calloc(static_cast<size_t>(stride * height), 1));
    if (!picture) {
        closeVideo(&video);
        return fail("a %dx%d picture is too large to write", pictureWidth, height);
    }
    uint8_t table[256 * 4];
    if (separate) {
        buildSeparatePicture(&video, picture);
        greyRamp(table);
    } else {
        buildColourPicture(&video, video.format, picture);
    }
    closeVideo(&video);
    int written = writeBmp(output, picture, pictureWidth, height, stride, bitsPerPixel,
                           separate ? table : nullptr);
    free(picture);
    if (!written) return fail("cannot write '%s'", output);
    return 0;
}
