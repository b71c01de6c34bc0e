#include "snap/info.h"

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
#include "snap/files.h"
#include "snap/messages.h"
#include "video/frame_rate.h"

namespace {
struct Size {
    int32_t width, height;
};
// Sizes people meet besides the named ones: VGA, the test-sequence classes
// (WVGA, WQVGA, 2560x1600) and DCI 4K.
const Size otherCommonSizes[] = {{640, 480}, {832, 480}, {416, 240}, {2560, 1600}, {4096, 2160}};

void tryFit(std::vector<std::string>* out, int64_t fileSize, int32_t width, int32_t height, int* lines) {
    for (const ChromaFormat& format : chromaFormats) {
        const int64_t frameBytes = geometryFrameBytes(width, height, &format);
        if (frameBytes > 0 && fileSize > 0 && fileSize % frameBytes == 0) {
            const int64_t frames = fileSize / frameBytes;
            char text[128];
            snprintf(text, sizeof text, "%dx%d %s (%" PRId64 " frame%s)", width, height, format.name,
                     frames, frames == 1 ? "" : "s");
            out->push_back(text);
            *lines += 1;
        }
    }
}
} // namespace

void formatDuration(char* text, size_t size, int32_t frameInterval, int64_t frames) {
    const bool wraps = frameInterval > 0 && frames > int64_t{UINT32_MAX} / frameInterval;
    if (!wraps) {
        formatPositionText(text, size, frameInterval, frames);
        return;
    }
    const uint64_t ms = static_cast<uint64_t>(frameInterval) * static_cast<uint64_t>(frames);
    snprintf(text, size, " h%02" PRIu64 " : m%02u : s%02u : ms%03u : f%" PRId64, ms / 3600000u,
             static_cast<unsigned>(ms % 3600000u / 60000u), static_cast<unsigned>(ms % 60000u / 1000u),
             static_cast<unsigned>(ms % 1000u), frames);
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

int printInfo(const SnapJob* job, const InfoLines* info) {
    std::string text;
    if (!job->jsonPath) {
        for (const auto& line : info->lines)
            text += line.first + ": " + (line.first == "file" ? shownName(line.second.c_str()) : line.second) + "\n";
    } else {
        nlohmann::json j = nlohmann::json::object();
        for (const auto& line : info->lines) {
            if (line.first == "fits") j["fits"].push_back(line.second);
            else j[line.first] = infoValue(line.second);
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

} // namespace

int runInfo(const SnapJob* job) {
    std::string error;
    FILE* file = openInputFile(job->input, &error);
    if (!file) return snapFail("%s", error.c_str());
    const int64_t fileSize = toolFileSize(file);
    fclose(file);
    if (fileSize < 0) return snapFail("cannot find the size of %s", quotedName(job->input).c_str());

    InfoLines info;
    addLine(&info, "file", "%s", job->input);
    addLine(&info, "file bytes", "%" PRId64, fileSize);
    GeometryRequest request = {job->sizeGiven, job->width, job->height, job->format};
    Geometry geometry;
    char why[2048];
    const int resolved = resolveGeometry(&request, job->input, fileSize, &geometry, why, sizeof why);
    const int64_t frameBytes =
        resolved == GEOMETRY_RESOLVED
            ? geometryFrameBytes(geometry.width, geometry.height, geometry.format)
            : -1;
    if (resolved != GEOMETRY_RESOLVED || frameBytes <= 0) {
        if (resolved == GEOMETRY_RESOLVED)
            snprintf(why, sizeof why, "a %dx%d %s frame is too large to hold", geometry.width,
                     geometry.height, geometry.format->name);
        addLine(&info, "geometry", "none: %s", why);
        addFits(&info, fileSize);
        return printInfo(job, &info);
    }

    char source[64];
    describeGeometrySource(&geometry, source, sizeof source);
    const int32_t interval = frameIntervalFromRate(job->rateText ? job->rateText : "30");
    const int64_t whole = fileSize / frameBytes;
    char duration[POSITION_TEXT_SIZE + 32];
    formatDuration(duration, sizeof duration, interval, whole);
    addLine(&info, "width", "%d", geometry.width);
    addLine(&info, "height", "%d", geometry.height);
    addLine(&info, "format", "%s", geometry.format->name);
    addLine(&info, "source", "%s", source);
    addLine(&info, "bytes per frame", "%" PRId64, frameBytes);
    addLine(&info, "whole frames", "%" PRId64, whole);
    addLine(&info, "partial frame bytes", "%" PRId64, fileSize % frameBytes);
    addLine(&info, "frame rate", "%s", job->rateText ? job->rateText : "30");
    addLine(&info, "frame interval", "%d ms", interval);
    addLine(&info, "duration", "%s", duration + (duration[0] == ' ' ? 1 : 0));
    if (fileSize % frameBytes != 0 || whole == 0) addFits(&info, fileSize);
    return printInfo(job, &info);
}
