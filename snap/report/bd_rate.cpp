#include "snap/report/bd_rate.h"

#include <algorithm>
#include <cmath>

namespace {

int signOf(double v) {
    return (v > 0) - (v < 0);
}

// The slope at an end from the two secants beside it (h0, m0 the nearer):
// the three-point estimate, kept from pointing against the data and, where
// the data turns, from overshooting.
double endSlope(double h0, double h1, double m0, double m1) {
    const double d = ((2 * h0 + h1) * m0 - h0 * m1) / (h0 + h1);
    if (signOf(d) != signOf(m0)) return 0;
    if (signOf(m0) != signOf(m1) && std::fabs(d) > 3 * std::fabs(m0)) return 3 * m0;
    return d;
}

// The integral from 0 to t of y + d t + c2 t^2 + c3 t^3.
double cubicArea(double y, double d, double c2, double c3, double t) {
    return t * (y + t * (d / 2 + t * (c2 / 3 + t * c3 / 4)));
}

// Least squares of the cubic c0 + c1 u + c2 u^2 + c3 u^3 through (u, y), by
// Householder reflections: the normal equations would square the powers'
// poor conditioning.
void fitCubic(const double* u, const double* y, int n, double c[4]) {
    std::vector<double> a(size_t(n) * 4), b(y, y + n), v(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < 4; ++j) a[size_t(j) * n + i] = std::pow(u[i], j);
    for (int j = 0; j < 4; ++j) {
        double* column = &a[size_t(j) * n];
        double norm = 0;
        for (int i = j; i < n; ++i) norm += column[i] * column[i];
        norm = std::sqrt(norm);
        const double alpha = column[j] > 0 ? -norm : norm;
        double vv = 0;
        for (int i = j; i < n; ++i) {
            v[i] = column[i] - (i == j ? alpha : 0);
            vv += v[i] * v[i];
        }
        if (vv == 0) continue;
        for (int k = j; k <= 4; ++k) {
            double* target = k < 4 ? &a[size_t(k) * n] : b.data();
            double dot = 0;
            for (int i = j; i < n; ++i) dot += v[i] * target[i];
            for (int i = j; i < n; ++i) target[i] -= 2 * dot / vv * v[i];
        }
    }
    for (int j = 3; j >= 0; --j) {
        double sum = b[j];
        for (int k = j + 1; k < 4; ++k) sum -= a[size_t(k) * n + j] * c[k];
        c[j] = sum / a[size_t(j) * n + j];
    }
}

bool byRateThenQuality(const RdPoint& a, const RdPoint& b) {
    return a.rate < b.rate || (a.rate == b.rate && a.quality < b.quality);
}

int fault(RdFault* f, int kind, const RdPoint* point, const RdPoint* previous, int points) {
    f->kind = kind;
    f->point = point ? *point : RdPoint();
    f->previous = previous ? *previous : RdPoint();
    f->points = points;
    return 0;
}

} // namespace

void pchipSlopes(const double* x, const double* y, int n, double* slopes) {
    std::vector<double> h(static_cast<size_t>(n - 1)), m(static_cast<size_t>(n - 1));
    for (int k = 0; k + 1 < n; ++k) {
        h[k] = x[k + 1] - x[k];
        m[k] = (y[k + 1] - y[k]) / h[k];
    }
    if (n == 2) {
        slopes[0] = slopes[1] = m[0];
        return;
    }
    for (int k = 1; k + 1 < n; ++k) {
        if (signOf(m[k - 1]) * signOf(m[k]) <= 0) {
            slopes[k] = 0; // a peak, a trough or a flat: the curve stays within the data
            continue;
        }
        // Weighted harmonic mean of the secants beside the point.
        const double w1 = 2 * h[k] + h[k - 1], w2 = h[k] + 2 * h[k - 1];
        slopes[k] = (w1 + w2) / (w1 / m[k - 1] + w2 / m[k]);
    }
    slopes[0] = endSlope(h[0], h[1], m[0], m[1]);
    slopes[n - 1] = endSlope(h[n - 2], h[n - 3], m[n - 2], m[n - 3]);
}

