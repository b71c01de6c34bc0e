#include "snap/format/name_guess.h"

#include "snap/cli/values.h"
#include "snap/cli/words.h"
#include "snap/io/shown_name.h"

#include <cinttypes>
#include <climits>
#include <cstdio>
#include <cstring>

const NamedSize namedSizes[NAMED_SIZE_COUNT] = {
    {"sqcif", 128, 96},    {"qcif", 176, 144},    {"cif", 352, 288},    {"4cif", 704, 576},
    {"16cif", 1408, 1152}, {"720p", 1280, 720},   {"1080p", 1920, 1080}, {"2160p", 3840, 2160},
    {"uhd", 3840, 2160},   {"4k", 3840, 2160},
};

namespace {

bool isWordByte(char c) {
    const unsigned char b = static_cast<unsigned char>(c);
    return (b >= '0' && b <= '9') || (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || b >= 0x80;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Digits at `text` as a side of a picture: 1 to 7 digits, not all of them
// zero. Returns the count of digits read, 0 for none usable.
size_t readSide(const char* text, int32_t* side) {
    size_t n = 0;
    while (isDigit(text[n]))
        if (++n > 7) return 0;
    int64_t value;
    if (!readWholeNumberIn(text, text + n, 1, 9999999, &value)) return 0;
    *side = static_cast<int32_t>(value);
    return n;
}

// A WxH or W*H token at `text` (a token start); its length, or 0.
size_t readSizeToken(const char* text, int32_t* width, int32_t* height) {
    size_t first = readSide(text, width);
    if (!first) return 0;
    const char mark = text[first];
    if (mark != 'x' && mark != 'X' && mark != '*') return 0;
    size_t second = readSide(text + first + 1, height);
    if (!second) return 0;
    const size_t length = first + 1 + second;
    return isWordByte(text[length]) ? 0 : length;
}

void noteSize(NameGuess* guess, int32_t width, int32_t height) {
    if (guess->sizeCount == 0) {
        guess->sizeCount = 1;
        guess->width = width;
        guess->height = height;
    } else if (guess->sizeCount == 1 && (width != guess->width || height != guess->height)) {
        guess->sizeCount = 2;
        guess->otherWidth = width;
        guess->otherHeight = height;
    }
}

void noteFormat(NameGuess* guess, const FrameFormat* format, const char* word, size_t length) {
    if (guess->formatCount == 0) {
        guess->formatCount = 1;
        guess->format = format;
        if (length < sizeof guess->formatWord) memcpy(guess->formatWord, word, length);
    } else if (guess->formatCount == 1 && format != guess->format) {
        guess->formatCount = 2;
        guess->otherFormat = format;
    }
}

// The text at `text` starts with `prefix`; returns what follows, or nullptr.
const char* after(const char* text, const char* prefix) {
    const size_t n = strlen(prefix);
    return strncmp(text, prefix, n) == 0 ? text + n : nullptr;
}

// Nonzero when `text` is a depth of 9 to 16 bits followed by exactly `rest`.
bool isDepthAndThen(const char* text, const char* rest) {
    static const char* const depths[] = {"10", "12", "14", "16", "9"};
    if (!text) return false;
    for (const char* depth : depths)
        if (const char* tail = after(text, depth)) return strcmp(tail, rest) == 0;
    return false;
}

// "yuv420p10", "yuv444p12le", "gray16be", "p010", "p016", "10bit", "16b":
// the names people give files of 9- to 16-bit samples.
bool isDeepSampleToken(const char* start, size_t length) {
    char word[16];
    if (length >= sizeof word) return false;
    for (size_t i = 0; i < length; ++i) word[i] = asciiLower(start[i]);
    word[length] = '\0';
    if (length > 2 && (!strcmp(word + length - 2, "le") || !strcmp(word + length - 2, "be")))
        word[length - 2] = '\0';

    // An 8-bit planar or grey format's name with a depth after it ("yuv420p10"),
    // p0 and a depth (p010, p016), or a depth and "bit" or "b".
    for (const FrameFormat& format : frameFormatRows())
        if (format.depth == 8 && format.chromaPerSample == 1 && isDepthAndThen(after(word, format.name), ""))
            return true;
    return isDepthAndThen(after(word, "p0"), "") || isDepthAndThen(word, "bit") || isDepthAndThen(word, "b");
}

struct Size {
    int32_t width, height;
};
// Sizes people meet besides the named ones: VGA, the test-sequence classes
// (WVGA, WQVGA, 2560x1600) and DCI 4K.
const Size otherCommonSizes[] = {{640, 480}, {832, 480}, {416, 240}, {2560, 1600}, {4096, 2160}};

void tryFit(std::vector<std::string>* out, int64_t fileSize, int32_t width, int32_t height, int* lines) {
    // The viewer's own 8-bit formats: deeper ones would match the same sizes
    // by accident (a 10-bit 4:2:0 frame is an 8-bit 4:4:4 one) and say nothing.
    for (const FrameFormat& format : frameFormatRows()) {
        if (!formatIsViewers(&format)) continue;
        const FrameGeometry geometry = {&format, width, height, CHROMA_ROUNDED_DOWN};
        const int64_t frameBytes = ::frameBytes(&geometry);
        if (frameBytes > 0 && fileSize > 0 && fileSize % frameBytes == 0) {
            const int64_t frames = fileSize / frameBytes;
            char text[128];
            snprintf(text, sizeof text, "%dx%d %s (%" PRId64 " frame%s)", width, height, shownFormatName(&format),
                     frames, frames == 1 ? "" : "s");
            out->push_back(text);
            *lines += 1;
        }
    }
}

} // namespace

int listFittingGeometries(std::vector<std::string>* out, int64_t fileSize) {
    int lines = 0;
    for (int i = 0; i < NAMED_SIZE_COUNT; ++i) {
        bool seen = false; // 2160p, uhd and 4k are one size
        for (int j = 0; j < i; ++j)
            seen = seen || (namedSizes[j].width == namedSizes[i].width &&
                            namedSizes[j].height == namedSizes[i].height);
        if (!seen) tryFit(out, fileSize, namedSizes[i].width, namedSizes[i].height, &lines);
    }
    for (const Size& size : otherCommonSizes) tryFit(out, fileSize, size.width, size.height, &lines);
    if (!lines) out->push_back("none of the common sizes and formats");
    return lines;
}

const char* fileNamePart(const char* path) {
    if (!path) return "";
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (*p == '/' || *p == '\\') name = p + 1;
    return name;
}

void guessFromName(const char* path, NameGuess* guess) {
    memset(guess, 0, sizeof *guess);
    const char* name = fileNamePart(path);
    size_t i = 0;
    while (name[i]) {
        if (!isWordByte(name[i])) {
            ++i;
            continue;
        }
        // A token starts here. W*H spans a separator, so it is tried first.
        int32_t width = 0, height = 0;
        const size_t sizeLength = readSizeToken(name + i, &width, &height);
        if (sizeLength) {
            noteSize(guess, width, height);
            i += sizeLength;
            continue;
        }
        size_t length = 0;
        while (isWordByte(name[i + length])) ++length;
        for (const NamedSize& size : namedSizes)
            if (sameWordAnyCase(name + i, length, size.name)) noteSize(guess, size.width, size.height);
        if (const FrameFormat* format = findFrameFormatWord(name + i, length)) noteFormat(guess, format, name + i, length);
        else if (!guess->deepSamples[0] && length < sizeof guess->deepSamples && isDeepSampleToken(name + i, length))
            memcpy(guess->deepSamples, name + i, length);
        i += length;
    }
}

namespace {

// The size from the flags, or else the name's one size. GEOMETRY_RESOLVED or why not.
int settleSize(const GeometryRequest* request, const NameGuess* guess, const char* name, Geometry* g,
               char* why, size_t whySize) {
    if (request->sizeGiven) {
        g->width = request->width;
        g->height = request->height;
        g->sizeFrom = GEOMETRY_FROM_FLAGS;
    } else if (guess->sizeCount == 0) {
        snprintf(why, whySize, "no --size given and the name '%s' holds no size", name);
        return GEOMETRY_NO_SIZE;
    } else if (guess->sizeCount > 1) {
        snprintf(why, whySize, "the name '%s' holds two sizes, %dx%d and %dx%d; give --size", name,
                 guess->width, guess->height, guess->otherWidth, guess->otherHeight);
        return GEOMETRY_REFUSED;
    } else {
        g->width = guess->width;
        g->height = guess->height;
        g->sizeFrom = GEOMETRY_FROM_NAME;
    }
    return GEOMETRY_RESOLVED;
}

// The format from the flags, or else the name's one format, or else the default.
int settleFormat(const GeometryRequest* request, const NameGuess* guess, const char* name, Geometry* g,
                 char* why, size_t whySize) {
    if (request->format) {
        g->format = request->format;
        g->formatFrom = GEOMETRY_FROM_FLAGS;
    } else if (guess->formatCount > 1) {
        snprintf(why, whySize, "the name '%s' holds two formats, %s and %s; give --format", name,
                 shownFormatName(guess->format), shownFormatName(guess->otherFormat));
        return GEOMETRY_REFUSED;
    } else if (guess->formatCount == 1) {
        g->format = guess->format;
        g->formatFrom = GEOMETRY_FROM_NAME;
    } else {
        g->format = defaultFrameFormat();
        g->formatFrom = GEOMETRY_BY_DEFAULT;
    }
    return GEOMETRY_RESOLVED;
}

// Nonzero when `fileSize` bytes are a whole number, at least one, of frames
// of the geometry with its chroma rounded so.
bool holdsWholeFrames(const Geometry* g, int32_t rounding, int64_t fileSize) {
    const FrameGeometry frame = {g->format, g->width, g->height, rounding};
    const int64_t bytes = frameBytes(&frame);
    return bytes > 0 && fileSize > 0 && fileSize % bytes == 0;
}

// The chroma layout, and why: see resolveGeometry.
void settleRounding(const GeometryRequest* request, const NameGuess* guess, int64_t fileSize, Geometry* g) {
    const char* word = g->formatFrom == GEOMETRY_FROM_FLAGS ? request->formatWord
                       : g->formatFrom == GEOMETRY_FROM_NAME ? guess->formatWord : nullptr;
    const bool up = holdsWholeFrames(g, CHROMA_ROUNDED_UP, fileSize);
    const bool down = holdsWholeFrames(g, CHROMA_ROUNDED_DOWN, fileSize);
    const bool flags = g->formatFrom == GEOMETRY_FROM_FLAGS;
    if (word && (flags || up == down)) {
        g->rounding = chromaRoundingOfWord(word, strlen(word));
        snprintf(g->layoutWhy, sizeof g->layoutWhy, "%s%s%s names %s layout", flags ? "--format " : "",
                 shownName(word).c_str(), flags ? "" : " in the file's name",
                 g->rounding == CHROMA_ROUNDED_DOWN ? "the viewer's" : "FFmpeg's");
    } else if (up != down) {
        g->rounding = up ? CHROMA_ROUNDED_UP : CHROMA_ROUNDED_DOWN;
        snprintf(g->layoutWhy, sizeof g->layoutWhy, "the file holds whole frames of %s layout only",
                 up ? "FFmpeg's" : "the viewer's");
    } else {
        g->rounding = CHROMA_ROUNDED_UP;
        snprintf(g->layoutWhy, sizeof g->layoutWhy, "FFmpeg's layout, as nothing names one");
    }
}

// A geometry the name had a part in is only taken when the file holds a
// whole number of its frames.
int checkAgainstFile(const Geometry* g, const char* name, int64_t fileSize, char* why, size_t whySize) {
    const FrameGeometry frame = {g->format, g->width, g->height, g->rounding};
    const int64_t frameBytes = ::frameBytes(&frame);
    char found[96];
    snprintf(found, sizeof found, "%dx%d %s%s", g->width, g->height, shownFormatName(g->format),
             g->formatFrom == GEOMETRY_BY_DEFAULT ? " (the default format)" : "");
    if (frameBytes < 0) {
        snprintf(why, whySize, "the name '%s' gives %s, a frame too large to hold", name, found);
        return GEOMETRY_REFUSED;
    }
    if (fileSize <= 0) {
        snprintf(why, whySize, "the name '%s' gives %s, but the file is empty", name, found);
        return GEOMETRY_REFUSED;
    }
    if (fileSize % frameBytes != 0) {
        snprintf(why, whySize,
                 "the name '%s' gives %s, but its %" PRId64 " bytes are not a whole number of "
                 "%" PRId64 "-byte frames (%" PRId64 " frames and %" PRId64 " bytes over); give --size "
                 "and --format",
                 name, found, fileSize, frameBytes, fileSize / frameBytes, fileSize % frameBytes);
        return GEOMETRY_REFUSED;
    }
    return GEOMETRY_RESOLVED;
}

} // namespace

int resolveGeometry(const GeometryRequest* request, const char* path, int64_t fileSize,
                    Geometry* geometry, char* why, size_t whySize) {
    NameGuess guess;
    guessFromName(path, &guess);
    const std::string shown = shownName(fileNamePart(path));
    const char* name = shown.c_str();
    if (whySize) why[0] = '\0';

    Geometry g;
    memset(&g, 0, sizeof g);
    int settled = settleSize(request, &guess, name, &g, why, whySize);
    if (settled != GEOMETRY_RESOLVED) return settled;
    settled = settleFormat(request, &guess, name, &g, why, whySize);
    if (settled != GEOMETRY_RESOLVED) return settled;
    settleRounding(request, &guess, fileSize, &g);
    // A size from the command line is taken as given: flags win over the name,
    // and a file that is no whole number of frames has a partial tail.
    const bool fromFlags = g.sizeFrom == GEOMETRY_FROM_FLAGS;
    if (!fromFlags && guess.deepSamples[0] && g.formatFrom != GEOMETRY_FROM_FLAGS) {
        snprintf(why, whySize,
                 "the name '%s' says '%s', samples wider than 8 bits, in no form read here; "
                 "give --format (yuv420p10le, p010le ...) and --size",
                 name, guess.deepSamples);
        return GEOMETRY_REFUSED;
    }
    if (!fromFlags && checkAgainstFile(&g, name, fileSize, why, whySize) != GEOMETRY_RESOLVED)
        return GEOMETRY_REFUSED;
    *geometry = g;
    return GEOMETRY_RESOLVED;
}
