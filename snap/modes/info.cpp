#include "snap/modes/info.h"

#include <cerrno>
#include <cinttypes>
#include <cctype>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "render/position_text.h"
#include "snap/io/files.h"
#include "snap/source/source.h"
#include "snap/io/messages.h"

namespace {
struct Size {
    int32_t width, height;
};
// Sizes people meet besides the named ones: VGA, the test-sequence classes
// (WVGA, WQVGA, 2560x1600) and DCI 4K.
const Size otherCommonSizes[] = {{640, 480}, {832, 480}, {416, 240}, {2560, 1600}, {4096, 2160}};

void tryFit(std::vector<std::string>* out, int64_t fileSize, int32_t width, int32_t height, int* lines) {
    // Today's four 8-bit formats: deeper ones would match the same sizes
    // by accident (a 10-bit 4:2:0 frame is an 8-bit 4:4:4 one) and say nothing.
    for (const FrameFormat* format : {&frameFormats[FORMAT_YUV420P], &frameFormats[FORMAT_YUV422P],
                                      &frameFormats[FORMAT_YUV411P], &frameFormats[FORMAT_YUV444P]}) {
        const FrameGeometry geometry = {format, width, height, CHROMA_ROUNDED_DOWN};
        const int64_t frameBytes = ::frameBytes(&geometry);
        if (frameBytes > 0 && fileSize > 0 && fileSize % frameBytes == 0) {
            const int64_t frames = fileSize / frameBytes;
            char text[128];
            snprintf(text, sizeof text, "%dx%d %s (%" PRId64 " frame%s)", width, height, shownFormatName(format),
                     frames, frames == 1 ? "" : "s");
            out->push_back(text);
            *lines += 1;
        }
    }
}
} // namespace

namespace {

// A whole number of any size in decimal: the hours of a slow enough rate pass 64 bits.
std::string wideDecimal(unsigned __int128 n) {
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(n % 10)));
        n /= 10;
    } while (n);
    return digits.size() < 2 ? "0" + digits : digits;
}

} // namespace

void formatDuration(char* text, size_t size, int64_t rateNumerator, int64_t rateDenominator, int64_t frames) {
    // frames / rate, in whole milliseconds, from the rate's own fraction: a
    // rounded interval times the count drifts (30 fps is not 33 ms a frame).
    using Wide = unsigned __int128;
    const bool known = rateNumerator > 0 && rateDenominator > 0 && frames > 0;
    const Wide ms = known ? Wide(frames) * 1000u * Wide(rateDenominator) / Wide(rateNumerator) : 0;
    const unsigned rest = static_cast<unsigned>(ms % 3600000u);
    snprintf(text, size, " h%s : m%02u : s%02u : ms%03u : f%" PRId64, wideDecimal(ms / 3600000u).c_str(),
             rest / 60000u, rest % 60000u / 1000u, rest % 1000u, frames);
}

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

