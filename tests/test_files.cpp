#include "tests/test_files.h"

#include <cstdio>
#include <filesystem>
#include <random>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {
struct ScratchFolder {
    fs::path path;
    ScratchFolder() {
        std::random_device entropy;
        path = fs::temp_directory_path() / ("corvane-tests-" + std::to_string(entropy()));
        fs::create_directories(path);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

const fs::path& scratchFolder() {
    static ScratchFolder folder;
    return folder.path;
}

int seek64(FILE* file, int64_t offset) {
#ifdef _WIN32
    return _fseeki64(file, offset, SEEK_SET);
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET);
#endif
}
} // namespace

std::string scratchPath(const std::string& name) {
    return (scratchFolder() / name).string();
}

void fillNumberedFrame(uint8_t* frame, size_t size, int64_t k) {
    for (size_t i = 0; i < size; ++i)
        frame[i] = static_cast<uint8_t>(static_cast<uint64_t>(k) >> (8 * (i % 8)));
}

int64_t numberInFrame(const uint8_t* frame) {
    uint64_t k = 0;
    for (int i = 7; i >= 0; --i) k = (k << 8) | frame[i];
    return static_cast<int64_t>(k);
}

std::string writeNumberedFile(const std::string& name, size_t frameBytes, int64_t frames,
                              size_t tailBytes) {
    std::string path = scratchPath(name);
    FILE* file = fopen(path.c_str(), "wb");
    if (!file) throw std::runtime_error("cannot write " + path);
    std::vector<uint8_t> frame(frameBytes);
    for (int64_t k = 0; k <= frames; ++k) {
        fillNumberedFrame(frame.data(), frame.size(), k);
        fwrite(frame.data(), 1, k < frames ? frameBytes : tailBytes, file);
    }
    fclose(file);
    return path;
}

std::string writeBytes(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::string path = scratchPath(name);
    FILE* file = fopen(path.c_str(), "wb");
    if (!file) throw std::runtime_error("cannot write " + path);
    if (!bytes.empty()) fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
    return path;
}

std::string writeSparseFile(const std::string& name, int64_t size, size_t frameBytes,
                            const std::vector<int64_t>& markedFrames) {
    std::string path = scratchPath(name);
    FILE* file = fopen(path.c_str(), "wb");
    if (!file) throw std::runtime_error("cannot write " + path);
    std::vector<uint8_t> frame(frameBytes);
    for (int64_t k : markedFrames) {
        fillNumberedFrame(frame.data(), frame.size(), k);
        seek64(file, k * static_cast<int64_t>(frameBytes));
        fwrite(frame.data(), 1, frame.size(), file);
    }
    // Writing the last byte sets the length without filling the hole before it.
    uint8_t zero = 0;
    seek64(file, size - 1);
    fwrite(&zero, 1, 1, file);
    fclose(file);
    return path;
}

bool openFrameBytes(VideoFile* video, const std::vector<uint8_t>& bytes, int32_t width,
                    int32_t height, int32_t formatCode) {
    static int counter = 0;
    std::string path = writeBytes("frame" + std::to_string(counter++) + ".yuv", bytes);
    clearVideo(video);
    if (!openVideo(video, path.c_str(), width, height, formatCode, 40)) return false;
    return readNextFrame(video) != 0;
}

std::vector<uint8_t> randomBytes(size_t count, uint32_t start) {
    std::mt19937 generator(start);
    std::vector<uint8_t> bytes(count);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(generator() >> 24);
    return bytes;
}

std::string readWholeFile(const std::string& path) {
    std::string text;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) return text;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
    fclose(file);
    return text;
}
