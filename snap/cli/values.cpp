#include "snap/cli/values.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "snap/cli/words.h"
#include "snap/format/name_guess.h"

int readWholeNumberIn(const char* start, const char* end, int64_t low, int64_t high, int64_t* value) {
    if (!start || start == end) return 0;
    const bool negative = *start == '-';
    const char* p = start + (*start == '-' || *start == '+');
    if (p == end) return 0;
    // Counted towards the limit that applies, so that no digit string overflows.
    const uint64_t limit = negative ? uint64_t{0} - static_cast<uint64_t>(low < 0 ? low : 0)
                                    : static_cast<uint64_t>(high > 0 ? high : 0);
    uint64_t n = 0;
    for (; p < end; ++p) {
        if (*p < '0' || *p > '9') return 0;
        const unsigned digit = static_cast<unsigned>(*p - '0');
        if (n > limit / 10 || digit > limit - n * 10) return 0;
        n = n * 10 + digit;
    }
    const int64_t signedValue = negative ? static_cast<int64_t>(uint64_t{0} - n) : static_cast<int64_t>(n);
    if (signedValue < low || signedValue > high) return 0;
    *value = signedValue;
    return 1;
}

int readWholeNumber(const char* text, int64_t low, int64_t high, int64_t* value) {
    return text && readWholeNumberIn(text, text + strlen(text), low, high, value);
}

int readDecimalIn(const char* start, const char* end, double* value) {
    if (!start || start == end) return 0;
    // strtod alone would also read hexadecimal, infinities and NaN.
    for (const char* p = start; p < end; ++p)
        if (!strchr("0123456789.eE+-", *p) || !*p) return 0;
    const std::string text(start, end);
    char* stop = nullptr;
    const double parsed = strtod(text.c_str(), &stop);
    if (stop != text.c_str() + text.size() || !std::isfinite(parsed)) return 0;
    *value = parsed;
    return 1;
}

int readDecimal(const char* text, double* value) {
    return text && readDecimalIn(text, text + strlen(text), value);
}

int readPictureSize(const char* text, int32_t* width, int32_t* height) {
    if (!text) return 0;
    for (const NamedSize& size : namedSizes) {
        if (sameWordAnyCase(text, size.name)) {
            *width = size.width;
            *height = size.height;
            return 1;
        }
    }
    const char* x = strpbrk(text, "xX*");
    int64_t w, h;
    if (!x || !readWholeNumberIn(text, x, 1, INT32_MAX, &w) || !readWholeNumber(x + 1, 1, INT32_MAX, &h))
        return 0;
    *width = static_cast<int32_t>(w);
    *height = static_cast<int32_t>(h);
    return 1;
}

int readFrameChoice(const char* text, FrameChoice* choice) {
    int64_t first, last;
    if (!text) return 0;
    if (!strcmp(text, "last")) {
        choice->kind = FRAMES_LAST;
        return 1;
    }
    if (!strcmp(text, "all")) {
        *choice = {FRAMES_ALL, 0, INT64_MAX};
        return 1;
    }
    const char* dash = strchr(text, '-');
    if (dash && dash != text) {
        if (!readWholeNumberIn(text, dash, 0, INT64_MAX, &first) || !readWholeNumber(dash + 1, 0, INT64_MAX, &last))
            return 0;
        choice->kind = FRAMES_RANGE;
        if (last < first) return 0;
        *choice = {FRAMES_RANGE, first, last};
        return 1;
    }
    if (!readWholeNumber(text, 0, INT64_MAX, &first)) return 0;
    *choice = {FRAMES_ONE, first, first};
    return 1;
}
