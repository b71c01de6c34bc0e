#include "snap/cli/rate.h"

#include <climits>
#include <cmath>
#include <cstring>

#include "snap/cli/values.h"

namespace {

int64_t greatestDivisor(int64_t a, int64_t b) {
    while (b) {
        const int64_t r = a % b;
        a = b;
        b = r;
    }
    return a;
}

// The closest fraction to d with terms at most `limit`: d times a power of
// two large enough to keep every bit, then reduced.
void fractionOf(double d, int64_t limit, int64_t* num, int64_t* den) {
    int exponent = 0;
    frexp(d, &exponent);
    exponent = exponent - 1 > 0 ? exponent - 1 : 0;
    const int64_t scale = int64_t{1} << (61 - exponent);
    const int64_t scaled = static_cast<int64_t>(floor(d * static_cast<double>(scale) + 0.5));
    reduceFraction(scaled, scale, limit, num, den);
    // Too small to show within the limit: allowed the full 31 bits instead.
    if ((*num == 0 || *den == 0) && d != 0 && limit < INT_MAX) reduceFraction(scaled, scale, INT_MAX, num, den);
}

} // namespace

int reduceFraction(int64_t num, int64_t den, int64_t limit, int64_t* outNum, int64_t* outDen) {
    int64_t a0n = 0, a0d = 1, a1n = 1, a1d = 0;
    const int64_t divisor = greatestDivisor(num, den);
    if (divisor) {
        num /= divisor;
        den /= divisor;
    }
    if (num <= limit && den <= limit) {
        a1n = num;
        a1d = den;
        den = 0;
    }
    while (den) {
        int64_t x = num / den;
        const int64_t nextDen = num - den * x;
        const int64_t a2n = x * a1n + a0n, a2d = x * a1d + a0d;
        if (a2n > limit || a2d > limit) {
            // The best semiconvergent within the limit, when it beats a1.
            if (a1n) x = (limit - a0n) / a1n;
            if (a1d) x = x < (limit - a0d) / a1d ? x : (limit - a0d) / a1d;
            // In 128 bits: both products may pass 64.
            using Wide = __int128;
            if (Wide{den} * (Wide{2} * x * a1d + a0d) > Wide{num} * a1d) {
                a1n = x * a1n + a0n;
                a1d = x * a1d + a0d;
            }
            break;
        }
        a0n = a1n;
        a0d = a1d;
        a1n = a2n;
        a1d = a2d;
        num = den;
        den = nextDen;
    }
    *outNum = a1n;
    *outDen = a1d;
    return den == 0;
}

int parseFrameRate(const char* text, int64_t* numerator, int64_t* denominator) {
    if (!text) return 0;
    const char* start = text;
    const char* end = text + strlen(text);
    while (start < end && *start == ' ') ++start;
    while (end > start && end[-1] == ' ') --end;
    int64_t num = 0, den = 0;
    const char* colon = static_cast<const char*>(memchr(start, ':', static_cast<size_t>(end - start)));
    const char* slash = static_cast<const char*>(memchr(start, '/', static_cast<size_t>(end - start)));
    if (colon) {
        int64_t a, b;
        if (slash || !readWholeNumberIn(start, colon, 1, INT_MAX, &a) || !readWholeNumberIn(colon + 1, end, 1, INT_MAX, &b))
            return 0;
        reduceFraction(a, b, RATE_TERM_LIMIT, &num, &den);
    } else {
        double a, b = 1;
        if (!readDecimalIn(start, slash ? slash : end, &a)) return 0;
        if (slash && !readDecimalIn(slash + 1, end, &b)) return 0;
        const double d = a / b;
        if (!(d > 0) || d > INT_MAX) return 0;
        fractionOf(d, RATE_TERM_LIMIT, &num, &den);
    }
    if (num <= 0 || den <= 0) return 0;
    *numerator = num;
    *denominator = den;
    return 1;
}
