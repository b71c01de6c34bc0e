// corvane-snap's measures on one 1080p 4:2:0 frame pair, per path: SSIM at 8
// and 10 bits, and the PSNR sums. A pair differs by mild noise, as an encoded
// frame differs from its source.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "snap/metric/psnr.h"
#include "snap/metric/ssim.h"

namespace {

constexpr int WIDTH = 1920, HEIGHT = 1080;

struct Pair {
    std::vector<uint16_t> a, b; // words; bytes use the low 8 bits copied out
    std::vector<uint8_t> a8, b8;
    MetricFrame frameA, frameB;
};

// Smooth gradients and a little noise in b, at `depth` bits.
Pair makePair(int depth) {
    Pair pair;
    const size_t luma = size_t(WIDTH) * HEIGHT, chroma = luma / 4;
    pair.a.resize(luma + 2 * chroma);
    pair.b.resize(pair.a.size());
    uint32_t state = 12345;
    const int peak = (1 << depth) - 1;
    for (size_t i = 0; i < pair.a.size(); ++i) {
        state = state * 1664525u + 1013904223u;
        const int value = int((i % WIDTH) * peak / WIDTH / 2 + (i / WIDTH) % 64 * peak / 256);
        const int noise = int(state >> 28) - 8;
        pair.a[i] = uint16_t(value);
        pair.b[i] = uint16_t(value + noise < 0 ? 0 : value + noise > peak ? peak : value + noise);
    }
    pair.a8.assign(pair.a.begin(), pair.a.end());
    pair.b8.assign(pair.b.begin(), pair.b.end());
    const int bytes = depth > 8 ? 2 : 1;
    const uint8_t* a = depth > 8 ? reinterpret_cast<const uint8_t*>(pair.a.data()) : pair.a8.data();
    const uint8_t* b = depth > 8 ? reinterpret_cast<const uint8_t*>(pair.b.data()) : pair.b8.data();
    const int32_t widths[3] = {WIDTH, WIDTH / 2, WIDTH / 2}, heights[3] = {HEIGHT, HEIGHT / 2, HEIGHT / 2};
    pair.frameA = {3, depth, {}};
    pair.frameB = {3, depth, {}};
    size_t at = 0;
    for (int p = 0; p < 3; ++p) {
        pair.frameA.plane[p] = {a + at, ptrdiff_t(widths[p]) * bytes, widths[p], heights[p]};
        pair.frameB.plane[p] = {b + at, ptrdiff_t(widths[p]) * bytes, widths[p], heights[p]};
        at += size_t(widths[p]) * heights[p] * bytes;
    }
    return pair;
}

void ssimFrameBench(benchmark::State& state, const char* path, int depth) {
    const SsimRows* rows = ssimRowsNamed(path);
    if (!rows) {
        state.SkipWithError("not on this CPU");
        return;
    }
    const Pair pair = makePair(depth);
    SsimFrame result;
    for (auto _ : state) {
        ssimFrameWith(rows, &pair.frameA, &pair.frameB, &result);
        benchmark::DoNotOptimize(result);
    }
    state.SetItemsProcessed(state.iterations());
}

void psnrFrameBench(benchmark::State& state, const char* path, int depth) {
    const PsnrSums* sums = psnrSumsNamed(path);
    if (!sums) {
        state.SkipWithError("not on this CPU");
        return;
    }
    const Pair pair = makePair(depth);
    PsnrFrame result;
    for (auto _ : state) {
        psnrFrameWith(sums, &pair.frameA, &pair.frameB, &result);
        benchmark::DoNotOptimize(result);
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK_CAPTURE(ssimFrameBench, scalar/8bit/1920x1080, "scalar", 8)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ssimFrameBench, avx2/8bit/1920x1080, "avx2", 8)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ssimFrameBench, scalar/10bit/1920x1080, "scalar", 10)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ssimFrameBench, avx2/10bit/1920x1080, "avx2", 10)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(psnrFrameBench, scalar/8bit/1920x1080, "scalar", 8)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(psnrFrameBench, avx2/8bit/1920x1080, "avx2", 8)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(psnrFrameBench, scalar/10bit/1920x1080, "scalar", 10)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(psnrFrameBench, avx2/10bit/1920x1080, "avx2", 10)->Unit(benchmark::kMillisecond);

} // namespace
