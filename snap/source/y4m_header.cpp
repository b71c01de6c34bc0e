#include "snap/source/y4m_header.h"

#include <climits>
#include <cstdio>
#include <cstring>

const char y4mSignature[] = "YUV4MPEG2 ";
const char y4mFrameHeader[] = "FRAME\n";

namespace {

// Up to 16 bytes of a field for a message, as names are shown: a CRLF
// header's '\r' as \r, any other byte outside printable ASCII as \xNN.
// `size` of at least QUOTED_FIELD_SIZE holds any field.
enum { QUOTED_FIELD_SIZE = 16 * 4 + 4 };
void quoteField(const uint8_t* field, size_t length, char* text, size_t size) {
    size_t n = 0, i = 0;
    for (; i < length && i < 16 && n + 5 < size; ++i) {
        const uint8_t c = field[i];
        if (c >= 0x20 && c < 0x7f && c != '\\') text[n++] = static_cast<char>(c);
        else if (c == '\r' || c == '\\') n += static_cast<size_t>(snprintf(text + n, 3, "\\%c", c == '\r' ? 'r' : '\\'));
        else n += static_cast<size_t>(snprintf(text + n, 5, "\\x%02x", c));
    }
    if (i < length && n + 4 < size) {
        memcpy(text + n, "...", 3);
        n += 3;
    }
    if (size) text[n] = '\0';
}

// A decimal number of 1 to 10 digits, no sign, at most INT32_MAX.
bool readNumber(const uint8_t* text, size_t length, int32_t* value) {
    if (length == 0 || length > 10) return false;
    int64_t n = 0;
    for (size_t i = 0; i < length; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        n = n * 10 + (text[i] - '0');
    }
    if (n > INT32_MAX) return false;
    *value = static_cast<int32_t>(n);
    return true;
}

// "N:D", each a number as above.
bool readRatio(const uint8_t* text, size_t length, int32_t* numerator, int32_t* denominator) {
    const void* colon = memchr(text, ':', length);
    if (!colon) return false;
    const size_t first = static_cast<size_t>(static_cast<const uint8_t*>(colon) - text);
    return readNumber(text, first, numerator) &&
           readNumber(text + first + 1, length - first - 1, denominator);
}

} // namespace

int isY4mStream(const uint8_t* head, size_t size) {
    return head && size >= Y4M_SIGNATURE_BYTES && memcmp(head, y4mSignature, Y4M_SIGNATURE_BYTES) == 0;
}

namespace {

// The header's end ('\n'): 1 found, else Y4M_HEADER_BAD or Y4M_HEADER_UNFINISHED with `error`.
int findHeaderEnd(const uint8_t* bytes, size_t size, size_t* end, char* error, size_t errorSize) {
    if (!isY4mStream(bytes, size)) {
        snprintf(error, errorSize, "the stream does not start with 'YUV4MPEG2 '");
        return size < Y4M_SIGNATURE_BYTES && bytes && memcmp(bytes, y4mSignature, size) == 0
                   ? Y4M_HEADER_UNFINISHED
                   : Y4M_HEADER_BAD;
    }
    const void* newline = memchr(bytes, '\n', size);
    if (!newline) {
        snprintf(error, errorSize, "the YUV4MPEG2 header does not end within its first %zu bytes", size);
        return Y4M_HEADER_UNFINISHED;
    }
    *end = static_cast<size_t>(static_cast<const uint8_t*>(newline) - bytes);
    return 1;
}

// One of the fields W H F I A C (`letter`, then `valueLength` bytes at `value`).
bool readField(Y4mHeader* h, uint8_t letter, const uint8_t* value, size_t valueLength, char* error,
               size_t errorSize) {
    switch (letter) {
    case 'W': return readNumber(value, valueLength, &h->width) && h->width > 0;
    case 'H': return readNumber(value, valueLength, &h->height) && h->height > 0;
    case 'F': return readRatio(value, valueLength, &h->rateNumerator, &h->rateDenominator);
    case 'A': return readRatio(value, valueLength, &h->aspectNumerator, &h->aspectDenominator);
    case 'I':
        if (valueLength != 1 || !strchr("ptbm?", value[0]) || value[0] == '\0') return false;
        h->interlacing = static_cast<char>(value[0]);
        return true;
    default: // 'C'
        h->colour = findY4mColour(reinterpret_cast<const char*>(value), valueLength);
        if (!h->colour) {
            char quoted[QUOTED_FIELD_SIZE];
            quoteField(value, valueLength, quoted, sizeof quoted);
            snprintf(error, errorSize, "the YUV4MPEG2 colour space '%s' is not one read here", quoted);
        }
        return h->colour != nullptr;
    }
}

// The field of `length` bytes at `field`: 1 taken (or skipped), 0 with `error`.
int takeField(Y4mHeader* h, const uint8_t* bytes, const uint8_t* field, size_t length, bool* seen,
              char* error, size_t errorSize) {
    const uint8_t letter = field[0];
    if (letter == 'X') {
        if (h->extensionCount < Y4M_KEPT_EXTENSIONS)
            h->extensions[h->extensionCount] = {static_cast<int64_t>(field - bytes), static_cast<int64_t>(length)};
        if (h->extensionCount < INT32_MAX) ++h->extensionCount;
        return 1;
    }
    if (!strchr("WHFIAC", letter) || letter == '\0') return 1; // a field Y4M may add later
    if (seen[letter]) {
        snprintf(error, errorSize, "the YUV4MPEG2 header gives %c twice", letter);
        return 0;
    }
    seen[letter] = true;
    error[0] = '\0';
    if (readField(h, letter, field + 1, length - 1, error, errorSize)) return 1;
    if (!error[0]) {
        char quoted[QUOTED_FIELD_SIZE];
        quoteField(field, length, quoted, sizeof quoted);
        snprintf(error, errorSize, "the YUV4MPEG2 header field '%s' is malformed", quoted);
    }
    return 0;
}

// After the fields: W and H given, the geometry settled.
int finishHeader(Y4mHeader* h, const bool* seen, char* error, size_t errorSize) {
    if (!seen['W'] || !seen['H']) {
        snprintf(error, errorSize, "the YUV4MPEG2 header gives no %s",
                 !seen['W'] && !seen['H'] ? "width (W) or height (H)" : !seen['W'] ? "width (W)" : "height (H)");
        return 0;
    }
    if (!h->colour) h->colour = &y4mColours[0];
    h->geometry.format = y4mColourFormat(h->colour);
    h->geometry.width = h->width;
    h->geometry.height = h->height;
    h->geometry.rounding = CHROMA_ROUNDED_UP;
    h->frameBytes = frameBytes(&h->geometry);
    if (h->frameBytes < 0) {
        snprintf(error, errorSize, "a %dx%d %s frame is too large to hold", h->width, h->height,
                 h->geometry.format->name);
        return 0;
    }
    return 1;
}

} // namespace

