// libFuzzer target over corvane-snap's text handling: the file-name guess,
// the geometry taken from it, and the command-line parser (which touches no
// file, so any argument list can be thrown at it). Besides the sanitizers'
// checks it asserts what the tool relies on: a guess only names sizes of at
// least 1x1, a geometry taken from a name divides the file, every refusal
// says why, a job that parses is complete, and frame names come out of the
// pattern as built (never through printf).
//
// Input layout: byte 0 chooses the part; bytes 1..8 are a file size
// (little-endian, signed); the rest is a file name, or for the parser the
// arguments separated by NUL bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/name_guess.h"
#include "tools/snap_args.h"

namespace {

void require(bool condition) {
    if (!condition) abort();
}

void fuzzName(const std::string& name, int64_t fileSize) {
    NameGuess guess;
    guessFromName(name.c_str(), &guess);
    require(guess.sizeCount >= 0 && guess.sizeCount <= 2);
    require(guess.formatCount >= 0 && guess.formatCount <= 2);
    if (guess.sizeCount) require(guess.width >= 1 && guess.height >= 1);
    if (guess.sizeCount == 2)
        require(guess.otherWidth != guess.width || guess.otherHeight != guess.height);
    if (guess.formatCount) require(findChromaFormat(guess.format->code) == guess.format);

    for (int flags = 0; flags < 4; ++flags) {
        GeometryRequest request = {flags & 1, 352, 288, flags & 2 ? findChromaFormat(444) : nullptr};
        Geometry geometry;
        char why[256];
        memset(why, 'x', sizeof why);
        const int result = resolveGeometry(&request, name.c_str(), fileSize, &geometry, why, sizeof why);
        require(memchr(why, '\0', sizeof why) != nullptr);
        if (result != GEOMETRY_RESOLVED) {
            require(why[0] != '\0');
            require(result == GEOMETRY_REFUSED || !request.sizeGiven);
            continue;
        }
        require(geometry.format != nullptr && geometry.width >= 1 && geometry.height >= 1);
        if (geometry.sizeFrom == GEOMETRY_FROM_NAME || geometry.formatFrom == GEOMETRY_FROM_NAME) {
            const int64_t bytes = geometryFrameBytes(geometry.width, geometry.height, geometry.format);
            require(bytes > 0 && fileSize > 0 && fileSize % bytes == 0);
        }
        if (request.sizeGiven) require(geometry.width == 352 && geometry.height == 288);
        if (request.format) require(geometry.format == request.format);
        char source[64];
        describeGeometrySource(&geometry, source, sizeof source);
    }
}

void fuzzArguments(const std::string& text, int64_t number) {
    std::vector<std::string> words(1, "corvane-snap");
    size_t start = 0;
    for (size_t i = 0; i <= text.size() && words.size() < 64; ++i)
        if (i == text.size() || text[i] == '\0') {
            words.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    std::vector<const char*> argv;
    for (const std::string& word : words) argv.push_back(word.c_str());
    argv.push_back(nullptr);

    SnapJob job;
    char error[256];
    memset(error, 'x', sizeof error);
    if (!parseSnapArguments(static_cast<int>(words.size()), argv.data(), &job, error, sizeof error)) {
        require(memchr(error, '\0', sizeof error) != nullptr && error[0] != '\0');
        return;
    }
    if (job.sizeGiven) require(job.width >= 1 && job.height >= 1);
    switch (job.mode) {
    case SNAP_EXPORT: {
        require(job.input && job.output);
        require(job.pictureType == PICTURE_BMP || job.pictureType == PICTURE_PNG);
        const bool several = job.frames.kind == FRAMES_RANGE || job.frames.kind == FRAMES_ALL;
        if (several) require(job.outputName.hasField);
        if (job.frames.kind == FRAMES_RANGE) require(job.frames.first <= job.frames.last);
        if (job.frames.kind != FRAMES_LAST) require(job.frames.first >= 0);
        // A frame's name is the pattern with the number put in: no '%' is
        // read as anything but text, so the name is bounded by the pattern.
        const std::string name = outputNameFor(&job.outputName, job.output, number < 0 ? -number : number);
        require(name.size() <= strlen(job.output) + 20 + 99);
        break;
    }
    case SNAP_INFO: require(job.input != nullptr); break;
    case SNAP_COMPARE: require(job.input && job.other); break;
    case SNAP_MAKE_SAMPLE: require(job.output && job.format && job.sampleFrames >= 1); break;
    case SNAP_HELP:
    case SNAP_VERSION: break;
    default: abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 9) return 0;
    uint64_t raw = 0;
    for (int i = 8; i >= 1; --i) raw = raw << 8 | data[i];
    const int64_t number = static_cast<int64_t>(raw);
    const std::string text(reinterpret_cast<const char*>(data + 9), size - 9);
    if (data[0] & 1) fuzzArguments(text, number == INT64_MIN ? 0 : number);
    else fuzzName(text.substr(0, text.find('\0')), number);
    return 0;
}
