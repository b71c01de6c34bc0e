#include <gtest/gtest.h>

#include "dialogs/hand_cursor.h"

namespace {

struct RowCase {
    int row;
    uint8_t andBytes[HAND_CURSOR_ROW_BYTES];
    uint8_t xorBytes[HAND_CURSOR_ROW_BYTES];
};

// Rows worked out by hand from the picture: a black pixel clears its AND bit,
// a white one also sets its XOR bit, the leftmost pixel is the high bit.
const RowCase rows[] = {
    // ................................ all transparent
    {0, {0xFF, 0xFF, 0xFF, 0xFF}, {0x00, 0x00, 0x00, 0x00}},
    // .....##......................... the finger tip, black
    {1, {0xF9, 0xFF, 0xFF, 0xFF}, {0x00, 0x00, 0x00, 0x00}},
    // ....#oo#........................
    {2, {0xF0, 0xFF, 0xFF, 0xFF}, {0x06, 0x00, 0x00, 0x00}},
    // ....#oo###.##.##................ the knuckles, with gaps
    {6, {0xF0, 0x24, 0xFF, 0xFF}, {0x06, 0x00, 0x00, 0x00}},
    // ..###oo#oo#oo#oo#...............
    {8, {0xC0, 0x00, 0x7F, 0xFF}, {0x06, 0xDB, 0x00, 0x00}},
    // .#oo#oo#oo#oo#oo#...............
    {9, {0x80, 0x00, 0x7F, 0xFF}, {0x36, 0xDB, 0x00, 0x00}},
    // .#oooooooooooooo#...............
    {12, {0x80, 0x00, 0x7F, 0xFF}, {0x3F, 0xFF, 0x00, 0x00}},
    // ....#oooooooooo#................
    {16, {0xF0, 0x00, 0xFF, 0xFF}, {0x07, 0xFE, 0x00, 0x00}},
    // ....############................ the cuff, black
    {18, {0xF0, 0x00, 0xFF, 0xFF}, {0x00, 0x00, 0x00, 0x00}},
    // below the picture: transparent to the last row
    {19, {0xFF, 0xFF, 0xFF, 0xFF}, {0x00, 0x00, 0x00, 0x00}},
    {31, {0xFF, 0xFF, 0xFF, 0xFF}, {0x00, 0x00, 0x00, 0x00}},
};

TEST(HandCursor, MasksFollowThePictureRowByRow) {
    HandCursorMasks masks;
    buildHandCursorMasks(&masks);
    for (const RowCase& c : rows)
        for (int b = 0; b < HAND_CURSOR_ROW_BYTES; ++b) {
            EXPECT_EQ(masks.andMask[c.row * HAND_CURSOR_ROW_BYTES + b], c.andBytes[b])
                << "AND row " << c.row << " byte " << b;
            EXPECT_EQ(masks.xorMask[c.row * HAND_CURSOR_ROW_BYTES + b], c.xorBytes[b])
                << "XOR row " << c.row << " byte " << b;
        }
}

TEST(HandCursor, NoPixelIsInverted) {
    // AND 1 with XOR 1 would invert the screen under the cursor: the picture
    // has no such pixel. The hotspot lies inside the finger, not beside it.
    HandCursorMasks masks;
    buildHandCursorMasks(&masks);
    int black = 0, white = 0;
    for (int i = 0; i < HAND_CURSOR_MASK_BYTES; ++i) {
        EXPECT_EQ(masks.andMask[i] & masks.xorMask[i], 0) << "byte " << i;
        for (int bit = 0; bit < 8; ++bit) {
            const bool opaque = !(masks.andMask[i] >> bit & 1);
            const bool light = masks.xorMask[i] >> bit & 1;
            black += opaque && !light;
            white += opaque && light;
        }
    }
    EXPECT_EQ(black, 79);
    EXPECT_EQ(white, 122);
    const int tip = HAND_CURSOR_HOTSPOT_Y * HAND_CURSOR_ROW_BYTES + HAND_CURSOR_HOTSPOT_X / 8;
    const uint8_t tipBit = static_cast<uint8_t>(0x80u >> (HAND_CURSOR_HOTSPOT_X % 8));
    EXPECT_EQ(masks.andMask[tip] & tipBit, 0);
}

} // namespace
