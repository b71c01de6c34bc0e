// The link control's hand cursor as the two monochrome masks a cursor is made
// from. Pure C++, so the picture-to-mask step is checked natively.
#pragma once

#include <cstdint>

enum {
    HAND_CURSOR_SIZE = 32,      // width and height in pixels
    HAND_CURSOR_HOTSPOT_X = 5,  // the tip of the finger
    HAND_CURSOR_HOTSPOT_Y = 2,
    HAND_CURSOR_ROW_BYTES = HAND_CURSOR_SIZE / 8,
    HAND_CURSOR_MASK_BYTES = HAND_CURSOR_ROW_BYTES * HAND_CURSOR_SIZE,
};

// Rows top to bottom, HAND_CURSOR_ROW_BYTES each, the leftmost pixel in the
// high bit of a row's first byte. Per pixel (AND, XOR): black (0, 0), white
// (0, 1), transparent (1, 0).
struct HandCursorMasks {
    uint8_t andMask[HAND_CURSOR_MASK_BYTES];
    uint8_t xorMask[HAND_CURSOR_MASK_BYTES];
};

void buildHandCursorMasks(HandCursorMasks* masks);
