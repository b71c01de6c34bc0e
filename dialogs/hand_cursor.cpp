#include "dialogs/hand_cursor.h"

#include <cstring>

// '#' black, 'o' white, anything else transparent. Rows below these, and
// columns past a row's text, are transparent.
static const char* const handPicture[] = {
    "................................",
    ".....##.........................",
    "....#oo#........................",
    "....#oo#........................",
    "....#oo#........................",
    "....#oo#........................",
    "....#oo###.##.##................",
    "....#oo#oo#oo#oo#...............",
    "..###oo#oo#oo#oo#...............",
    ".#oo#oo#oo#oo#oo#...............",
    ".#oo#oo#oo#oo#oo#...............",
    ".#oo#ooooooooooo#...............",
    ".#oooooooooooooo#...............",
    ".#oooooooooooooo#...............",
    "..#ooooooooooooo#...............",
    "...#oooooooooooo#...............",
    "....#oooooooooo#................",
    "....############................",
    "....############................",
};

void buildHandCursorMasks(HandCursorMasks* masks) {
    memset(masks->andMask, 0xFF, sizeof masks->andMask);
    memset(masks->xorMask, 0, sizeof masks->xorMask);
    const int rows = static_cast<int>(sizeof handPicture / sizeof handPicture[0]);
    for (int row = 0; row < rows && row < HAND_CURSOR_SIZE; ++row) {
        const char* line = handPicture[row];
        for (int column = 0; column < HAND_CURSOR_SIZE && line[column]; ++column) {
            const char pixel = line[column];
            if (pixel != '#' && pixel != 'o') continue;
            const int byte = row * HAND_CURSOR_ROW_BYTES + column / 8;
            const uint8_t bit = static_cast<uint8_t>(0x80u >> (column % 8));
            masks->andMask[byte] &= static_cast<uint8_t>(~bit);
            if (pixel == 'o') masks->xorMask[byte] |= bit;
        }
    }
}