double pchipIntegral(const double* x, const double* y, int n, double low, double high) {
    std::vector<double> d(static_cast<size_t>(n));
    pchipSlopes(x, y, n, d.data());
    double area = 0;
    for (int k = 0; k + 1 < n; ++k) {
        const double from = std::max(low, x[k]), to = std::min(high, x[k + 1]);
        if (!(to > from)) continue;
        const double h = x[k + 1] - x[k], m = (y[k + 1] - y[k]) / h;
        const double c2 = (3 * m - 2 * d[k] - d[k + 1]) / h, c3 = (d[k] + d[k + 1] - 2 * m) / (h * h);
        area += cubicArea(y[k], d[k], c2, c3, to - x[k]) - cubicArea(y[k], d[k], c2, c3, from - x[k]);
    }
    return area;
}

double cubicFitIntegral(const double* x, const double* y, int n, double low, double high) {
    // Fitted on x mapped to [-1, 1], where the powers stay apart.
    const double centre = (x[0] + x[n - 1]) / 2, half = (x[n - 1] - x[0]) / 2;
    std::vector<double> u(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) u[i] = (x[i] - centre) / half;
    double c[4];
    fitCubic(u.data(), y, n, c);
    const double ul = (low - centre) / half, uh = (high - centre) / half;
    double area = 0;
    for (int j = 0; j < 4; ++j) area += c[j] * (std::pow(uh, j + 1) - std::pow(ul, j + 1)) / (j + 1);
    return area * half;
}

int prepareRdCurve(std::vector<RdPoint>* curve, RdFault* f) {
    std::vector<RdPoint>& p = *curve;
    if (p.size() < BD_MIN_POINTS) return fault(f, RD_TOO_FEW, nullptr, nullptr, int(p.size()));
    for (const RdPoint& point : p) {
        // Sorting needs numbers that compare.
        if (!std::isfinite(point.rate) || !std::isfinite(point.quality))
            return fault(f, RD_NOT_A_NUMBER, &point, nullptr, 0);
        if (!(point.rate > 0)) return fault(f, RD_RATE_NOT_ABOVE_0, &point, nullptr, 0);
    }
    std::stable_sort(p.begin(), p.end(), byRateThenQuality);
    // A row given twice is one point; the first of them names it.
    p.erase(std::unique(p.begin(), p.end(),
                        [](const RdPoint& a, const RdPoint& b) { return a.rate == b.rate && a.quality == b.quality; }),
            p.end());
    for (size_t k = 1; k < p.size(); ++k)
        if (!(p[k].quality > p[k - 1].quality) || p[k].rate == p[k - 1].rate)
            return fault(f, RD_NOT_RISING, &p[k], &p[k - 1], 0);
    if (p.size() < BD_MIN_POINTS) return fault(f, RD_TOO_FEW, nullptr, nullptr, int(p.size()));
    return 1;
}

int bdRate(const std::vector<RdPoint>& anchor, const std::vector<RdPoint>& test, int method, BdResult* result,
           RdFault* f) {
    // Prepared curves rise: their first and last points bound their qualities.
    const double low = std::max(anchor.front().quality, test.front().quality);
    const double high = std::min(anchor.back().quality, test.back().quality);
    if (!(high > low)) return fault(f, RD_NO_OVERLAP, nullptr, nullptr, 0);
    double area[2];
    const std::vector<RdPoint>* curves[2] = {&anchor, &test};
    for (int c = 0; c < 2; ++c) {
        const int n = int(curves[c]->size());
        std::vector<double> x(static_cast<size_t>(n)), y(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) {
            x[i] = (*curves[c])[i].quality;
            y[i] = std::log10((*curves[c])[i].rate);
        }
        area[c] = method == BD_POLY ? cubicFitIntegral(x.data(), y.data(), n, low, high)
                                    : pchipIntegral(x.data(), y.data(), n, low, high);
    }
    const double percent = (std::pow(10.0, (area[1] - area[0]) / (high - low)) - 1) * 100;
    if (!std::isfinite(percent)) return fault(f, RD_NOT_FINITE, nullptr, nullptr, 0);
    *result = {percent, low, high};
    return 1;
}
