// Two inputs read side by side as pairs of frames, for --compare and
// --diff. Pair j is INPUT's frame skip[0] + j and OTHER's frame skip[1] + j:
// --offset N leaves out OTHER's first N frames, or with N below 0 INPUT's.
// --offset auto reads the first frames of both, finds the shift that fits
// best, and holds what it read, so that a stream is still read only once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "snap/source/source.h"

struct FramePairing {
    Source* sources[2]; // INPUT, OTHER
    int64_t skip[2];
    std::vector<std::vector<uint8_t>> held[2]; // each input's first frames, read by the search
};

// The frames --offset auto compares at each shift, and the most shifts either way.
enum { OFFSET_SEARCH_FRAMES = 30 };

void startPairing(FramePairing* p, Source* input, Source* other, int64_t offset);
// Frame `which` (0 INPUT, 1 OTHER) of pair `pair` into `frame`: 1 read, 0 the
// input ended first, -1 an error.
int readPairFrame(FramePairing* p, int which, int64_t pair, uint8_t* frame, std::string* error);
// Whole frames of `which` from its first compared on: -1 while a stream's
// are not known.
int64_t framesAfterOffset(const FramePairing* p, int which);
// Tries every shift from -reach to reach over the first frames and keeps the
// one with the lowest mean squared error; `note` says which and why.
// Nonzero unless a read failed.
int searchOffset(FramePairing* p, int reach, std::string* note, std::string* error);
