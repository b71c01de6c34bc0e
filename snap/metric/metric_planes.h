// The planes a metric reads: two frames of the same geometry, planes in,
// numbers out. Samples of 8 bits are bytes; deeper samples are 16-bit words in
// the machine's order (little-endian on every target), each plane's start and
// stride a whole number of words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

struct MetricPlane {
    const uint8_t* data; // first sample of the top row
    ptrdiff_t stride;    // bytes from one row to the next
    int32_t width;       // samples
    int32_t height;
};

struct MetricFrame {
    int planes;          // 1 (grey) or 3 (Y, U, V)
    int depth;           // bits per sample, 8 to 16
    MetricPlane plane[3];
};

// Nonzero when both frames have the same depth and plane sizes, a depth of 8
// to 16, one or three planes (empty ones allowed) and, for words, aligned rows.
int metricFramesAgree(const MetricFrame* a, const MetricFrame* b);

// Writes `value` with `decimals` digits as printf's %.*f would, except that
// infinities and NaN are always "inf", "-inf" and "-nan" (as FFmpeg prints
// them), whatever the C runtime. The count of characters written, as snprintf.
int formatMetricNumber(char* text, size_t size, double value, int decimals);

// Nonzero when this build and CPU run the code path of that name ("scalar",
// "avx2").
int metricPathRuns(const char* name);

// Of a metric's code paths (records with a `name`, slowest first), the one
// named, or nullptr when there is none or this CPU cannot run it.
template <typename Path>
const Path* metricPathNamed(const Path* const* paths, int count, const char* name) {
    for (int i = 0; name && i < count; ++i)
        if (strcmp(paths[i]->name, name) == 0 && metricPathRuns(name)) return paths[i];
    return nullptr;
}

// The fastest of them this CPU runs; the first (scalar) runs everywhere.
template <typename Path>
const Path* fastestMetricPath(const Path* const* paths, int count) {
    for (int i = count - 1; i > 0; --i)
        if (metricPathRuns(paths[i]->name)) return paths[i];
    return paths[0];
}