namespace {

// The lines --info prints, kept as keys and values so that JSON says the same.
struct InfoLines {
    std::vector<std::pair<std::string, std::string>> lines;
};

void addLine(InfoLines* info, const char* key, const char* format, ...) __attribute__((format(printf, 3, 4)));
void addLine(InfoLines* info, const char* key, const char* format, ...) {
    char value[4096];
    va_list args;
    va_start(args, format);
    vsnprintf(value, sizeof value, format, args);
    va_end(args);
    info->lines.emplace_back(key, value);
}

// listFittingGeometries' lines, as "fits" values.
void addFits(InfoLines* info, int64_t fileSize) {
    std::vector<std::string> fits;
    listFittingGeometries(&fits, fileSize);
    for (const std::string& value : fits) info->lines.emplace_back("fits", value);
}

// A whole decimal number as a JSON number; any other value as text.
nlohmann::json infoValue(const std::string& value) {
    char* end = nullptr;
    errno = 0;
    const long long n = strtoll(value.c_str(), &end, 10);
    if (!value.empty() && !errno && !*end && (isdigit(static_cast<unsigned char>(value[0])) || value[0] == '-'))
        return n;
    // A rate such as 29.97 is a number too.
    if (!value.empty() && value.find_first_not_of("0123456789.") == std::string::npos &&
        isdigit(static_cast<unsigned char>(value[0]))) {
        const double real = strtod(value.c_str(), &end);
        if (!*end) return real;
    }
    return value;
}

// One line as JSON. The rate's note ("25 (no rate in the file; 25 by
// default)") goes beside it, so that "frame rate" stays a number.
void addJsonValue(nlohmann::json* j, const std::string& key, const std::string& value) {
    const size_t open = value.find(" (");
    if (key == "frame rate" && open != std::string::npos && value.back() == ')') {
        (*j)[key] = infoValue(value.substr(0, open));
        (*j)[key + " note"] = value.substr(open + 2, value.size() - open - 3);
        return;
    }
    (*j)[key] = infoValue(value);
}

int printInfo(const SnapJob* job, const InfoLines* info) {
    std::string text;
    if (!job->jsonPath) {
        for (const auto& line : info->lines)
            text += line.first + ": " + (line.first == "file" ? shownName(line.second.c_str()) : line.second) + "\n";
    } else {
        nlohmann::json j = nlohmann::json::object();
        for (const auto& line : info->lines) {
            if (line.first == "fits") j["fits"].push_back(line.second);
            else addJsonValue(&j, line.first, line.second);
        }
        text = j.dump(1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
        if (strcmp(job->jsonPath, "-") != 0) {
            OutputGuard guard;
            clearGuard(&guard);
            guardFile(&guard, job->input, "INPUT");
            std::string error;
            if (!writeWholeOutput(job->jsonPath, text.data(), text.size(), &guard, &error))
                return snapFail("--json: %s", error.c_str());
            return 0;
        }
    }
    if (fwrite(text.data(), 1, text.size(), stdout) != text.size() || fflush(stdout) != 0)
        return snapFail("cannot write to standard output: %s", strerror(errno ? errno : EIO));
    return 0;
}


// The Y4M header's own fields, after the ones every input has.
void printY4mFields(InfoLines* info, const SourceState* s) {
    const Y4mHeader* h = &s->y4m;
    addLine(info, "y4m colour", "%s", h->colour->tag);
    addLine(info, "y4m interlacing", "%c", h->interlacing);
    addLine(info, "y4m aspect", "%d:%d", h->aspectNumerator, h->aspectDenominator);
    addLine(info, "y4m header bytes", "%" PRId64, h->headerBytes);
    addLine(info, "y4m frame header bytes", "%" PRId64 "%s", s->frameHeaderBytes,
           s->indexed ? " (they differ: the frames were indexed)" : "");
    addLine(info, "y4m extensions", "%d", h->extensionCount);
}

// Says why no geometry was found, and which common ones would fit.
int printNoGeometry(const SnapJob* job, int64_t fileSize, const std::string& why) {
    InfoLines lines;
    InfoLines* info = &lines;
    addLine(info, "file", "%s", job->input);
    addLine(info, "file bytes", "%" PRId64 "", fileSize);
    addLine(info, "geometry", "none: %s", why.c_str());
    addFits(info, fileSize);
    return printInfo(job, info);
}

// The rate --info describes the file at: --rate as typed and as the fraction
// it was read into (so that 30000/1001 is 33 ms as 29.97 is), else the file's
// own, else the default every mode takes, said to be one.
struct InfoRate {
    char text[64];
    int64_t numerator, denominator;
    int32_t interval; // whole milliseconds a frame, held at the 32-bit limit
};

void chooseInfoRate(const SnapJob* job, const SourceState* s, InfoRate* rate) {
    rate->numerator = job->rateText ? job->rateNumerator : s->rateNumerator;
    rate->denominator = job->rateText ? job->rateDenominator : s->rateDenominator;
    if (job->rateText) {
        snprintf(rate->text, sizeof rate->text, "%s", job->rateText);
    } else if (!s->rateNumerator) {
        rate->numerator = SNAP_DEFAULT_RATE;
        rate->denominator = 1;
        snprintf(rate->text, sizeof rate->text, "%d (no rate in the file; %d by default)", SNAP_DEFAULT_RATE,
                 SNAP_DEFAULT_RATE);
    } else if (s->rateDenominator == 1) {
        snprintf(rate->text, sizeof rate->text, "%" PRId64, s->rateNumerator);
    } else {
        snprintf(rate->text, sizeof rate->text, "%" PRId64 "/%" PRId64, s->rateNumerator, s->rateDenominator);
    }
    const int64_t whole = 1000 * rate->denominator / rate->numerator;
    rate->interval = static_cast<int32_t>(whole < INT32_MAX ? whole : INT32_MAX);
}

} // namespace

int runInfo(const SnapJob* job) {
    SourceState s;
    std::string error;
    const GeometryRequest asked = {job->sizeGiven, job->width, job->height, job->format};
    if (!openSource(&s, job->input, &asked, &error)) {
        // A raw file whose geometry is not known is described as far as it can be.
        if (s.geometryUnknown) return printNoGeometry(job, s.fileBytes, error);
        return snapFail("%s", error.c_str());
    }
    const bool y4m = s.kind == &y4mSource;
    InfoRate rate;
    chooseInfoRate(job, &s, &rate);
    char source[64], duration[POSITION_TEXT_SIZE + 32];
    describeGeometrySource(&s, source, sizeof source);
    InfoLines lines;
    InfoLines* info = &lines;
    formatDuration(duration, sizeof duration, rate.numerator, rate.denominator, s.frameCount);
    addLine(info, "file", "%s", job->input);
    addLine(info, "file bytes", "%" PRId64 "", s.fileBytes);
    if (y4m) addLine(info, "container", "%s", "YUV4MPEG2");
    addLine(info, "width", "%d", s.geometry.width);
    addLine(info, "height", "%d", s.geometry.height);
    addLine(info, "format", "%s", shownFormatName(s.geometry.format));
    addLine(info, "source", "%s", source);
    addLine(info, "bytes per frame", "%" PRId64 "", s.frameBytes);
    addLine(info, "whole frames", "%" PRId64 "", s.frameCount);
    addLine(info, "partial frame bytes", "%" PRId64 "", s.partialBytes);
    addLine(info, "frame rate", "%s", rate.text);
    addLine(info, "frame interval", "%d ms", rate.interval);
    addLine(info, "duration", "%s", duration + (duration[0] == ' ' ? 1 : 0));
    if (y4m) printY4mFields(info, &s);
    else if (s.partialBytes != 0 || s.frameCount == 0) addFits(info, s.fileBytes);
    closeSource(&s);
    return printInfo(job, info);
}
