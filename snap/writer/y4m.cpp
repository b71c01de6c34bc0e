// A cut as a YUV4MPEG2 stream: the header FFmpeg writes (C matching the
// depth, F the run's rate, Ip A0:0), then each frame after "FRAME\n", planar
// (semi-planar frames are split, p010le's samples moved to the low bits).
// A raw frame of odd size has its chroma rounded down; Y4M rounds it up, so
// the missing last column or row repeats its neighbour, as the viewer shows it.
#include <climits>
#include <cstring>

#include "snap/format/narrow.h"
#include "snap/source/y4m_header.h"
#include "snap/writer/writer.h"

namespace {

// The planar frame `from` (chroma rounded down) laid out with chroma rounded up.
void roundChromaUp(const FrameGeometry* down, const uint8_t* from, uint8_t* to) {
    const FrameGeometry up = {down->format, down->width, down->height, CHROMA_ROUNDED_UP};
    FramePlanes in, out;
    framePlanes(down, &in);
    framePlanes(&up, &out);
    const int64_t sample = down->format->bytesPerSample;
    const uint32_t mid = 1u << (down->format->depth - 1);
    memcpy(to, from, static_cast<size_t>(in.rowBytes[0] * in.rows[0]));
    for (int p = 1; p < out.planeCount; ++p)
        for (int64_t r = 0; r < out.rows[p]; ++r) {
            uint8_t* row = to + out.offset[p] + r * out.rowBytes[p];
            if (in.rows[p] == 0 || in.rowBytes[p] == 0) {
                for (int64_t i = 0; i < out.rowBytes[p]; i += sample) {
                    row[i] = static_cast<uint8_t>(sample == 1 ? mid : mid & 0xff);
                    if (sample == 2) row[i + 1] = static_cast<uint8_t>(mid >> 8);
                }
                continue;
            }
            const int64_t source = r < in.rows[p] ? r : in.rows[p] - 1;
            memcpy(row, from + in.offset[p] + source * in.rowBytes[p], static_cast<size_t>(in.rowBytes[p]));
            for (int64_t i = in.rowBytes[p]; i < out.rowBytes[p]; i += sample)
                memcpy(row + i, row + in.rowBytes[p] - sample, static_cast<size_t>(sample));
        }
}

int beginY4m(const WriterContext* c, std::string* text, std::string* error) {
    char header[512];
    const bool fits = c->rateNumerator <= INT32_MAX && c->rateDenominator <= INT32_MAX;
    const size_t length =
        fits ? buildY4mHeader(&c->geometry, c->colour, static_cast<int32_t>(c->rateNumerator),
                              static_cast<int32_t>(c->rateDenominator), header, sizeof header)
             : 0;
    if (!length) {
        *error = "no YUV4MPEG2 header can be written for this geometry and rate";
        return 0;
    }
    text->assign(header, length);
    return 1;
}

int y4mFrame(const WriterContext* c, int64_t, const uint8_t* frame, WriterOutput* out, std::string* error) {
    out->prefix = y4mFrameHeader;
    out->bytes = frame;
    out->size = static_cast<size_t>(c->frameBytes);
    if (planarFormOf(c->geometry.format) != c->geometry.format) {
        out->own.resize(out->size);
        if (!planarFrame(&c->geometry, frame, out->own.data())) {
            *error = "the frame cannot be made planar";
            return 0;
        }
        out->bytes = out->own.data();
    }
    if (c->geometry.rounding == CHROMA_ROUNDED_DOWN) {
        const FrameGeometry planar = {planarFormOf(c->geometry.format), c->geometry.width,
                                      c->geometry.height, CHROMA_ROUNDED_DOWN};
        if (roundingChangesLayout(&planar)) {
            const FrameGeometry up = {planar.format, planar.width, planar.height, CHROMA_ROUNDED_UP};
            out->scratch.resize(static_cast<size_t>(frameBytes(&up)));
            roundChromaUp(&planar, out->bytes, out->scratch.data());
            out->bytes = out->scratch.data();
            out->size = out->scratch.size();
        }
    }
    return 1;
}

} // namespace

const Writer y4mWriter = {".y4m", 0, 0, nullptr, beginY4m, y4mFrame};
