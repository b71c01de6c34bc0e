#include "snap/source/source.h"

#include <cerrno>
#include <cinttypes>
#include <cstdarg>
#include <cstring>

#include "snap/format/name_guess.h"
#include "snap/io/files.h"
#include "snap/io/messages.h"
#include "snap/source/y4m_header.h"

namespace {
// The sources in the order they are asked: the ones known by their content
// first, raw (which takes any file) last.
const FrameSource* const frameSources[] = {&y4mSource, &rawSource};

int seekTo(FILE* file, int64_t offset) {
#ifdef _WIN32
    return _fseeki64(file, offset, SEEK_SET);
#else
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET);
#endif
}

int readFailed(SourceInput* in, std::string* error) {
    *error = "cannot read " + quotedName(in->path) + ": " + strerror(errno ? errno : EIO);
    clearerr(in->file);
    return 0;
}

std::string pastTheEnd(const Source* s, int64_t index) {
    return "frame " + std::to_string(index) + " is past the end of " + quotedName(s->path);
}

// Opens the file and reads the bytes the probes look at. A stream keeps
// them, to be read again by its kind.
int openInput(SourceInput* in, const char* path, uint8_t* head, size_t* got, std::string* error) {
    *in = SourceInput{nullptr, path, -1, 0, isStreamPath(path), {}, 0};
    in->file = openInputFile(path, error);
    if (!in->file) return 0;
    if (!in->stream) in->size = toolFileSize(in->file);
    if (!in->stream && in->size < 0) {
        *error = "cannot find the size of " + quotedName(path) + ": " + strerror(errno ? errno : EIO);
        closeInput(in);
        return 0;
    }
    *got = fread(head, 1, Y4M_SIGNATURE_BYTES, in->file);
    in->position = static_cast<int64_t>(*got);
    if (in->stream) in->kept.assign(head, head + *got);
    return 1;
}

// Reads and drops a stream's bytes up to `offset`, or to its end.
int skipStream(SourceInput* in, int64_t offset, std::string* error) {
    uint8_t drop[1 << 16];
    while (in->position < offset) {
        const int64_t left = offset - in->position;
        const size_t want = left < int64_t(sizeof drop) ? size_t(left) : sizeof drop;
        const size_t got = fread(drop, 1, want, in->file);
        in->position += int64_t(got);
        if (got < want) return !ferror(in->file) || readFailed(in, error);
    }
    return 1;
}

// readInputSome on a stream: the kept bytes first, then the stream's own.
int readStreamSome(SourceInput* in, int64_t offset, uint8_t* bytes, size_t count, size_t* got, std::string* error) {
    *got = 0;
    if (offset < (in->kept.empty() ? in->position : in->keptStart)) {
        *error = quotedName(in->path) + " can only be read in order: byte " + std::to_string(offset) +
                 " has gone by";
        return 0;
    }
    if (!in->kept.empty() && offset < in->position) {
        const size_t from = size_t(offset - in->keptStart);
        const size_t take = count < in->kept.size() - from ? count : in->kept.size() - from;
        memcpy(bytes, in->kept.data() + from, take);
        in->kept.erase(in->kept.begin(), in->kept.begin() + std::ptrdiff_t(from + take));
        in->keptStart = offset + int64_t(take);
        *got = take;
        if (take == count) return 1;
    }
    in->kept.clear();
    if (!skipStream(in, offset + int64_t(*got), error)) return 0;
    if (in->position < offset + int64_t(*got)) return 1; // it ended first
    const size_t read = fread(bytes + *got, 1, count - *got, in->file);
    in->position += int64_t(read);
    *got += read;
    return *got == count || !ferror(in->file) || readFailed(in, error);
}
} // namespace

int openSource(Source* s, const char* path, const GeometryRequest* asked, std::string* error) {
    *s = Source();
    s->path = path;
    s->fileBytes = -1;
    s->frameCount = -1;
    SourceInput in;
    uint8_t head[Y4M_SIGNATURE_BYTES] = {};
    size_t got = 0;
    if (!openInput(&in, path, head, &got, error)) return 0;
    s->fileBytes = in.size;
    s->stream = in.stream;
    for (const FrameSource* kind : frameSources) {
        if (!kind->probe(head, got)) continue;
        s->kind = kind;
        if (kind->open(s, &in, asked, error)) return 1;
        s->kind = nullptr;
        s->state = nullptr;
        closeInput(&in);
        return 0;
    }
    *error = "no reader takes " + quotedName(path);
    closeInput(&in);
    return 0;
}

int sourceNext(Source* s, uint8_t* frame, std::string* error) {
    if (!s->kind) return -1;
    const int got = s->kind->next(s, frame, error);
    if (got == 1) s->nextFrame += 1;
    return got;
}

int sourceCanSeek(const Source* s) {
    return s->kind && s->kind->seek && !s->stream;
}

int sourceSeek(Source* s, int64_t index, std::string* error) {
    if (!sourceCanSeek(s)) {
        *error = quotedName(s->path) + " can only be read in order";
        return 0;
    }
    if (index < 0 || (s->frameCount >= 0 && index >= s->frameCount)) {
        *error = pastTheEnd(s, index);
        return 0;
    }
    if (!s->kind->seek(s, index, error)) return 0;
    s->nextFrame = index;
    return 1;
}

