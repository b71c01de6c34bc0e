#include "video/video_file.h"

#include <climits>
#include <cstdlib>
#include <cstring>

const ChromaFormat chromaFormats[CHROMA_FORMAT_COUNT] = {
    {420, "4:2:0", 2, 2},
    {422, "4:2:2", 2, 1},
    {411, "4:1:1", 4, 1},
    {444, "4:4:4", 1, 1},
};

const ChromaFormat* findChromaFormat(int32_t code) {
    for (const ChromaFormat& format : chromaFormats)
        if (format.code == code) return &format;
    return nullptr;
}

// Positions are 64-bit so that every frame of a file past 2 or 4 GiB is reachable.
static int seekTo(FILE* file, int64_t offset, int whence) {
#ifdef _WIN32
    return _fseeki64(file, offset, whence);
#else
    return fseeko(file, static_cast<off_t>(offset), whence);
#endif
}

static int64_t tellPosition(FILE* file) {
#ifdef _WIN32
    return _ftelli64(file);
#else
    return static_cast<int64_t>(ftello(file));
#endif
}

// One read request of a whole frame. Bytes the file does not supply keep their
// previous contents. Nonzero only when the frame was read without reaching the
// end of the file and without an error; `got` says how many bytes came.
static int readFrame(VideoFile* video, size_t* got = nullptr) {
    clearerr(video->file);
    size_t read = fread(video->frameBuffer, 1, static_cast<size_t>(video->frameBytes), video->file);
    if (got) *got = read;
    return !feof(video->file) && !ferror(video->file);
}

int videoIsOpen(const VideoFile* video) {
    return video->file != nullptr && video->frameBuffer != nullptr;
}

void clearVideo(VideoFile* video) {
    memset(video, 0, sizeof *video);
}

void closeVideo(VideoFile* video) {
    if (video->file) fclose(video->file);
    free(video->frameBuffer);
    clearVideo(video);
}

void setVideoTitle(VideoFile* video, const char* title) {
    size_t length = title ? strnlen(title, TITLE_SIZE - 1) : 0;
    if (length) memcpy(video->title, title, length);
    video->title[length] = '\0';
}

int openVideo(VideoFile* video, const char* path, int32_t width, int32_t height,
              int32_t formatCode, int32_t frameInterval) {
    if (video->file || video->frameBuffer) closeVideo(video);

    FILE* file = fopen(path, "rb");
    if (!file) return 0;
    return openVideoStream(video, file, width, height, formatCode, frameInterval);
}

int openVideoStream(VideoFile* video, FILE* file, int32_t width, int32_t height,
                    int32_t formatCode, int32_t frameInterval) {
    if (video->file || video->frameBuffer) closeVideo(video);
    if (!file) return 0;

    const ChromaFormat* format = findChromaFormat(formatCode);
    if (!format || width < 0 || height < 0) {
        fclose(file);
        clearVideo(video);
        return 0;
    }

    // 4:2:0 and 4:2:2 halve the width; 4:1:1 quarters it; truncating divisions.
    int32_t chromaWidth = width / format->horizontalFactor;
    int32_t chromaHeight = height / format->verticalFactor;
    // Each product fits in 64 bits; the frame must fit in 32.
    const int64_t lumaBytes = int64_t{width} * height;
    const int64_t chromaBytes = int64_t{chromaWidth} * chromaHeight;
    const int64_t frameBytes =
        lumaBytes <= INT32_MAX && chromaBytes <= INT32_MAX ? lumaBytes + 2 * chromaBytes : INT64_MAX;

    // A zero-sized frame still gets a byte of buffer so that "open" stays a
    // single test on the record; the reads ask for zero bytes.
    uint8_t* buffer = nullptr;
    if (frameBytes <= INT32_MAX)
        buffer = static_cast<uint8_t*>(calloc(frameBytes > 0 ? static_cast<size_t>(frameBytes) : 1, 1));
    if (!buffer) {
        fclose(file);
        clearVideo(video);
        return 0;
    }

    video->file = file;
    video->width = width;
    video->height = height;
    video->chromaWidth = chromaWidth;
    video->chromaHeight = chromaHeight;
    video->frameBytes = static_cast<int32_t>(frameBytes);
    video->frameInterval = frameInterval;
    video->frameBuffer = buffer;
    video->frameIndex = -1;
    video->title[0] = '\0';
    video->format = format;
    return 1;
}

// After a read that brought no whole frame (a partial frame at the end read
// over the front of the buffer, or a seek past the end): bring back the frame
// whose number is kept, and the position just after it, so that what is shown
// is always that frame and never a mix of two, and the next read follows it.
static void restoreCurrentFrame(VideoFile* video) {
    if (ferror(video->file)) return;
    if (video->frameIndex < 0) {
        seekTo(video->file, 0, SEEK_SET);
        return;
    }
    seekTo(video->file, video->frameIndex * video->frameBytes, SEEK_SET);
    readFrame(video);
}

int readNextFrame(VideoFile* video) {
    if (!videoIsOpen(video)) return 0;
    // Empty frames never reach an end: stop counting at the largest number.
    if (video->frameIndex == INT64_MAX) return 0;
    size_t got = 0;
    if (readFrame(video, &got)) {
        video->frameIndex += 1;
        return 1;
    }
    if (got > 0) restoreCurrentFrame(video);
    return 0;
}

void rewindVideo(VideoFile* video) {
    if (!videoIsOpen(video)) return;
    seekTo(video->file, 0, SEEK_SET);
    readFrame(video);
    video->frameIndex = 0;
}

void seekLastFrame(VideoFile* video) {
    if (!videoIsOpen(video)) return;
    // With empty frames there is no last one; stay where we are.
    if (video->frameBytes == 0) return;
    seekTo(video->file, 0, SEEK_END);
    const int64_t wholeFrames = tellPosition(video->file) / video->frameBytes;
    // The last whole frame, not the last frameBytes bytes of the file: with a
    // partial frame at the end those would straddle two frames. A file with
    // no whole frame reads what it has from the start, as frame -1.
    const int64_t last = wholeFrames > 0 ? wholeFrames - 1 : 0;
    seekTo(video->file, last * video->frameBytes, SEEK_SET);
    readFrame(video);
    video->frameIndex = wholeFrames - 1;
}

void stepBack(VideoFile* video, int64_t n) {
    if (!videoIsOpen(video) || n < 0) return;
    if (video->frameIndex < n) {
        rewindVideo(video);
        return;
    }
    seekTo(video->file, (video->frameIndex - n) * video->frameBytes, SEEK_SET);
    readFrame(video);
    video->frameIndex -= n;
}

int seekFrame(VideoFile* video, int64_t n) {
    if (!videoIsOpen(video) || n < 0) return 0;
    if (video->frameBytes > 0 && n > INT64_MAX / video->frameBytes) return 0;
    if (seekTo(video->file, n * video->frameBytes, SEEK_SET) != 0) return 0;
    if (!readFrame(video)) {
        restoreCurrentFrame(video);
        return 0;
    }
    video->frameIndex = n;
    return 1;
}

int64_t videoFileSize(const VideoFile* video) {
    if (!videoIsOpen(video)) return -1;
    int64_t here = tellPosition(video->file);
    seekTo(video->file, 0, SEEK_END);
    int64_t size = tellPosition(video->file);
    seekTo(video->file, here, SEEK_SET);
    return size;
}
