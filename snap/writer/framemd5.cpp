#include "snap/writer/framemd5.h"

#include <cinttypes>
#include <cstdio>
#include <numeric>

#include "snap/writer/writer.h"

namespace {

size_t fitted(int n, size_t size) {
    return n > 0 && static_cast<size_t>(n) < size ? static_cast<size_t>(n) : 0;
}

} // namespace

void frameMd5TimeBase(const FrameMd5Stream* stream, int64_t* numerator, int64_t* denominator) {
    int64_t rate = stream->rateNumerator, per = stream->rateDenominator;
    if (rate <= 0 || per <= 0) {
        rate = 25; // FFmpeg's rate for a stream that gives none
        per = 1;
    }
    const int64_t divisor = std::gcd(rate, per);
    *numerator = per / divisor;
    *denominator = rate / divisor;
}

size_t frameMd5Header(const FrameMd5Stream* stream, char* text, size_t size) {
    int64_t numerator, denominator;
    frameMd5TimeBase(stream, &numerator, &denominator);
    // The aspect ratio is printed as given, not reduced: 4/2 stays 4/2.
    const bool aspect = stream->aspectNumerator > 0 && stream->aspectDenominator > 0;
    const int n = snprintf(text, size,
                           "#format: frame checksums\n"
                           "#version: 2\n"
                           "#hash: MD5\n"
                           "#tb 0: %" PRId64 "/%" PRId64 "\n"
                           "#media_type 0: video\n"
                           "#codec_id 0: rawvideo\n"
                           "#dimensions 0: %dx%d\n"
                           "#sar 0: %d/%d\n"
                           "#stream#, dts,        pts, duration,     size, hash\n",
                           numerator, denominator, stream->width, stream->height,
                           aspect ? stream->aspectNumerator : 0, aspect ? stream->aspectDenominator : 1);
    return fitted(n, size);
}

size_t frameMd5Line(int64_t index, int64_t frameBytes, const uint8_t digest[MD5_BYTES], char* text,
                    size_t size) {
    char hash[MD5_TEXT_SIZE];
    md5Text(digest, hash);
    const int n = snprintf(text, size, "0, %10" PRId64 ", %10" PRId64 ", %8d, %8" PRId64 ", %s\n", index,
                           index, 1, frameBytes, hash);
    return fitted(n, size);
}

// The listing as a writer: the header, then one line per frame. Each line's
// number is the frame's own in the input, so that a listing of part of a clip
// has the lines of the whole clip's listing. The hashing is the work, and
// frames are hashed on as many threads as there are cores.
namespace {

FrameMd5Stream streamOf(const WriterContext* c) {
    return {c->geometry.width, c->geometry.height, c->rateNumerator, c->rateDenominator,
            c->aspectNumerator, c->aspectDenominator};
}

int beginFrameMd5(const WriterContext* c, std::string* text, std::string* error) {
    const FrameMd5Stream stream = streamOf(c);
    char header[FRAMEMD5_HEADER_SIZE];
    const size_t length = frameMd5Header(&stream, header, sizeof header);
    if (!length) {
        *error = "the framemd5 header does not fit";
        return 0;
    }
    text->assign(header, length);
    return 1;
}

int frameMd5Frame(const WriterContext* c, int64_t index, const uint8_t* frame, WriterOutput* out,
                  std::string* error) {
    uint8_t digest[MD5_BYTES];
    if (!md5Bytes(frame, static_cast<size_t>(c->frameBytes), digest)) {
        *error = "the system's MD5 failed";
        return 0;
    }
    char line[FRAMEMD5_LINE_SIZE];
    const size_t length = frameMd5Line(index, c->frameBytes, digest, line, sizeof line);
    out->prefix.assign(line, length);
    out->bytes = nullptr;
    out->size = 0;
    return length > 0;
}

} // namespace

const Writer frameMd5Writer = {".framemd5", 0, 1, nullptr, beginFrameMd5, frameMd5Frame};
