#include "tools/bmp.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "render/colour.h"

namespace {
void put16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}
void put32(std::vector<uint8_t>& out, uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}
} // namespace

int writeBmp(const char* path, const uint8_t* bits, int32_t width, int32_t height,
             int64_t stride, int bitsPerPixel, const uint8_t* colourTable) {
    const int64_t rowBytes = pictureStride(width, bitsPerPixel);
    const uint32_t tableBytes = bitsPerPixel == 8 ? 256 * 4 : 0;
    const uint32_t headerBytes = 14 + 40 + tableBytes;
    const int64_t imageBytes = rowBytes * height;
    if (width <= 0 || height <= 0 || imageBytes + headerBytes > UINT32_MAX) return 0;

    std::vector<uint8_t> header;
    put16(header, 0x4D42); // "BM"
    put32(header, static_cast<uint32_t>(headerBytes + imageBytes));
    put32(header, 0);
    put32(header, headerBytes);
    put32(header, 40);
    put32(header, static_cast<uint32_t>(width));
    put32(header, static_cast<uint32_t>(height)); // positive: bottom-up, read everywhere
    put16(header, 1);
    put16(header, static_cast<uint32_t>(bitsPerPixel));
    put32(header, 0); // BI_RGB
    put32(header, static_cast<uint32_t>(imageBytes));
    put32(header, 2835); // 72 dpi
    put32(header, 2835);
    put32(header, bitsPerPixel == 8 ? 256 : 0);
    put32(header, 0);
    if (tableBytes) header.insert(header.end(), colourTable, colourTable + tableBytes);

    FILE* file = fopen(path, "wb");
    if (!file) return 0;
    bool ok = fwrite(header.data(), 1, header.size(), file) == header.size();
    std::vector<uint8_t> row(static_cast<size_t>(rowBytes), 0);
    const size_t used = static_cast<size_t>((int64_t{width} * bitsPerPixel + 7) / 8);
    for (int64_t r = height - 1; ok && r >= 0; --r) {
        std::copy(bits + r * stride, bits + r * stride + used, row.begin());
        ok = fwrite(row.data(), 1, row.size(), file) == row.size();
    }
    if (fclose(file) != 0) ok = false;
    if (!ok) remove(path);
    return ok;
}
