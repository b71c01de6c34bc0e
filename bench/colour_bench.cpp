// The picture builders at every size, format and content, with libyuv's
// conversion of the same frame and the memory floor beside them. Names are
// "<builder>/<format>/<width>x<height>/<content>" so that bench/table.py can
// pair them. "simd" is the fastest vector path this CPU runs, or the one named
// by CORVANE_COLOUR_PATH.
#include <benchmark/benchmark.h>
#include <libyuv/convert_argb.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>

#include "bench/bench_frames.h"
#include "render/colour_rows.h"
#include "render/separate.h"

namespace {

struct Frame {
    std::vector<uint8_t> bytes;
    VideoFile video;
    std::vector<uint8_t> picture; // 24-bit picture at pictureStride(width, 24)
};

std::shared_ptr<Frame> makeFrame(int width, int height, int code, const char* content) {
    auto f = std::make_shared<Frame>();
    const ChromaFormat* format = findChromaFormat(code);
    f->bytes = makeBenchFrame(width, height, format, content);
    f->video = benchVideo(width, height, format, f->bytes);
    f->picture.assign(size_t(pictureStride(width, 24) * height), 0);
    return f;
}

using Builder = std::function<void(Frame*)>;

void runBuilder(benchmark::State& state, std::shared_ptr<Frame> f, Builder build) {
    for (auto _ : state) {
        build(f.get());
        benchmark::DoNotOptimize(f->picture.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f->picture.size()));
}

Builder rowBuilder(ColourRow row, ColourRowPair pair = nullptr) {
    return [row, pair](Frame* f) {
        buildColourPictureWith(&f->video, f->video.format, f->picture.data(), row, pair);
    };
}

// libyuv's 24-bit "RGB24" is blue, green, red in memory, like our picture.
Builder libyuvBuilder(int code) {
    return [code](Frame* f) {
        const VideoFile& v = f->video;
        const uint8_t* y = v.frameBuffer;
        const uint8_t* u = y + int64_t{v.width} * v.height;
        const uint8_t* vp = u + int64_t{v.chromaWidth} * v.chromaHeight;
        const int stride = static_cast<int>(pictureStride(v.width, 24));
        uint8_t* out = f->picture.data();
        if (code == 420)
            libyuv::I420ToRGB24(y, v.width, u, v.chromaWidth, vp, v.chromaWidth, out, stride, v.width, v.height);
        else if (code == 422)
            libyuv::I422ToRGB24(y, v.width, u, v.chromaWidth, vp, v.chromaWidth, out, stride, v.width, v.height);
        else
            libyuv::I444ToRGB24(y, v.width, u, v.chromaWidth, vp, v.chromaWidth, out, stride, v.width, v.height);
    };
}

// What any builder must at least do: read the frame once and write the
// picture once.
void floorBuilder(Frame* f) {
    const size_t frameBytes = f->bytes.size(), pictureBytes = f->picture.size();
    const size_t copied = frameBytes < pictureBytes ? frameBytes : pictureBytes;
    memcpy(f->picture.data(), f->bytes.data(), copied);
    memset(f->picture.data() + copied, 0x55, pictureBytes - copied);
}

void separateBench(benchmark::State& state, std::shared_ptr<Frame> f, bool plainCopy) {
    const int64_t stride = pictureStride(separatePictureWidth(&f->video), 8);
    std::vector<uint8_t> picture(size_t(stride * f->video.height));
    // The plain copy moves as many bytes as the picture holds, from a buffer
    // of that size (the frame itself may be smaller).
    std::vector<uint8_t> source(picture.size(), 0x33);
    for (auto _ : state) {
        if (plainCopy) memcpy(picture.data(), source.data(), picture.size());
        else buildSeparatePicture(&f->video, picture.data());
        benchmark::DoNotOptimize(picture.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(picture.size()));
}

int registerColourBenchmarks() {
    const char* wanted = getenv("CORVANE_COLOUR_PATH");
    const char* simd = wanted && *wanted ? wanted : fastestColourPath();
    ColourRow simdRow = colourRowNamed(simd);
    if (!simdRow || strcmp(simd, "reference") == 0 || strcmp(simd, "scalar") == 0) simdRow = nullptr;

    for (const BenchSize& size : benchSizes) {
        for (int code : benchFormats) {
            for (const char* content : benchContents) {
                auto frame = makeFrame(size.width, size.height, code, content);
                const auto add = [&](const char* builder, Builder build) {
                    benchmark::RegisterBenchmark(
                        benchName(builder, code, size.width, size.height, content).c_str(),
                        runBuilder, frame, build)
                        ->Unit(benchmark::kMillisecond);
                };
                add("reference", rowBuilder(colourRowReference));
                add("scalar", rowBuilder(colourRowScalar));
                if (simdRow) add("simd", rowBuilder(simdRow, colourRowPairNamed(simd)));
                add("libyuv", libyuvBuilder(code));
                add("floor", floorBuilder);
                if (code == 420) {
                    for (bool plainCopy : {false, true})
                        benchmark::RegisterBenchmark(
                            benchName(plainCopy ? "memcpy" : "separate", code, size.width,
                                      size.height, content).c_str(),
                            separateBench, frame, plainCopy)
                            ->Unit(benchmark::kMillisecond);
                }
            }
        }
    }
    benchmark::AddCustomContext("simd_path", simdRow ? simd : "none");
    return 0;
}

const int registered = registerColourBenchmarks(); // before main runs the benchmarks

} // namespace
