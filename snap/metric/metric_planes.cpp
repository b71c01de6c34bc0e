#include "snap/metric/metric_planes.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

bool planeUsable(const MetricPlane* p, int depth) {
    if (p->width < 0 || p->height < 0) return false;
    if (p->width == 0 || p->height == 0) return true; // nothing is read
    if (!p->data) return false;
    const int bytes = depth > 8 ? 2 : 1;
    if (p->stride < ptrdiff_t{p->width} * bytes) return false;
    return bytes == 1 || (reinterpret_cast<uintptr_t>(p->data) % 2 == 0 && p->stride % 2 == 0);
}

} // namespace

int metricFramesAgree(const MetricFrame* a, const MetricFrame* b) {
    if (a->planes != b->planes || (a->planes != 1 && a->planes != 3)) return 0;
    if (a->depth != b->depth || a->depth < 8 || a->depth > 16) return 0;
    for (int p = 0; p < a->planes; ++p) {
        if (a->plane[p].width != b->plane[p].width || a->plane[p].height != b->plane[p].height) return 0;
        if (!planeUsable(&a->plane[p], a->depth) || !planeUsable(&b->plane[p], b->depth)) return 0;
    }
    return 1;
}

int formatMetricNumber(char* text, size_t size, double value, int decimals) {
    // FFmpeg's NaN comes from 0/0, whose sign bit x86 sets, and prints as -nan.
    if (std::isnan(value)) return snprintf(text, size, "-nan");
    if (std::isinf(value)) return snprintf(text, size, value > 0 ? "inf" : "-inf");
    return snprintf(text, size, "%.*f", decimals, value);
}

int metricPathRuns(const char* name) {
    if (strcmp(name, "scalar") == 0) return 1;
#if defined(__x86_64__)
    __builtin_cpu_init(); // may be reached before the constructor that reads the CPU
    if (strcmp(name, "avx2") == 0) return __builtin_cpu_supports("avx2");
#endif
    return 0;
}
