// Where corvane-snap's frames come from: one record of functions per kind of
// input file and a table to pick from by the file's first bytes. A source
// owns its file and its geometry (from flags, a header, the file's name or
// the default); drivers never open INPUT themselves, they ask openSource.
// Frames come out at their own depth and layout, exactly as stored.
//
// The contract is "the next frame, in order". Going to a frame out of order
// (seek) and knowing the frame count before the end are capabilities a kind
// may lack: drivers ask for them and do without.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "snap/format/frame_format.h"

// Where a geometry's size or format came from, most trusted first.
enum { GEOMETRY_FROM_FLAGS = 1, GEOMETRY_FROM_HEADER, GEOMETRY_FROM_NAME, GEOMETRY_BY_DEFAULT };

// What the command line gave: sizeGiven nonzero with width and height, and
// format or nullptr.
struct GeometryRequest {
    int sizeGiven;
    int32_t width, height;
    const FrameFormat* format;
    // --format as typed, since 420 and yuv420p lay odd sizes out differently;
    // nullptr for a format taken from another file.
    const char* formatWord = nullptr;
    // A raw stream given no size takes this one (the other input's, in a
    // comparison): it cannot be opened a second time once its geometry is known.
    const FrameGeometry* fallback = nullptr;
};

enum { LAYOUT_WHY_SIZE = 96 };

// The lines --info prints, as keys and values so that JSON says the same.
struct InfoLines {
    std::vector<std::pair<std::string, std::string>> lines;
};
void addInfoLine(InfoLines* info, const char* key, const char* format, ...) __attribute__((format(printf, 3, 4)));

// What every driver may read; the kind's own fields live behind `state`.
struct Source {
    const struct FrameSource* kind;
    void* state;                      // the kind's private record (raw, y4m): no driver reads it
    const char* path;
    int stream;                       // read once, in order: standard input, a FIFO, a named pipe
    int64_t fileBytes;                // the input's size, or -1 while not known (a stream before its end)
    FrameGeometry geometry;
    int64_t frameBytes;               // one frame's samples as stored
    int64_t frameCount;               // whole frames, or -1 when not known yet (a stream)
    int64_t partialBytes;             // bytes of a frame cut short at the end, once known
    int64_t nextFrame;                // the frame sourceNext reads
    int sizeFrom, formatFrom;         // GEOMETRY_FROM_...
    int geometryUnknown;              // open failed only because no geometry could be settled
    int64_t rateNumerator, rateDenominator;     // the input's own rate; 0 when none
    int32_t aspectNumerator, aspectDenominator; // pixel aspect; 0:0 when none
    const struct Y4mColour* colour;   // the input's own Y4M tag, or nullptr
    char layoutWhy[LAYOUT_WHY_SIZE];  // why the chroma is rounded as geometry.rounding says, for --info
};

// The file a kind reads, handed to its open; the kind keeps it (moving it
// into its own record) and closes it.
struct SourceInput {
    FILE* file;
    const char* path;
    int64_t size;     // bytes, or -1 when not known
    int64_t position; // where the file stands, so that reads in order need no seek; -1 when not known
    int stream;       // read in order only: a read before `position` fails, one after it skips
    // Bytes a stream gave ahead of where it is read (the probe's), from
    // offset keptStart; served before the stream's own, so none is lost.
    std::vector<uint8_t> kept;
    int64_t keptStart;
};

struct FrameSource {
    const char* name;      // "raw", "y4m"
    const char* container; // what --info calls the container ("YUV4MPEG2"), or nullptr for none
    // Nonzero when a file starting with these bytes is of this kind.
    int (*probe)(const uint8_t* head, size_t size);
    // Settles the geometry and what is known of the frames. On success the
    // kind has taken `in` (and closes it); on failure `in` is left as it was.
    int (*open)(Source* s, SourceInput* in, const GeometryRequest* asked, std::string* error);
    int (*next)(Source* s, uint8_t* frame, std::string* error); // 1 a frame, 0 the end, -1 an error
    int (*seek)(Source* s, int64_t index, std::string* error);  // nullptr when the kind cannot
    void (*describe)(const Source* s, InfoLines* out);           // its own lines for --info, after the common ones
    void (*close)(Source* s);
};

extern const FrameSource rawSource;
extern const FrameSource y4mSource;

// Opens `path` (a regular file) with the first source whose probe takes it.
// Nonzero on success; otherwise `error` is one line and nothing is left open
// (closeSource may still be called).
int openSource(Source* s, const char* path, const GeometryRequest* asked, std::string* error);
int sourceNext(Source* s, uint8_t* frame, std::string* error); // 1, 0 (end), -1
int sourceCanSeek(const Source* s);
int sourceSeek(Source* s, int64_t index, std::string* error);
// Frame `index`: a seek when the source can and is not there already, then
// next; a source that cannot seek reads its way forward. Nonzero on success.
int readSourceFrame(Source* s, int64_t index, uint8_t* frame, std::string* error);
// Like readSourceFrame, but running into the end is no error: 1 the frame,
// 0 the input ended before it (frameCount is then known), -1 an error.
int readSourceFrameOrEnd(Source* s, int64_t index, uint8_t* frame, std::string* error);
// Reads on to the end, so that frameCount, partialBytes and fileBytes are
// known: a stream's way to count. Nonzero on success.
int readSourceToEnd(Source* s, std::string* error);
void closeSource(Source* s);

// Reads exactly `count` bytes at `offset` of the input (seeking only when
// not already there). Nonzero on success; otherwise `error` says why.
int readInputBytes(SourceInput* in, int64_t offset, uint8_t* bytes, size_t count, std::string* error);
// Reads up to `count` bytes at `offset`, fewer only where the input ends:
// `*got` says how many. Nonzero unless a read failed.
int readInputSome(SourceInput* in, int64_t offset, uint8_t* bytes, size_t count, size_t* got, std::string* error);
// The line at `offset`, through its '\n', into `line`: shorter, without the
// '\n', where the input ends first; at most `limit` bytes. Nonzero unless a
// read failed.
int readInputLine(SourceInput* in, int64_t offset, std::vector<uint8_t>* line, size_t limit, std::string* error);
void closeInput(SourceInput* in);

// "flags", "header", "file name", "flags and file name", with " (format 4:2:0
// by default)" when the format came from nowhere.
void describeGeometrySource(const Source* s, char* text, size_t size);

// Lines saying which common sizes and formats divide `fileSize` exactly:
// what --info offers for a raw file whose frames do not.
void addFittingGeometries(InfoLines* info, int64_t fileSize);
