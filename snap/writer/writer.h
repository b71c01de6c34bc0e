// What corvane-snap writes: one record of functions per kind of output and a
// table to pick from by OUTPUT's extension. A writer turns frames (as the
// source stores them) into bytes and never opens a file: the driver writes
// what it returns through the one write path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "snap/format/frame_format.h"

// What every frame of one run shares.
struct WriterContext {
    FrameGeometry geometry;                 // the source's
    int64_t frameBytes;                     // one stored frame
    int separate;                           // pictures: the separate view
    int64_t rateNumerator, rateDenominator; // frames a second
    int32_t aspectNumerator, aspectDenominator; // a Y4M input's A; 0:0 for none
    const struct Y4mColour* colour;         // a Y4M input's own tag, or nullptr
};

// One frame's bytes: `prefix`, then `size` bytes at `bytes` (which may point
// into the frame itself, or into `own`). The vectors are the writer's to
// reuse from frame to frame.
struct WriterOutput {
    std::string prefix;
    const uint8_t* bytes;
    size_t size;
    std::vector<uint8_t> own, scratch, pixels;
};

struct Writer {
    const char* extension; // ".bmp", with the dot; matched in any case
    int perFrame;          // one file per frame (pictures) rather than one for the run
    int heavy;             // its frame() is the work (encoding, hashing): run on every core
    // Nonzero when frames of this geometry can be written; otherwise `error`.
    int (*check)(const WriterContext* c, std::string* error);
    // The text the file starts with (a stream header); empty for none.
    int (*begin)(const WriterContext* c, std::string* text, std::string* error);
    // Frame `index`, frameBytes at `frame`, as bytes of the output. Safe to
    // call from several threads at once, each with its own WriterOutput.
    int (*frame)(const WriterContext* c, int64_t index, const uint8_t* frame, WriterOutput* out,
                 std::string* error);
};

extern const Writer bmpWriter, pngWriter, yuvWriter, y4mWriter, frameMd5Writer;

// The writers OUTPUT's extension picks from: a new writer is its own file
// and a row here (writer_table.cpp).
extern const Writer* const writerTable[];
extern const int writerCount;

// The writer for OUTPUT's extension (any case), or nullptr.
const Writer* writerForName(const char* name);
// The writer --to names by its extension's word ("y4m"), any case, or nullptr.
const Writer* writerForWord(const char* word);
// ".bmp, .png, .yuv, .y4m or .framemd5": the table's extensions, for messages.
std::string writerExtensionList();
// "bmp, png, yuv, y4m or framemd5": the words --to takes.
std::string writerWordList();

// OUTPUT as a name per frame. With a field, a frame's name is prefix, the
// frame number (zero-padded to `width` when zeroPad), then suffix; "%%" in
// the text stands for "%". Without one the text is the name as it stands.
struct OutputName {
    int hasField;
    int zeroPad;
    int width;
    std::string prefix, suffix;
};

// Reads OUTPUT as a pattern. 1: a name with one frame-number field ("%d",
// "%5d", "%05d"; "i" or "u" in place of "d"; "%%" for a "%"); 0: a plain
// name (no "%" at all, or one not written as a field: kept as it is, since a
// single picture is written under the name as given); the pattern is then
// marked malformed when `malformed` is given.
int parseOutputName(const char* text, OutputName* name, int* malformed);

// The file name for `frame`.
std::string outputNameFor(const OutputName* name, const char* text, int64_t frame);
