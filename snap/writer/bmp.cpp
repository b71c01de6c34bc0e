// BMP pictures laid out in memory, so that a picture is one write: bottom-up
// rows padded to 4 bytes, 24-bit colour or 8-bit grey with its colour table.
#include <cstring>

#include "render/colour.h"
#include "render/separate.h"
#include "snap/writer/picture.h"
#include "snap/writer/picture_frame.h"
#include "snap/writer/writer.h"

namespace {
void put16(uint8_t*& out, uint32_t value) {
    *out++ = static_cast<uint8_t>(value);
    *out++ = static_cast<uint8_t>(value >> 8);
}
void put32(uint8_t*& out, uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

} // namespace

size_t bmpHeaderBytes(int bitsPerPixel) {
    return 14 + 40 + (bitsPerPixel == 8 ? 256 * 4 : 0);
}

int writeBmpHeader(uint8_t* out, int32_t width, int32_t height, int bitsPerPixel,
                   const uint8_t* colourTable) {
    const int64_t imageBytes = pictureStride(width, bitsPerPixel) * height;
    const uint32_t headerBytes = static_cast<uint32_t>(bmpHeaderBytes(bitsPerPixel));
    if (width <= 0 || height <= 0 || imageBytes + headerBytes > UINT32_MAX) return 0;
    put16(out, 0x4D42); // "BM"
    put32(out, static_cast<uint32_t>(headerBytes + imageBytes));
    put32(out, 0);
    put32(out, headerBytes);
    put32(out, 40);
    put32(out, static_cast<uint32_t>(width));
    put32(out, static_cast<uint32_t>(height)); // positive: bottom-up, read everywhere
    put16(out, 1);
    put16(out, static_cast<uint32_t>(bitsPerPixel));
    put32(out, 0); // BI_RGB
    put32(out, static_cast<uint32_t>(imageBytes));
    put32(out, 2835); // 72 dpi
    put32(out, 2835);
    put32(out, bitsPerPixel == 8 ? 256 : 0);
    put32(out, 0);
    if (bitsPerPixel == 8) memcpy(out, colourTable, 256 * 4);
    return 1;
}

namespace {

// The headers go in the room left before the bottom-up rows.
const std::vector<uint8_t>* encodeBmp(const WriterContext* c, int32_t width, int32_t height, WriterOutput* out) {
    const int bits = c->separate ? 8 : 24;
    uint8_t table[256 * 4];
    greyRamp(table);
    const int fits =
        writeBmpHeader(out->pixels.data(), width, height, bits, bits == 8 ? table : nullptr);
    return fits ? &out->pixels : nullptr;
}

int bmpFrame(const WriterContext* c, int64_t, const uint8_t* frame, WriterOutput* out, std::string* error) {
    return encodePictureFrame(c, frame, out, error, bmpHeaderBytes(c->separate ? 8 : 24), "BMP", encodeBmp);
}

int checkBmp(const WriterContext* c, std::string* error) {
    return checkPicture(c, "BMP", error);
}

} // namespace

const Writer bmpWriter = {".bmp", 1, 0, checkBmp, nullptr, bmpFrame};
