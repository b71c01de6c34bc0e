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
#include "snap/io/output.h"
#include "video/frame_rate.h"

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

namespace {

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
    return writeDocument("-", text, nullptr, nullptr) ? 0 : 2;
}


// Says why no geometry was found, and which common ones would fit.
int printNoGeometry(const SnapJob* job, int64_t fileSize, const std::string& why) {
    InfoLines lines;
    InfoLines* info = &lines;
    addInfoLine(info, "file", "%s", job->input);
    addInfoLine(info, "file bytes", "%" PRId64 "", fileSize);
    addInfoLine(info, "geometry", "none: %s", why.c_str());
    addFittingGeometries(info, fileSize);
    return printInfo(job, info);
}

} // namespace

int runInfo(const SnapJob* job) {
    Source s;
    std::string error;
    const GeometryRequest asked = {job->sizeGiven, job->width, job->height, job->format, job->formatWord};
    if (!openSource(&s, job->input, &asked, &error)) {
        // A raw file whose geometry is not known is described as far as it can be.
        if (s.geometryUnknown) return printNoGeometry(job, s.fileBytes, error);
        return snapFail("%s", error.c_str());
    }
    char rate[64];
    if (job->rateText || !s.rateNumerator) snprintf(rate, sizeof rate, "%s", job->rateText ? job->rateText : "30");
    else if (s.rateDenominator == 1) snprintf(rate, sizeof rate, "%" PRId64, s.rateNumerator);
    else snprintf(rate, sizeof rate, "%" PRId64 "/%" PRId64, s.rateNumerator, s.rateDenominator);
    // --rate as the fraction it was read into, so that 30000/1001 is 33 ms as 29.97 is.
    const int64_t rateNumerator = job->rateText ? job->rateNumerator : s.rateNumerator;
    const int64_t rateDenominator = job->rateText ? job->rateDenominator : s.rateDenominator;
    const int64_t wholeInterval = rateNumerator ? 1000 * rateDenominator / rateNumerator : 0;
    const int32_t interval = !rateNumerator ? frameIntervalFromRate(rate)
                                            : static_cast<int32_t>(wholeInterval < INT32_MAX ? wholeInterval : INT32_MAX);
    char source[64], duration[POSITION_TEXT_SIZE + 32];
    describeGeometrySource(&s, source, sizeof source);
    InfoLines lines;
    InfoLines* info = &lines;
    formatDuration(duration, sizeof duration, interval, s.frameCount);
    addInfoLine(info, "file", "%s", job->input);
    addInfoLine(info, "file bytes", "%" PRId64 "", s.fileBytes);
    if (s.kind->container) addInfoLine(info, "container", "%s", s.kind->container);
    addInfoLine(info, "width", "%d", s.geometry.width);
    addInfoLine(info, "height", "%d", s.geometry.height);
    addInfoLine(info, "format", "%s", shownFormatName(s.geometry.format));
    addInfoLine(info, "source", "%s", source);
    if (roundingChangesLayout(&s.geometry))
        addInfoLine(info, "chroma", "rounded %s (%s)", s.geometry.rounding == CHROMA_ROUNDED_UP ? "up" : "down",
                    s.layoutWhy);
    addInfoLine(info, "bytes per frame", "%" PRId64 "", s.frameBytes);
    addInfoLine(info, "whole frames", "%" PRId64 "", s.frameCount);
    addInfoLine(info, "partial frame bytes", "%" PRId64 "", s.partialBytes);
    addInfoLine(info, "frame rate", "%s", rate);
    addInfoLine(info, "frame interval", "%d ms", interval);
    addInfoLine(info, "duration", "%s", duration + (duration[0] == ' ' ? 1 : 0));
    if (s.kind->describe) s.kind->describe(&s, info);
    closeSource(&s);
    return printInfo(job, info);
}
