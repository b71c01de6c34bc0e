#include "snap/source/source.h"

#include <cerrno>
#include <cstring>

#include "snap/io/files.h"
#include "snap/io/messages.h"

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
} // namespace

int openSource(SourceState* s, const char* path, const GeometryRequest* asked, std::string* error) {
    *s = SourceState();
    s->path = path;
    s->file = openInputFile(path, error);
    if (!s->file) return 0;
    s->fileBytes = toolFileSize(s->file);
    if (s->fileBytes < 0) {
        *error = "cannot find the size of " + quotedName(path) + ": " + strerror(errno ? errno : EIO);
        closeSource(s);
        return 0;
    }
    uint8_t head[Y4M_SIGNATURE_BYTES] = {};
    const size_t got = fread(head, 1, sizeof head, s->file);
    s->position = static_cast<int64_t>(got);
    for (const FrameSource* kind : frameSources) {
        if (!kind->probe(head, got)) continue;
        s->kind = kind;
        if (!kind->open(s, asked, error)) {
            closeSource(s);
            return 0;
        }
        return 1;
    }
    *error = "no reader takes " + quotedName(path);
    closeSource(s);
    return 0;
}

int readSourceFrame(SourceState* s, int64_t index, uint8_t* frame, std::string* error) {
    if (index < 0 || index >= s->frameCount) {
        *error = "frame " + std::to_string(index) + " is past the end of " + quotedName(s->path);
        return 0;
    }
    return s->kind->read(s, index, frame, error);
}

void closeSource(SourceState* s) {
    if (s->file && s->kind && s->kind->close) s->kind->close(s);
    if (s->file) fclose(s->file);
    s->file = nullptr;
}

int readSourceBytes(SourceState* s, int64_t offset, uint8_t* bytes, size_t count, std::string* error) {
    if (offset != s->position && seekTo(s->file, offset) != 0) {
        *error = "cannot read " + quotedName(s->path) + ": " + strerror(errno ? errno : EIO);
        s->position = -1;
        return 0;
    }
    const size_t got = fread(bytes, 1, count, s->file);
    s->position = offset + static_cast<int64_t>(got);
    if (got == count) return 1;
    *error = "cannot read " + quotedName(s->path) + ": " +
             (ferror(s->file) ? strerror(errno ? errno : EIO) : "it ended early");
    clearerr(s->file);
    s->position = -1;
    return 0;
}

void describeGeometrySource(const SourceState* s, char* text, size_t size) {
    if (s->sizeFrom == GEOMETRY_FROM_HEADER) {
        snprintf(text, size, "header");
        return;
    }
    const bool flags = s->sizeFrom == GEOMETRY_FROM_FLAGS || s->formatFrom == GEOMETRY_FROM_FLAGS;
    const bool name = s->sizeFrom == GEOMETRY_FROM_NAME || s->formatFrom == GEOMETRY_FROM_NAME;
    snprintf(text, size, "%s%s", flags && name ? "flags and file name" : name ? "file name" : "flags",
             s->formatFrom == GEOMETRY_BY_DEFAULT ? " (format 4:2:0 by default)" : "");
}
