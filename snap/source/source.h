// Where corvane-snap's frames come from: one record of functions per kind of
// input file and a table to pick from by the file's first bytes. A source
// owns its file and its geometry (from flags, a header, the file's name or
// the default); drivers never open INPUT themselves, they ask openSource.
// Frames come out at their own depth and layout, exactly as stored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "snap/format/frame_format.h"
#include "snap/source/y4m_header.h"

// Where a geometry's size or format came from, most trusted first.
enum { GEOMETRY_FROM_FLAGS = 1, GEOMETRY_FROM_HEADER, GEOMETRY_FROM_NAME, GEOMETRY_BY_DEFAULT };

// What the command line gave: sizeGiven nonzero with width and height, and
// format or nullptr.
struct GeometryRequest {
    int sizeGiven;
    int32_t width, height;
    const FrameFormat* format;
};

struct SourceState {
    const char* path;
    FILE* file;
    int64_t fileBytes;
    FrameGeometry geometry;
    int64_t frameBytes;   // one frame's samples as stored
    int64_t frameCount;   // whole frames
    int64_t partialBytes; // bytes of a frame cut short at the end (0 when none)
    int sizeFrom, formatFrom; // GEOMETRY_FROM_...
    int geometryUnknown;      // open failed only because no geometry could be settled
    int64_t rateNumerator, rateDenominator; // the file's own rate; 0 when it has none
    int64_t position;     // where the file stands, so that frames in order need no seek
    // Y4M only.
    Y4mHeader y4m;
    int64_t frameHeaderBytes;        // the first FRAME header's length
    std::vector<int64_t> frameStarts; // each frame's samples, once an index pass was needed
    int indexed;
    const struct FrameSource* kind;
};

struct FrameSource {
    const char* name; // "raw", "y4m"
    // Nonzero when a file starting with these bytes is of this kind.
    int (*probe)(const uint8_t* head, size_t size);
    // Fills in the geometry and frame count of the file open in `s`.
    int (*open)(SourceState* s, const GeometryRequest* asked, std::string* error);
    // Reads frame `index` (below frameCount) into `frame`, frameBytes long.
    int (*read)(SourceState* s, int64_t index, uint8_t* frame, std::string* error);
    void (*close)(SourceState* s);
};

extern const FrameSource rawSource;
extern const FrameSource y4mSource;

// Opens `path` (a regular file) with the first source whose probe takes it.
// Nonzero on success; otherwise `error` is one line and nothing is left open.
int openSource(SourceState* s, const char* path, const GeometryRequest* asked, std::string* error);
int readSourceFrame(SourceState* s, int64_t index, uint8_t* frame, std::string* error);
void closeSource(SourceState* s);

// Reads exactly `count` bytes at `offset` of the source's file (seeking only
// when not already there). Nonzero on success; otherwise `error` says why.
int readSourceBytes(SourceState* s, int64_t offset, uint8_t* bytes, size_t count, std::string* error);

// "flags", "header", "file name", "flags and file name", with " (format 4:2:0
// by default)" when the format came from nowhere.
void describeGeometrySource(const SourceState* s, char* text, size_t size);