int readSourceFrameOrEnd(Source* s, int64_t index, uint8_t* frame, std::string* error) {
    if (index < 0) {
        *error = pastTheEnd(s, index);
        return -1;
    }
    if (s->frameCount >= 0 && index >= s->frameCount) return 0;
    if (index != s->nextFrame && sourceCanSeek(s) && !sourceSeek(s, index, error)) return -1;
    if (index < s->nextFrame) {
        *error = "frame " + std::to_string(index) + " of " + quotedName(s->path) +
                 " has gone by, and the input can only be read in order";
        return -1;
    }
    for (;;) {
        const int got = sourceNext(s, frame, error);
        if (got != 1) return got;
        if (s->nextFrame - 1 == index) return 1;
    }
}

int readSourceFrame(Source* s, int64_t index, uint8_t* frame, std::string* error) {
    const int got = readSourceFrameOrEnd(s, index, frame, error);
    if (got == 0) *error = pastTheEnd(s, index);
    return got == 1;
}

int readSourceToEnd(Source* s, std::string* error) {
    if (!s->stream) return 1; // a file's count is known from its size
    std::vector<uint8_t> frame(size_t(s->frameBytes > 0 ? s->frameBytes : 1));
    for (;;) {
        const int got = sourceNext(s, frame.data(), error);
        if (got != 1) return got == 0;
    }
}

void closeSource(Source* s) {
    if (s->kind && s->kind->close) s->kind->close(s);
    s->kind = nullptr;
    s->state = nullptr;
}

int readInputBytes(SourceInput* in, int64_t offset, uint8_t* bytes, size_t count, std::string* error) {
    if (in->stream) {
        size_t got = 0;
        if (!readStreamSome(in, offset, bytes, count, &got, error)) return 0;
        if (got == count) return 1;
        *error = "cannot read " + quotedName(in->path) + ": it ended early";
        return 0;
    }
    if (offset != in->position && seekTo(in->file, offset) != 0) {
        *error = "cannot read " + quotedName(in->path) + ": " + strerror(errno ? errno : EIO);
        in->position = -1;
        return 0;
    }
    const size_t got = fread(bytes, 1, count, in->file);
    in->position = offset + static_cast<int64_t>(got);
    if (got == count) return 1;
    *error = "cannot read " + quotedName(in->path) + ": " +
             (ferror(in->file) ? strerror(errno ? errno : EIO) : "it ended early");
    clearerr(in->file);
    in->position = -1;
    return 0;
}

int readInputSome(SourceInput* in, int64_t offset, uint8_t* bytes, size_t count, size_t* got, std::string* error) {
    if (in->stream) return readStreamSome(in, offset, bytes, count, got, error);
    *got = 0;
    const int64_t left = in->size - offset;
    const size_t take = left <= 0 ? 0 : uint64_t(left) < count ? size_t(left) : count;
    if (take && !readInputBytes(in, offset, bytes, take, error)) return 0;
    *got = take;
    return 1;
}

int readInputLine(SourceInput* in, int64_t offset, std::vector<uint8_t>* line, size_t limit, std::string* error) {
    line->clear();
    if (in->stream) {
        // A byte at a time (from the stream's buffer): nothing past the line is taken.
        for (uint8_t byte = 0; line->size() < limit && byte != '\n';) {
            size_t got = 0;
            if (!readStreamSome(in, offset + int64_t(line->size()), &byte, 1, &got, error)) return 0;
            if (!got) return 1;
            line->push_back(byte);
        }
        return 1;
    }
    for (size_t want = 256;; want *= 4) {
        if (want > limit) want = limit;
        size_t got = 0;
        line->resize(want);
        if (!readInputSome(in, offset, line->data(), want, &got, error)) return 0;
        line->resize(got);
        if (memchr(line->data(), '\n', got) || got < want || want >= limit) return 1;
    }
}

void closeInput(SourceInput* in) {
    if (in->file) fclose(in->file);
    in->file = nullptr;
}

void addInfoLine(InfoLines* info, const char* key, const char* format, ...) {
    char value[4096];
    va_list args;
    va_start(args, format);
    vsnprintf(value, sizeof value, format, args);
    va_end(args);
    info->lines.emplace_back(key, value);
}

void addFittingGeometries(InfoLines* info, int64_t fileSize) {
    std::vector<std::string> fits;
    listFittingGeometries(&fits, fileSize);
    for (const std::string& value : fits) info->lines.emplace_back("fits", value);
}

void describeGeometrySource(const Source* s, char* text, size_t size) {
    if (s->sizeFrom == GEOMETRY_FROM_HEADER) {
        snprintf(text, size, "header");
        return;
    }
    const bool flags = s->sizeFrom == GEOMETRY_FROM_FLAGS || s->formatFrom == GEOMETRY_FROM_FLAGS;
    const bool name = s->sizeFrom == GEOMETRY_FROM_NAME || s->formatFrom == GEOMETRY_FROM_NAME;
    snprintf(text, size, "%s%s", flags && name ? "flags and file name" : name ? "file name" : "flags",
             s->formatFrom == GEOMETRY_BY_DEFAULT ? " (format 4:2:0 by default)" : "");
}
