#include <cstring>

#include "snap/cli/words.h"
#include "snap/writer/writer.h"

const Writer* writerForName(const char* name) {
    const char* dot = name ? strrchr(name, '.') : nullptr;
    if (!dot || strchr(dot, '/') || strchr(dot, '\\')) return nullptr;
    for (int i = 0; i < writerCount; ++i)
        if (sameWordAnyCase(dot, writerTable[i]->extension)) return writerTable[i];
    return nullptr;
}

const Writer* writerForWord(const char* word) {
    for (int i = 0; i < writerCount; ++i)
        if (sameWordAnyCase(word, writerTable[i]->extension + 1)) return writerTable[i];
    return nullptr;
}

namespace {
std::string listWriters(int skip) {
    std::string list;
    for (int i = 0; i < writerCount; ++i)
        list += std::string(i == 0 ? "" : i + 1 == writerCount ? " or " : ", ") + (writerTable[i]->extension + skip);
    return list;
}
} // namespace

std::string writerExtensionList() {
    return listWriters(0);
}

std::string writerWordList() {
    return listWriters(1);
}

int parseOutputName(const char* text, OutputName* name, int* malformed) {
    name->hasField = 0;
    name->zeroPad = 0;
    name->width = 0;
    name->prefix.clear();
    name->suffix.clear();
    if (malformed) *malformed = 0;
    if (!text) return 0;

    std::string before, after;
    int fields = 0, zeroPad = 0, width = 0;
    bool bad = false;
    for (const char* p = text; *p; ++p) {
        if (*p != '%') {
            (fields ? after : before) += *p;
            continue;
        }
        if (p[1] == '%') {
            (fields ? after : before) += '%';
            ++p;
            continue;
        }
        // A field: '%', an optional '0', up to two width digits, then d, i or u.
        const char* q = p + 1;
        int pad = 0, w = 0;
        if (*q == '0') {
            pad = 1;
            ++q;
        }
        int digits = 0;
        while (*q >= '0' && *q <= '9' && digits < 2) {
            w = w * 10 + (*q - '0');
            ++q;
            ++digits;
        }
        if (*q != 'd' && *q != 'i' && *q != 'u') {
            bad = true;
            break;
        }
        if (++fields > 1) {
            bad = true;
            break;
        }
        zeroPad = pad;
        width = w;
        p = q;
    }
    if (bad || !fields) {
        if (malformed) *malformed = bad;
        // One rule with a field or without: "%%" is a "%" in every name.
        name->prefix = bad ? text : before;
        return 0;
    }
    name->hasField = 1;
    name->zeroPad = zeroPad;
    name->width = width;
    name->prefix = before;
    name->suffix = after;
    return 1;
}

std::string outputNameFor(const OutputName* name, const char* text, int64_t frame) {
    if (!name->hasField) return text && name->prefix.empty() ? text : name->prefix;
    char digits[32];
    int count = 0;
    uint64_t n = frame < 0 ? 0 : static_cast<uint64_t>(frame);
    do {
        digits[count++] = static_cast<char>('0' + n % 10);
        n /= 10;
    } while (n);
    std::string result = name->prefix;
    if (name->width > count) result.append(static_cast<size_t>(name->width - count), name->zeroPad ? '0' : ' ');
    while (count) result += digits[--count];
    return result + name->suffix;
}