int parseY4mHeader(const uint8_t* bytes, size_t size, Y4mHeader* header, char* error,
                   size_t errorSize) {
    memset(header, 0, sizeof *header);
    char scratch[1];
    if (!errorSize) {
        error = scratch;
        errorSize = sizeof scratch;
    }
    error[0] = '\0';
    size_t end = 0;
    const int found = findHeaderEnd(bytes, size, &end, error, errorSize);
    if (found != 1) return found;
    Y4mHeader h;
    memset(&h, 0, sizeof h);
    h.interlacing = '?';
    bool seen[128] = {};
    size_t i = Y4M_SIGNATURE_BYTES;
    while (i < end) {
        if (bytes[i] == ' ') {
            ++i;
            continue;
        }
        size_t length = 0;
        while (i + length < end && bytes[i + length] != ' ') ++length;
        if (!takeField(&h, bytes, bytes + i, length, seen, error, errorSize)) return Y4M_HEADER_BAD;
        i += length;
    }
    if (!finishHeader(&h, seen, error, errorSize)) return Y4M_HEADER_BAD;
    h.headerBytes = static_cast<int64_t>(end) + 1;
    *header = h;
    return Y4M_HEADER_READ;
}

int64_t parseY4mFrameHeader(const uint8_t* bytes, size_t size) {
    static const char marker[] = "FRAME";
    const size_t n = sizeof marker - 1;
    if (!bytes) return 0;
    if (memcmp(bytes, marker, size < n ? size : n) != 0) return 0;
    if (size <= n) return -1;
    if (bytes[n] != '\n' && bytes[n] != ' ') return 0;
    const void* newline = memchr(bytes + n, '\n', size - n);
    if (!newline) return -1;
    return static_cast<const uint8_t*>(newline) - bytes + 1;
}

int64_t y4mFrameOffset(int64_t headerBytes, int64_t frameHeaderBytes, int64_t frameBytes, int64_t n) {
    if (headerBytes < 0 || frameHeaderBytes < 0 || frameBytes < 0 || n < 0) return -1;
    if (frameHeaderBytes > INT64_MAX - frameBytes) return -1;
    const int64_t step = frameHeaderBytes + frameBytes;
    if (step > 0 && n > (INT64_MAX - headerBytes) / step) return -1;
    return headerBytes + n * step;
}

int y4mFrameMarkerAt(const uint8_t* bytes, size_t size, int64_t frameHeaderBytes) {
    if (frameHeaderBytes <= 0 || static_cast<uint64_t>(frameHeaderBytes) > size) return 0;
    return parseY4mFrameHeader(bytes, static_cast<size_t>(frameHeaderBytes)) == frameHeaderBytes;
}

size_t buildY4mHeader(const FrameGeometry* geometry, const Y4mColour* colour, int32_t rateNumerator,
                      int32_t rateDenominator, char* text, size_t size) {
    if (!geometry->format || rateNumerator <= 0 || rateDenominator <= 0) return 0;
    if (!colour || y4mColourFormat(colour) != planarFormOf(geometry->format)) colour = y4mColourOf(geometry->format);
    if (!colour) return 0;
    const int n = snprintf(text, size, "YUV4MPEG2 W%d H%d F%d:%d Ip A0:0 C%s%s%s\n", geometry->width,
                           geometry->height, rateNumerator, rateDenominator, colour->tag,
                           colour->extension[0] ? " " : "", colour->extension);
    return n > 0 && static_cast<size_t>(n) < size ? static_cast<size_t>(n) : 0;
}
