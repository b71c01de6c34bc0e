// The whole frame path as the player runs it: readNextFrame from a file in
// the page cache, then the colour picture. bench/table.py turns the median
// wall-clock time (which counts the read's time in the kernel) into frames/s.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <unistd.h>

#include "bench/bench_frames.h"
#include "render/colour.h"

namespace {

enum { FILE_FRAMES = 4 };

void framePath(benchmark::State& state, int width, int height, int code) {
    const ChromaFormat* format = findChromaFormat(code);
    const std::string path = "/tmp/corvane_bench_" + std::to_string(getpid()) + "_" +
                             std::to_string(width) + "x" + std::to_string(height) + ".yuv";
    std::vector<uint8_t> frame = makeBenchFrame(width, height, format, "random");
    FILE* file = fopen(path.c_str(), "wb");
    if (!file) {
        state.SkipWithError("cannot write the frame file");
        return;
    }
    for (int i = 0; i < FILE_FRAMES; ++i) fwrite(frame.data(), 1, frame.size(), file);
    fclose(file);

    VideoFile video;
    clearVideo(&video);
    if (!openVideo(&video, path.c_str(), width, height, code, 40)) {
        remove(path.c_str());
        state.SkipWithError("cannot open the frame file");
        return;
    }
    std::vector<uint8_t> picture(size_t(pictureStride(width, 24) * height));
    // One untimed pass: the first touch of fresh buffer pages costs far more
    // than a frame (about 10 us a page on the build machine), and a run of
    // one or two iterations would otherwise measure that instead.
    while (readNextFrame(&video)) buildColourPicture(&video, video.format, picture.data());
    rewindVideo(&video);
    for (auto _ : state) {
        if (!readNextFrame(&video)) rewindVideo(&video); // the file just written is in the page cache
        buildColourPicture(&video, video.format, picture.data());
        benchmark::DoNotOptimize(picture.data());
        benchmark::ClobberMemory();
    }
    closeVideo(&video);
    remove(path.c_str());
}

int registerFrameBenchmarks() {
    for (const BenchSize& size : {BenchSize{1920, 1080}, BenchSize{3840, 2160}})
        for (int code : {420, 422, 444})
            benchmark::RegisterBenchmark(benchName("frame", code, size.width, size.height, "random").c_str(),
                                         framePath, size.width, size.height, code)
                ->Unit(benchmark::kMillisecond);
    return 0;
}

const int registered = registerFrameBenchmarks(); // before main runs the benchmarks

} // namespace
