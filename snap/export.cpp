#include "snap/export.h"

#include <chrono>
#include <climits>
#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "render/colour.h"
#include "render/separate.h"
#include "snap/writer/picture_file.h"
#include "snap/files.h"
#include "snap/queue.h"
#include "snap/messages.h"

namespace {

// One picture on its way to its file: pixels built on the reading thread,
// encoded (PNG) and written on a writing one.
struct Slot {
    int64_t frame;
    int32_t width, height;        // the picture's
    std::vector<uint8_t> bytes;   // BMP: the whole file; PNG: top-down pixels
    std::vector<uint8_t> encoded; // PNG: the file
    std::vector<uint8_t> scratch; // separate view, before it is turned bottom-up
};

int64_t pictureWidthOf(const VideoFile* video, const SnapJob* job) {
    return exportPictureWidth(video->width, video->format, job->separate);
}

// Y, U and V side by side at their own sizes, top-aligned, the rest black:
// the separate view of every format but 4:2:0 (whose U sits above V, as the
// viewer shows it). Top-down rows at `stride`.
void buildPlanesSideBySide(const VideoFile* video, uint8_t* pixels, int64_t stride) {
    const int64_t width = video->width, height = video->height;
    const int64_t chromaWidth = video->chromaWidth, chromaHeight = video->chromaHeight;
    const uint8_t* luma = video->frameBuffer;
    const uint8_t* u = luma + width * height;
    const uint8_t* v = u + chromaWidth * chromaHeight;
    for (int64_t r = 0; r < height; ++r) {
        uint8_t* out = pixels + r * stride;
        memcpy(out, luma + r * width, static_cast<size_t>(width));
        if (r < chromaHeight) {
            memcpy(out + width, u + r * chromaWidth, static_cast<size_t>(chromaWidth));
            memcpy(out + width + chromaWidth, v + r * chromaWidth, static_cast<size_t>(chromaWidth));
        } else {
            memset(out + width, 0, static_cast<size_t>(2 * chromaWidth));
        }
    }
}

void buildSeparate(const VideoFile* video, uint8_t* pixels, int64_t stride) {
    if (video->format->code == 420) buildSeparatePicture(video, pixels);
    else buildPlanesSideBySide(video, pixels, stride);
}

// The picture's bytes for the frame in `video`: for BMP the file itself.
int buildPicture(const VideoFile* video, const SnapJob* job, Slot* slot) {
    const int64_t wide = pictureWidthOf(video, job);
    const int32_t height = video->height;
    if (!pictureFits(wide, height, job->separate, job->pictureType)) return 0;
    const int32_t width = static_cast<int32_t>(wide);
    const int bits = job->separate ? 8 : 24;
    const int64_t stride = pictureStride(width, bits);
    const int64_t imageBytes = stride * height;
    slot->width = width;
    slot->height = height;

    if (job->pictureType == PICTURE_PNG) {
        // Row padding is never written, so it is cleared only when sized.
        if (slot->bytes.size() != static_cast<size_t>(imageBytes))
            slot->bytes.assign(static_cast<size_t>(imageBytes), 0);
        uint8_t* pixels = slot->bytes.data();
        if (job->separate) {
            buildSeparate(video, pixels, stride);
            return 1;
        }
        buildColourRows(video, video->format, pixels, stride);
        return 1;
    }

    const size_t header = bmpHeaderBytes(bits);
    if (slot->bytes.size() != header + static_cast<size_t>(imageBytes))
        slot->bytes.assign(header + static_cast<size_t>(imageBytes), 0);
    uint8_t* out = slot->bytes.data();
    uint8_t table[256 * 4];
    greyRamp(table);
    if (!writeBmpHeader(out, width, height, bits, bits == 8 ? table : nullptr)) return 0;
    uint8_t* image = out + header;
    if (!job->separate) {
        buildColourRows(video, video->format, image + (height - 1) * stride, -stride);
        return 1;
    }
    if (slot->scratch.size() != static_cast<size_t>(imageBytes))
        slot->scratch.assign(static_cast<size_t>(imageBytes), 0);
    buildSeparate(video, slot->scratch.data(), stride);
    for (int64_t r = 0; r < height; ++r)
        memcpy(image + (height - 1 - r) * stride, slot->scratch.data() + r * stride,
               static_cast<size_t>(stride));
    return 1;
}

// The file's bytes, once buildPicture has run: PNG is encoded here. Needs
// nothing of the video, which the reading thread is already moving on.
const std::vector<uint8_t>* fileBytes(const SnapJob* job, Slot* slot) {
    if (job->pictureType != PICTURE_PNG) return &slot->bytes;
    const int channels = job->separate ? 1 : 3;
    if (!encodePng(&slot->encoded, slot->bytes.data(), slot->width, slot->height,
                   pictureStride(slot->width, 8 * channels), channels))
        return nullptr;
    return &slot->encoded;
}

// Pictures pass from the reading thread to the writers as full slots; the
// writers hand them back as free ones. The first failure in frame order is kept.
struct Pipeline {
    WorkQueue full, free;
    std::mutex lock;                // guards what follows
    std::atomic<bool> failed{false};
    int64_t failedFrame = -1;
    std::string failure;
    std::atomic<int64_t> written{0};
};

// Encodes (PNG) and writes one picture, then hands its slot back.
void writePicture(Pipeline* pipeline, const SnapJob* job, const OutputGuard* guard, Slot* slot) {
    {
        const std::string name = outputNameFor(&job->outputName, job->output, slot->frame);
        const std::vector<uint8_t>* bytes = fileBytes(job, slot);
        std::string failure;
        if (!bytes) failure = "cannot encode " + quotedName(name.c_str()) + ": the picture is too large for PNG";
        if (bytes && writeWholeOutput(name.c_str(), bytes->data(), bytes->size(), guard, &failure)) {
            pipeline->written += 1;
        } else {
            std::lock_guard<std::mutex> hold(pipeline->lock);
            if (!pipeline->failed || slot->frame < pipeline->failedFrame) {
                pipeline->failedFrame = slot->frame;
                pipeline->failure = failure;
            }
            pipeline->failed = true;
        }
    }
    queuePut(&pipeline->free, slot);
}

void writePictures(Pipeline* pipeline, const SnapJob* job, const OutputGuard* guard) {
    while (Slot* slot = static_cast<Slot*>(queueTake(&pipeline->full))) writePicture(pipeline, job, guard, slot);
}

void showProgress(int64_t done, int64_t total, bool last) {
    fprintf(stderr, "\rcorvane-snap: %" PRId64 " of %" PRId64 " pictures written%s", done, total,
            last ? "\n" : "");
    fflush(stderr);
}

} // namespace

