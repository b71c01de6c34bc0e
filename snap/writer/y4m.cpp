// A cut as a YUV4MPEG2 stream: the header FFmpeg writes (C matching the
// depth, F the run's rate, Ip A0:0), then each frame after "FRAME\n", planar
// (semi-planar frames are split, p010le's samples moved to the low bits).
#include <climits>

#include "snap/narrow.h"
#include "snap/source/y4m_header.h"
#include "snap/writer/writer.h"

namespace {

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
    const int layout = c->geometry.format->layout;
    if (layout == LAYOUT_PLANAR || layout == LAYOUT_GREY) return 1;
    out->own.resize(out->size);
    if (!planarFrame(&c->geometry, frame, out->own.data())) {
        *error = "the frame cannot be made planar";
        return 0;
    }
    out->bytes = out->own.data();
    return 1;
}

} // namespace

const Writer y4mWriter = {".y4m", 0, nullptr, beginY4m, y4mFrame};
