#include "snap/modes/info.h"

#include <cerrno>
#include <cinttypes>
#include <cctype>
#include <cmath>
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

// A line's name as a JSON key: "whole frames" is whole_frames.
std::string snakeCase(const std::string& name) {
    std::string key = name;
    for (char& c : key)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
    return key;
}

// The durations in seconds, as numbers beside the status bar's text; NaN
// where there is no geometry to time.
struct InfoSeconds {
    double interval, duration;
};

// One line as JSON. The rate's note ("25 (no rate in the file; 25 by
// default)") goes beside it, so that frame_rate stays a number; each
// duration's seconds go beside its text.
void addJsonValue(nlohmann::json* j, const std::string& name, const std::string& value, const InfoSeconds* seconds) {
    const std::string key = snakeCase(name);
    const size_t open = value.find(" (");
    if (key == "frame_rate" && open != std::string::npos && value.back() == ')') {
        (*j)[key] = infoValue(value.substr(0, open));
        (*j)[key + "_note"] = value.substr(open + 2, value.size() - open - 3);
        return;
    }
    (*j)[key] = infoValue(value);
    if (key == "frame_interval") (*j)["frame_interval_seconds"] = seconds->interval;
    if (key == "duration") (*j)["duration_seconds"] = seconds->duration;
}

int printInfo(const SnapJob* job, const InfoLines* info, const InfoSeconds* seconds) {
    std::string text;
    if (!job->jsonPath) {
        for (const auto& line : info->lines)
            text += line.first + ": " + (line.first == "file" ? shownName(line.second.c_str()) : line.second) + "\n";
    } else {
        nlohmann::json j = nlohmann::json::object();
        for (const auto& line : info->lines) {
            if (line.first == "fits") j["fits"].push_back(line.second);
            else addJsonValue(&j, line.first, line.second, seconds);
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
    const InfoSeconds none = {NAN, NAN};
    return printInfo(job, info, &none);
}

// The rate --info describes the file at: --rate as typed and as the fraction
// it was read into (so that 30000/1001 is 33 ms as 29.97 is), else the file's
// own, else the default every mode takes, said to be one.
struct InfoRate {
    char text[64];
    int64_t numerator, denominator;
    int32_t interval; // whole milliseconds a frame, held at the 32-bit limit
};

void chooseInfoRate(const SnapJob* job, const Source* s, InfoRate* rate) {
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
    Source s;
    std::string error;
    const GeometryRequest asked = {job->sizeGiven, job->width, job->height, job->format, job->formatWord};
    if (!openSource(&s, job->input, &asked, &error)) {
        // A raw file whose geometry is not known is described as far as it can be.
        if (s.geometryUnknown) return printNoGeometry(job, s.fileBytes, error);
        return snapFail("%s", error.c_str());
    }
    // A stream is counted by reading it through; one that breaks off is
    // described as far as it was read.
    if (s.stream && !readSourceToEnd(&s, &error)) snapNote("%s", error.c_str());
    InfoRate rate;
    chooseInfoRate(job, &s, &rate);
    char source[64], duration[POSITION_TEXT_SIZE + 32];
    describeGeometrySource(&s, source, sizeof source);
    InfoLines lines;
    InfoLines* info = &lines;
    formatDuration(duration, sizeof duration, rate.numerator, rate.denominator, s.frameCount);
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
    addInfoLine(info, "frame rate", "%s", rate.text);
    addInfoLine(info, "frame interval", "%d ms", rate.interval);
    addInfoLine(info, "duration", "%s", duration + (duration[0] == ' ' ? 1 : 0));
    if (s.kind->describe) s.kind->describe(&s, info);
    // The rate's own fraction, as the text's milliseconds are taken from it.
    const double perFrame = double(rate.denominator) / double(rate.numerator);
    const InfoSeconds seconds = {perFrame, double(s.frameCount) * perFrame};
    closeSource(&s);
    return printInfo(job, info, &seconds);
}
