// The Bjøntegaard delta rate of two rate-distortion curves: how much more
// (or, negative, less) rate TEST needs than ANCHOR for the same quality, on
// average over the qualities both reach. Pure numbers in, numbers out; the
// tables are read and the figures written by the --bd-rate driver.
//
// Each curve is log10(rate) as a function of quality, integrated over the
// overlap [low, high] of the two quality ranges:
//   BD-rate = (10^((integral TEST - integral ANCHOR) / (high - low)) - 1) x 100 %.
// BD_PCHIP interpolates the points with a piecewise cubic Hermite curve whose
// slopes are Fritsch and Carlson's monotone ones, the three-point shape-keeping
// slope at either end (the common test conditions' method); BD_POLY fits one
// cubic by least squares (the original method, exact for four points).
#pragma once

#include <cstdint>
#include <vector>

enum { BD_PCHIP, BD_POLY };

struct RdPoint {
    double rate, quality;
    int64_t row; // where the caller found it, for its messages; not used here
};

// What makes a curve or a pair of curves unusable.
enum {
    RD_USABLE,
    RD_TOO_FEW,          // fewer than BD_MIN_POINTS distinct points
    RD_NOT_A_NUMBER,     // `point` holds an infinity or a NaN
    RD_RATE_NOT_ABOVE_0, // `point`
    RD_NOT_RISING,       // `point`'s quality is not above `previous`'s, at a higher or the same rate
    RD_NO_OVERLAP,       // the two quality ranges share no interval
    RD_NOT_FINITE,       // the figure is out of range of a double
};
enum { BD_MIN_POINTS = 4 };

struct RdFault {
    int kind;
    RdPoint point, previous;
    int points; // RD_TOO_FEW: the distinct points there are
};

// Sorts the curve by rate (then quality), drops exact repeats of a point and
// checks that it has BD_MIN_POINTS points of rate above 0 whose quality rises
// strictly with the rate. Nonzero when it does; otherwise 0 and `fault`.
int prepareRdCurve(std::vector<RdPoint>* curve, RdFault* fault);

struct BdResult {
    double percent;   // negative: TEST needs less rate
    double low, high; // the qualities both curves reach
};

// The BD-rate of two curves prepared by prepareRdCurve, by `method`.
// Nonzero with `result`; otherwise 0 and `fault` (RD_NO_OVERLAP, RD_NOT_FINITE).
int bdRate(const std::vector<RdPoint>& anchor, const std::vector<RdPoint>& test, int method, BdResult* result,
           RdFault* fault);

// The parts, for the tests. x rises strictly; n >= 2 (pchip), n >= 4 (cubic);
// low and high lie within [x[0], x[n-1]].
// The monotone Hermite slopes at each of the n points.
void pchipSlopes(const double* x, const double* y, int n, double* slopes);
// The integral of the piecewise cubic Hermite curve through (x, y) from low to high.
double pchipIntegral(const double* x, const double* y, int n, double low, double high);
// The least-squares cubic through (x, y) integrated from low to high.
double cubicFitIntegral(const double* x, const double* y, int n, double low, double high);
