// A cut: the frames as the source stores them, back to back, so that a cut
// of a raw file is exactly those bytes of it (and a Y4M input's frames come
// out without their FRAME lines).
#include "snap/writer/writer.h"

namespace {

int yuvFrame(const WriterContext* c, int64_t, const uint8_t* frame, WriterOutput* out, std::string*) {
    out->prefix.clear();
    out->bytes = frame;
    out->size = static_cast<size_t>(c->frameBytes);
    return 1;
}

} // namespace

const Writer yuvWriter = {".yuv", 0, 0, nullptr, nullptr, yuvFrame};