int64_t exportPictureWidth(int32_t width, const ChromaFormat* format, int separate) {
    if (!separate) return width;
    if (format->code == 420) return 3 * int64_t{width} / 2;
    return int64_t{width} + 2 * int64_t{width / format->horizontalFactor};
}

int pictureFits(int64_t width, int32_t height, int separate, int pictureType) {
    if (width <= 0 || width > INT32_MAX || height <= 0) return 0;
    if (pictureStride(static_cast<int32_t>(width), separate ? 8 : 24) * height > PICTURE_BYTE_LIMIT) return 0;
    // The PNG encoder works in int on its filtered rows, one byte more each.
    const int64_t channels = separate ? 1 : 3;
    return pictureType != PICTURE_PNG || (width * channels + 1) * height <= INT_MAX / 2;
}

int exportFrames(VideoFile* video, const SnapJob* job, const OutputGuard* guard, int64_t first,
                 int64_t last, int64_t* written, std::string* error) {
    *written = 0;
    error->clear();
    const int64_t total = last - first + 1;
    // Writing a BMP is one copy into the system; encoding a PNG is the work
    // itself, so PNG pictures are encoded on as many threads as there are cores.
    unsigned writers = 1;
    if (job->pictureType == PICTURE_PNG && total > 1) {
        const unsigned cores = std::thread::hardware_concurrency();
        writers = cores > 1 ? (cores < 8 ? cores : 8) : 1;
    }
    if (static_cast<int64_t>(writers) > total) writers = static_cast<unsigned>(total);

    Pipeline pipeline;
    std::vector<Slot> slots(writers + 1);
    for (Slot& slot : slots) queuePut(&pipeline.free, &slot);
    std::vector<std::thread> threads;
    // Without a second thread the pictures are written here, one at a time.
    try {
        for (unsigned i = 0; i < writers; ++i) threads.emplace_back(writePictures, &pipeline, job, guard);
    } catch (const std::system_error&) {
    }

    const bool progress = total > 1 && standardErrorIsTerminal();
    auto lastShown = std::chrono::steady_clock::now();
    bool readFailed = false, buildFailed = false;
    int64_t frame = first;
    for (; frame <= last && !pipeline.failed; ++frame) {
        Slot* slot = static_cast<Slot*>(queueTake(&pipeline.free));
        const int read = frame == first ? seekFrame(video, first) : readNextFrame(video);
        if (!read || video->frameIndex != frame) readFailed = true;
        else if (!buildPicture(video, job, slot)) buildFailed = true;
        if (readFailed || buildFailed) {
            queuePut(&pipeline.free, slot);
            break;
        }
        slot->frame = frame;
        if (threads.empty()) writePicture(&pipeline, job, guard, slot);
        else queuePut(&pipeline.full, slot);
        if (progress && std::chrono::steady_clock::now() - lastShown > std::chrono::milliseconds(250)) {
            showProgress(pipeline.written, total, false);
            lastShown = std::chrono::steady_clock::now();
        }
    }
    queueClose(&pipeline.full);
    for (std::thread& thread : threads) thread.join();
    *written = pipeline.written;
    if (progress) showProgress(pipeline.written, total, true);

    char text[160];
    if (pipeline.failed) {
        *error = pipeline.failure;
        return 0;
    }
    if (readFailed) {
        snprintf(text, sizeof text, "cannot read frame %" PRId64 " of ", frame);
        *error = text + quotedName(job->input);
        return 0;
    }
    if (buildFailed) {
        snprintf(text, sizeof text, "a %" PRId64 "x%d picture is too large to write", pictureWidthOf(video, job),
                 video->height);
        *error = text;
        return 0;
    }
    return 1;
}
