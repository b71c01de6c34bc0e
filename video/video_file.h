// The open raw video: its geometry, the one frame buffer, and moving between
// frames. Pure C++ with no platform headers, so it is built and tested natively.
#pragma once

#include <cstdint>
#include <cstdio>

// One row per chroma sampling format. Rows are chosen by index (formatIndex).
struct ChromaFormat {
    int32_t code;             // 420, 422, 411 or 444, as openVideo receives it
    const char* name;         // "4:2:0" ...
    int32_t horizontalFactor; // chroma column = column / horizontalFactor
    int32_t verticalFactor;   // chroma row = row / verticalFactor
};

enum { CHROMA_FORMAT_COUNT = 4 };
extern const ChromaFormat chromaFormats[CHROMA_FORMAT_COUNT];

// The row whose code is `code`, or nullptr for a code we do not know.
const ChromaFormat* findChromaFormat(int32_t code);

enum { TITLE_SIZE = 64 };

struct VideoFile {
    FILE* file;             // open for binary reading, or nullptr when no video is open
    int32_t width;          // luma width in pixels
    int32_t height;         // luma height in lines
    int32_t chromaWidth;    // width of each chroma plane
    int32_t chromaHeight;   // height of each chroma plane
    int32_t frameBytes;     // width * height + 2 * chromaWidth * chromaHeight
    int32_t frameInterval;  // milliseconds per frame at the video's own rate
    uint8_t* frameBuffer;   // frameBytes bytes: the one frame held, or nullptr
    int64_t frameIndex;     // number of the frame in frameBuffer; -1 until the first read
    char title[TITLE_SIZE]; // file name without its folder, NUL-terminated
    const ChromaFormat* format; // the row the video was opened with
};

// Nonzero when a video is open with a frame buffer to read into.
int videoIsOpen(const VideoFile* video);

// Opens `path` with the given geometry. On any failure the record is left
// cleared (nothing half-open) and 0 is returned.
int openVideo(VideoFile* video, const char* path, int32_t width, int32_t height,
              int32_t formatCode, int32_t frameInterval);
// The same with a stream the caller has already opened for binary reading
// (a tool that names files its own way); the record owns it from then on and
// closes it on failure too.
int openVideoStream(VideoFile* video, FILE* file, int32_t width, int32_t height,
                    int32_t formatCode, int32_t frameInterval);
void closeVideo(VideoFile* video);
void clearVideo(VideoFile* video);

// Copies `title` into the record, cut to fit and always NUL-terminated.
void setVideoTitle(VideoFile* video, const char* title);

// Each of these leaves the record untouched when no video is open. The buffer
// always holds the whole frame numbered frameIndex (once there is one): a
// partial frame at the end of the file is never counted nor left shown.
int readNextFrame(VideoFile* video);
void rewindVideo(VideoFile* video);
void seekLastFrame(VideoFile* video);
void stepBack(VideoFile* video, int64_t n);

// Brings frame n (n >= 0) straight from its position. Nonzero when a whole
// frame was read; otherwise the record, the frame held and the position
// of the next read are as they were.
int seekFrame(VideoFile* video, int64_t n);

// The file's size in bytes, or -1 with no video open.
int64_t videoFileSize(const VideoFile* video);
