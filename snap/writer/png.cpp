#include "snap/writer/picture.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include <zlib.h>

#include "render/colour.h"
#include "snap/writer/writer.h"

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
void appendBytes(void* context, void* data, int size) {
    std::vector<uint8_t>* out = static_cast<std::vector<uint8_t>*>(context);
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    out->insert(out->end(), bytes, bytes + size);
}
} // namespace

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

namespace {

int checkPng(const WriterContext* c, std::string* error) {
    return checkPicture(c, "PNG", error);
}

// Built top-down, red first, and encoded: the encoding is most of the work,
// which is why frames are given to as many threads as there are cores.
int pngFrame(const WriterContext* c, int64_t, const uint8_t* frame, WriterOutput* out, std::string* error) {
    int32_t width;
    if (!buildPicture(c, frame, out, &width, 0)) {
        *error = "a picture cannot be built for this frame";
        return 0;
    }
    const int channels = c->separate ? 1 : 3;
    if (!encodePng(&out->own, out->pixels.data(), width, c->geometry.height, pictureStride(width, 8 * channels),
                   channels)) {
        *error = "the picture is too large for PNG";
        return 0;
    }
    out->bytes = out->own.data();
    out->size = out->own.size();
    return 1;
}

} // namespace

const Writer pngWriter = {".png", 1, 1, checkPng, nullptr, pngFrame};
