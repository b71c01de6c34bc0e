// libFuzzer target over the portable core: a geometry, a format, a file's
// bytes and a sequence of frame movements and picture builds, all taken from
// the input. Besides the sanitizers' own checks it asserts what the viewer
// relies on: the buffer holds the whole frame that frameIndex names, the fast
// colour picture equals the reference one, and nothing is written outside the
// pictures (everything around them is poisoned, so AddressSanitizer sees any
// overrun).
//
// Input layout (every field optional: a short input just ends the run early):
//   byte 0, 1   width, height: 0..199 as they stand, above that a table of
//               awkward values (negative, odd, overflowing)
//   byte 2      format: 420, 422, 411, 444 or a code the program does not know
//   byte 3      frame interval, signed
//   byte 4, 5   the file's length (little-endian), cut to what the input holds
//   then        the file's bytes, then one byte per operation (some take an
//               argument byte after them)
#include <sanitizer/asan_interface.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "render/colour.h"
#include "render/position_text.h"
#include "render/separate.h"
#include "video/frame_rate.h"
#include "video/video_file.h"

namespace {

// Pictures beyond this many pixels are not built. Every case the builders
// tell apart (row widths against the vector steps, odd edges, chroma past the
// planes, rows with and without a partner) shows in smaller pictures, while
// the pixel-by-pixel reference of the largest ones took most of each run.
// Single rows of 46341 and 65536 pixels are still built.
const int64_t PICTURE_PIXEL_LIMIT = 1 << 16;

// Frames that fit in 32 bits but take more than this are not opened. The
// limit is above the largest frame of a picture that is built (4:4:4, three
// bytes a pixel) and above the largest file (64 KiB), so a larger frame is
// never whole and takes the same paths as one just over the file's size,
// while clearing its buffer on every open costs time. Larger geometries that
// overflow are still opened, to see them refused.
const int64_t OPEN_BYTES_LIMIT = int64_t{1} << 18;
static_assert(OPEN_BYTES_LIMIT >= 3 * PICTURE_PIXEL_LIMIT, "every picture that is built can be opened");

int worthOpening(int32_t width, int32_t height, int32_t code) {
    const ChromaFormat* format = findChromaFormat(code);
    if (!format || width < 0 || height < 0) return 1;
    const int64_t chroma = int64_t{width / format->horizontalFactor} * (height / format->verticalFactor);
    const int64_t luma = int64_t{width} * height;
    if (luma > INT32_MAX || chroma > INT32_MAX) return 1;
    const int64_t frame = luma + 2 * chroma;
    return frame <= OPEN_BYTES_LIMIT || frame > INT32_MAX;
}

class Input {
  public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool empty() const { return at_ >= size_; }
    uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    const uint8_t* take(size_t* n) {
        if (*n > size_ - at_) *n = size_ - at_;
        const uint8_t* start = data_ + at_;
        at_ += *n;
        return start;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

int32_t dimension(uint8_t b) {
    static const int32_t awkward[] = {-1, -5, 352, 288, 351, 287, 46341, 65536, INT32_MAX, 100000};
    if (b < 200) return b;
    return awkward[(b - 200) % (sizeof awkward / sizeof awkward[0])];
}

int32_t formatCode(uint8_t b) {
    static const int32_t codes[] = {420, 422, 411, 444, 0, 421};
    return codes[b % (sizeof codes / sizeof codes[0])];
}

void fail(const char* what) {
    fprintf(stderr, "invariant broken: %s\n", what);
    abort();
}

// The video file, kept in memory and written in place for each input: a new
// file on disk per input cost more than everything the core does with it.
// The core opens it by name, as the viewer opens any file.
struct MemoryFile {
    int fd = -1;
    std::string path;
};

const MemoryFile& memoryFile() {
    static const MemoryFile file = [] {
        MemoryFile made;
        made.fd = memfd_create("corvane-fuzz.yuv", 0);
        if (made.fd < 0) fail("no in-memory file");
        made.path = "/proc/self/fd/" + std::to_string(made.fd);
        return made;
    }();
    return file;
}

void writeFile(const MemoryFile& file, const uint8_t* bytes, size_t size) {
    if (ftruncate(file.fd, static_cast<off_t>(size)) != 0 ||
        pwrite(file.fd, bytes, size, 0) != static_cast<ssize_t>(size))
        fail("cannot write the in-memory file");
}

// A picture's bytes, from one allocation kept across inputs: a fresh
// allocation of a large picture costs page faults and clears that outweigh
// building it. Everything around the picture is poisoned, so that
// AddressSanitizer still reports a write past either end as it would on an
// allocation of exactly the picture's size.
class PictureStore {
  public:
    uint8_t* take(size_t bytes, uint8_t fill) {
        const size_t needed = GUARD + bytes + GUARD;
        if (needed > capacity_) {
            ASAN_UNPOISON_MEMORY_REGION(base_, capacity_);
            free(base_);
            base_ = static_cast<uint8_t*>(malloc(needed));
            if (!base_) fail("no memory for a picture");
            capacity_ = needed;
        }
        ASAN_POISON_MEMORY_REGION(base_, capacity_);
        uint8_t* picture = base_ + GUARD;
        ASAN_UNPOISON_MEMORY_REGION(picture, bytes);
        memset(picture, fill, bytes);
        return picture;
    }

  private:
    static const size_t GUARD = 64; // a multiple of the shadow's 8-byte granule
    uint8_t* base_ = nullptr;
    size_t capacity_ = 0;
};

// The buffer must hold exactly the bytes of frame frameIndex whenever that
// frame lies whole in the file.
void checkFrame(const VideoFile* video, const uint8_t* file, size_t fileSize) {
    if (!videoIsOpen(video)) return;
    if (video->frameIndex < -1) fail("frame number below -1");
    if (video->frameIndex < 0 || video->frameBytes <= 0) return;
    const int64_t start = video->frameIndex * video->frameBytes;
    if (start + video->frameBytes > static_cast<int64_t>(fileSize)) return;
    if (memcmp(video->frameBuffer, file + start, static_cast<size_t>(video->frameBytes)) != 0)
        fail("buffer does not hold the frame it is numbered as");
}

void buildPictures(const VideoFile* video) {
    if (!videoIsOpen(video) || !video->format) return;
    const int64_t width = video->width;
    const int64_t height = video->height;
    if (width <= 0 || height <= 0 || width * height > PICTURE_PIXEL_LIMIT) return;

    static PictureStore fastStore, referenceStore, separateStore;
    const size_t colourBytes = static_cast<size_t>(pictureStride(width, 24) * height);
    uint8_t* fast = fastStore.take(colourBytes, 0xA5);
    uint8_t* reference = referenceStore.take(colourBytes, 0xA5);
    buildColourPicture(video, video->format, fast);
    buildColourPictureReference(video, video->format, reference);
    if (memcmp(fast, reference, colourBytes) != 0) fail("colour picture differs from the reference");

    const int64_t separateWidth = separatePictureWidth(video);
    if (separateWidth <= 0) return;
    const size_t separateBytes = static_cast<size_t>(pictureStride(separateWidth, 8) * height);
    buildSeparatePicture(video, separateStore.take(separateBytes, 0));
}

void positionTexts(const VideoFile* video, uint8_t sizeByte) {
    char text[POSITION_TEXT_SIZE];
    videoPositionText(video, text, sizeof text);
    if (strnlen(text, sizeof text) == sizeof text) fail("position text not terminated");
    // A short buffer is cut, never overrun.
    std::vector<char> small(sizeByte % 24 + 1);
    formatPositionText(small.data(), small.size(), video->frameInterval, video->frameIndex);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input input(data, size);
    const int32_t width = dimension(input.byte());
    const int32_t height = dimension(input.byte());
    const int32_t code = formatCode(input.byte());
    const int32_t interval = static_cast<int8_t>(input.byte());
    size_t fileSize = input.byte();
    fileSize |= static_cast<size_t>(input.byte()) << 8;
    const uint8_t* fileBytes = input.take(&fileSize);

    const MemoryFile& file = memoryFile();
    writeFile(file, fileBytes, fileSize);
    const char* path = file.path.c_str();

    VideoFile video;
    clearVideo(&video);
    const int open = worthOpening(width, height, code);
    if (open) openVideo(&video, path, width, height, code, interval);
    checkFrame(&video, fileBytes, fileSize);

    int pictures = 0;
    for (int step = 0; step < 64 && !input.empty(); ++step) {
        const uint8_t op = input.byte();
        switch (op % 12) {
        case 0: readNextFrame(&video); break;
        case 1: rewindVideo(&video); break;
        case 2: seekLastFrame(&video); break;
        case 3: stepBack(&video, static_cast<int8_t>(input.byte())); break;
        case 4: stepBack(&video, int64_t{input.byte()} << 40); break;
        case 5: seekFrame(&video, static_cast<int8_t>(input.byte())); break;
        case 6: seekFrame(&video, INT64_MAX - input.byte()); break;
        case 7:
            // A few builds an input find what many would, at a fraction of the time.
            if (pictures++ < 4) buildPictures(&video);
            break;
        case 8: positionTexts(&video, input.byte()); break;
        case 9: closeVideo(&video); break;
        case 10:
            if (open) openVideo(&video, path, width, height, code, interval);
            break;
        case 11: {
            // Titles and rate texts of any length and content.
            size_t n = input.byte() % 96;
            const uint8_t* text = input.take(&n);
            std::string copy(reinterpret_cast<const char*>(text), n);
            setVideoTitle(&video, copy.c_str());
            if (strnlen(video.title, TITLE_SIZE) == TITLE_SIZE) fail("title not terminated");
            // The interval is 1000 / rate truncated toward zero, held at the
            // 32-bit limits, and 0 where there is no finite quotient.
            const double rate = atof(copy.c_str());
            const double quotient = 1000.0 / rate;
            const double interval = frameIntervalFromRate(copy.c_str());
            const bool truncated = quotient >= 0 ? interval <= quotient && quotient < interval + 1
                                                 : interval >= quotient && quotient > interval - 1;
            const bool limit = (interval == INT32_MAX && quotient >= INT32_MAX) ||
                               (interval == INT32_MIN && quotient <= INT32_MIN);
            const bool none = interval == 0 && (rate == 0 || rate != rate);
            if (!truncated && !limit && !none) fail("rate interval is not 1000 / rate");
            break;
        }
        }
        checkFrame(&video, fileBytes, fileSize);
    }
    closeVideo(&video);
    return 0;
}
