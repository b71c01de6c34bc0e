#include "snap/writer/picture_file.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include <zlib.h>

#include "render/colour.h"
#include "snap/messages.h"

namespace {
// stb_image_write's own deflate is small but slow; zlib's is the one every
// PNG reader is tested against. The level is zlib's own default, the usual
// trade of size against time, whatever stb asks. stb frees the result with free().
unsigned char* zlibCompress(unsigned char* data, int length, int* outLength, int /*quality*/) {
    uLongf bound = compressBound(static_cast<uLong>(length));
    unsigned char* out = static_cast<unsigned char*>(malloc(bound));
    if (!out) return nullptr;
    if (compress2(out, &bound, data, static_cast<uLong>(length), Z_DEFAULT_COMPRESSION) != Z_OK || bound > INT_MAX) {
        free(out);
        return nullptr;
    }
    *outLength = static_cast<int>(bound);
    return out;
}
} // namespace

#define STBIW_ZLIB_COMPRESS zlibCompress
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#define STB_IMAGE_WRITE_IMPLEMENTATION
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#endif
#include "stb_image_write.h"
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace {
void put16(uint8_t*& out, uint32_t value) {
    *out++ = static_cast<uint8_t>(value);
    *out++ = static_cast<uint8_t>(value >> 8);
}
void put32(uint8_t*& out, uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

void appendBytes(void* context, void* data, int size) {
    std::vector<uint8_t>* out = static_cast<std::vector<uint8_t>*>(context);
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    out->insert(out->end(), bytes, bytes + size);
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

int encodePng(std::vector<uint8_t>* png, const uint8_t* pixels, int32_t width, int32_t height,
              int64_t stride, int channels) {
    png->clear();
    // stb works in int: the filtered rows (one byte more each) must fit.
    if (width <= 0 || height <= 0 || stride > INT_MAX ||
        (int64_t{width} * channels + 1) * height > INT_MAX / 2)
        return 0;
    return stbi_write_png_to_func(appendBytes, png, width, height, channels, pixels,
                                  static_cast<int>(stride)) != 0;
}
