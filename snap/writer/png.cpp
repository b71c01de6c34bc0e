#include "snap/writer/picture.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include <zlib.h>

#include "render/colour.h"
#include "snap/writer/picture_frame.h"
#include "snap/writer/writer.h"

namespace {
void putBig32(uint8_t* out, uint32_t value) {
    out[0] = static_cast<uint8_t>(value >> 24);
    out[1] = static_cast<uint8_t>(value >> 16);
    out[2] = static_cast<uint8_t>(value >> 8);
    out[3] = static_cast<uint8_t>(value);
}

// Opens a chunk at the end of `png`: its length (filled in by endChunk) and type.
size_t beginChunk(std::vector<uint8_t>* png, const char* type) {
    const size_t start = png->size();
    png->resize(start + 8);
    memcpy(png->data() + start + 4, type, 4);
    return start;
}

// The length is the data's; the CRC covers the type and the data.
void endChunk(std::vector<uint8_t>* png, size_t start) {
    const size_t dataBytes = png->size() - start - 8;
    putBig32(png->data() + start, static_cast<uint32_t>(dataBytes));
    const uint32_t crc = static_cast<uint32_t>(
        crc32_z(crc32(0, nullptr, 0), png->data() + start + 4, dataBytes + 4));
    png->resize(png->size() + 4);
    putBig32(png->data() + png->size() - 4, crc);
}

// Rows are filtered by Sub or Up only. Average and Paeth, chosen the same
// way on the same frames, either took rows they then packed worse (Average)
// or saved under 0.1 % (Paeth) at several times the filtering time.
enum { PNG_FILTER_SUB = 1, PNG_FILTER_UP = 2 };

// The two one-subtraction filters: each byte less the same channel of the
// pixel to its left (Sub), or of the pixel above (Up; the row above the first
// is zero). Written as plain loops over whole rows, which the compiler
// vectorises.
void subFilterRow(const uint8_t* row, uint8_t* out, size_t bytes, int pixelBytes) {
    for (size_t i = 0; i < bytes && i < static_cast<size_t>(pixelBytes); ++i) out[i] = row[i];
    for (size_t i = static_cast<size_t>(pixelBytes); i < bytes; ++i)
        out[i] = static_cast<uint8_t>(row[i] - row[i - pixelBytes]);
}

void upFilterRow(const uint8_t* row, const uint8_t* above, uint8_t* out, size_t bytes) {
    for (size_t i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>(row[i] - above[i]);
}

// How well deflate will pack a filtered row, estimated as the sum of its
// bytes' magnitudes (read as signed), each counted up to 16: past that a byte
// costs a rare literal code whatever its size, and capping keeps a few edges
// from outweighing the rest of the row. (Uncapped, the usual estimate, made
// grainy frames 0.4 % larger.)
uint32_t filteredCost(const uint8_t* filtered, size_t bytes) {
    uint32_t sum = 0;
    for (size_t i = 0; i < bytes; ++i) {
        const int8_t value = static_cast<int8_t>(filtered[i]);
        const uint8_t magnitude = static_cast<uint8_t>(value < 0 ? -value : value);
        sum += magnitude < 16 ? magnitude : 16;
    }
    return sum;
}

// Blue, green, red as the pictures hold them to red, green, blue as PNG does.
void redFirstRow(const uint8_t* bgr, uint8_t* rgb, int32_t width) {
    for (int32_t c = 0; c < width; ++c, bgr += 3, rgb += 3) {
        rgb[0] = bgr[2];
        rgb[1] = bgr[1];
        rgb[2] = bgr[0];
    }
}

// Deflates what `stream` holds into `png`, growing it as needed; `flush` as
// for zlib's deflate. 0 on a zlib failure.
int deflateInto(z_stream* stream, std::vector<uint8_t>* png, size_t* used, int flush) {
    for (;;) {
        if (*used == png->size()) png->resize(png->size() * 2);
        stream->next_out = png->data() + *used;
        const size_t room = png->size() - *used;
        stream->avail_out = static_cast<uInt>(room < UINT_MAX ? room : UINT_MAX);
        const uInt before = stream->avail_out;
        const int result = deflate(stream, flush);
        *used += before - stream->avail_out;
        if (result == Z_STREAM_ERROR) return 0;
        if (flush == Z_FINISH ? result == Z_STREAM_END : stream->avail_in == 0 && stream->avail_out != 0)
            return 1;
    }
}
// The signature and the IHDR chunk: 8-bit samples, RGB or grey.
void startPng(std::vector<uint8_t>* png, int32_t width, int32_t height, int channels) {
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    png->assign(signature, signature + 8);
    const size_t chunk = beginChunk(png, "IHDR");
    uint8_t header[13] = {0};
    putBig32(header, static_cast<uint32_t>(width));
    putBig32(header + 4, static_cast<uint32_t>(height));
    header[8] = 8;                      // bits per sample
    header[9] = channels == 3 ? 2 : 0;  // colour type: RGB or grey
    png->insert(png->end(), header, header + sizeof header);
    endChunk(png, chunk);
}

// Filters each row of the picture and deflates it, without finishing the
// stream. Two red-first rows (this one and the one above) for colour; the
// candidates each carry their filter-type byte in front. 0 on a zlib failure.
int deflateRows(z_stream* stream, std::vector<uint8_t>* png, size_t* used, const uint8_t* pixels,
                int32_t width, int32_t height, int64_t stride, int channels) {
    const size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>(channels);
    std::vector<uint8_t> work(channels == 3 ? 4 * rowBytes + 2 : 2 * rowBytes + 2, 0);
    uint8_t* sub = work.data();
    uint8_t* up = sub + rowBytes + 1;
    uint8_t* rows[2] = {nullptr, nullptr};
    if (channels == 3) {
        rows[0] = up + rowBytes + 1;
        rows[1] = rows[0] + rowBytes;
    }
    const std::vector<uint8_t> zeroRow(rowBytes, 0);
    const uint8_t* above = zeroRow.data();
    for (int32_t r = 0; r < height; ++r) {
        const uint8_t* row = pixels + r * stride;
        if (channels == 3) {
            redFirstRow(row, rows[r & 1], width);
            row = rows[r & 1];
        }
        // Each row takes the filter that leaves it the smaller cost.
        sub[0] = PNG_FILTER_SUB;
        up[0] = PNG_FILTER_UP;
        subFilterRow(row, sub + 1, rowBytes, channels);
        upFilterRow(row, above, up + 1, rowBytes);
        const uint8_t* chosen = filteredCost(up + 1, rowBytes) <= filteredCost(sub + 1, rowBytes) ? up : sub;
        stream->next_in = const_cast<Bytef*>(chosen);
        stream->avail_in = static_cast<uInt>(rowBytes + 1);
        if (!deflateInto(stream, png, used, Z_NO_FLUSH)) return 0;
        above = row;
    }
    return 1;
}
} // namespace

int encodePng(std::vector<uint8_t>* png, const uint8_t* pixels, int32_t width, int32_t height,
              int64_t stride, int channels) {
    png->clear();
    // One IDAT chunk holds the picture: its length, like every chunk's, must
    // stay below 2^31 even when deflate cannot shrink the rows at all.
    if (width <= 0 || height <= 0 || stride > INT_MAX || (channels != 1 && channels != 3) ||
        (int64_t{width} * channels + 1) * height > INT_MAX / 2)
        return 0;
    startPng(png, width, height, channels);

    // zlib's fastest level, with its largest hash and symbol buffers
    // (memory level 9): on camera-like 1080p frames (grain over test
    // patterns) the default level made files 5 to 6 % smaller in three to
    // four times as long, the run-length strategy 10 % larger ones; on flat
    // pictures, the Up filter's runs of zeros cost it little.
    z_stream stream = {};
    if (deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, 15, 9, Z_DEFAULT_STRATEGY) != Z_OK) return 0;
    const size_t chunk = beginChunk(png, "IDAT");
    size_t used = png->size();
    png->resize(used + 65536);
    int ok = deflateRows(&stream, png, &used, pixels, width, height, stride, channels);
    if (ok) ok = deflateInto(&stream, png, &used, Z_FINISH);
    deflateEnd(&stream);
    if (!ok) {
        png->clear();
        return 0;
    }
    png->resize(used);
    endChunk(png, chunk);
    endChunk(png, beginChunk(png, "IEND"));
    return 1;
}

namespace {

const std::vector<uint8_t>* encodePngPicture(const WriterContext* c, int32_t width, int32_t height, WriterOutput* out) {
    const int channels = c->separate ? 1 : 3;
    const int64_t stride = pictureStride(width, 8 * channels);
    return encodePng(&out->own, out->pixels.data(), width, height, stride, channels) ? &out->own
                                                                                                 : nullptr;
}

// Built top-down and encoded: the encoding is most of the work,
// which is why frames are given to as many threads as there are cores.
int pngFrame(const WriterContext* c, int64_t, const uint8_t* frame, WriterOutput* out, std::string* error) {
    return encodePictureFrame(c, frame, out, error, 0, "PNG", encodePngPicture);
}

int checkPng(const WriterContext* c, std::string* error) {
    return checkPicture(c, "PNG", error);
}

} // namespace

const Writer pngWriter = {".png", 1, 1, checkPng, nullptr, pngFrame};
