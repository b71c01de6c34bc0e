// The values corvane-snap's command line takes, each read by one function
// whatever the mode: numbers (decimal only), picture sizes and frame
// choices. Pure text work; every reader leaves its outputs untouched when it
// refuses the text.
#pragma once

#include <cstdint>

// A whole decimal number filling [start, end): an optional sign, then digits
// only, in [low, high]. Nonzero when it is one.
int readWholeNumberIn(const char* start, const char* end, int64_t low, int64_t high, int64_t* value);
// The same for a whole NUL-terminated text (nullptr refused).
int readWholeNumber(const char* text, int64_t low, int64_t high, int64_t* value);

// A finite decimal number filling [start, end): digits, a point, an exponent
// and signs only, so never "0x20", "inf" or "nan".
int readDecimalIn(const char* start, const char* end, double* value);
int readDecimal(const char* text, double* value);

// WxH, W*H or WXH with both sides from 1, or a named size (cif, 1080p ...,
// the table in format/name_guess.h) in any case.
int readPictureSize(const char* text, int32_t* width, int32_t* height);

enum { FRAMES_ONE, FRAMES_LAST, FRAMES_RANGE, FRAMES_ALL };

// The frames to export: one numbered frame, the last whole one, first to
// last inclusive, or every whole frame.
struct FrameChoice {
    int kind;
    int64_t first, last;
};

// N, "last", A-B or "all". A range whose end comes before its start is
// refused with `choice->kind` set to FRAMES_RANGE, so that the message can say why.
int readFrameChoice(const char* text, FrameChoice* choice);
