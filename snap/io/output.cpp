#include "snap/io/output.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "snap/io/messages.h"

namespace {

std::atomic<int> openStandardStreams{0}; // outputs opened on standard output and not yet finished

// The reason of the write that just failed.
int lastError() {
    return errno ? errno : EIO;
}

void closeStream(Output* out) {
    if (out->path && !out->toFile) openStandardStreams -= 1;
    out->path = nullptr;
    out->toFile = false;
}

} // namespace

int isStandardStream(const char* path) {
    return path && !strcmp(path, "-");
}

int standardOutputStreams() {
    return openStandardStreams.load();
}

int openRunOutput(Output* out, const char* path, const OutputGuard* guard, const char* option, std::string* error) {
    out->path = path;
    out->toFile = path && !isStandardStream(path);
    out->failed = false;
    out->error = 0;
    if (!path) return 1;
    if (!out->toFile) {
        openStandardStreams += 1;
        return 1;
    }
    if (openOutput(&out->file, path, guard, error)) return 1;
    if (option) *error = std::string(option) + ": " + *error;
    out->toFile = false;
    out->path = nullptr;
    return 0;
}

int putBytes(Output* out, const void* bytes, size_t count) {
    if (!out->path || !count) return 1;
    if (out->toFile) {
        if (!writeOutput(&out->file, bytes, count)) out->failed = true;
        return !out->failed;
    }
    errno = 0;
    if (!out->failed && fwrite(bytes, 1, count, stdout) != count) {
        out->failed = true;
        out->error = lastError();
    }
    return !out->failed;
}

void putLine(Output* out, const char* line) {
    putBytes(out, line, strlen(line));
}

std::string outputFailure(const Output* out) {
    return cannotWriteText(out->path, out->toFile ? out->file.writeError : out->error);
}

int finishRunOutput(Output* out, std::string* error) {
    if (!out->path) return 1;
    if (out->toFile) {
        out->toFile = false;
        out->path = nullptr;
        return finishOutput(&out->file, error);
    }
    errno = 0;
    if (!out->failed && fflush(stdout) != 0) {
        out->failed = true;
        out->error = lastError();
    }
    closeStream(out);
    if (!out->failed) return 1;
    *error = cannotWriteText("-", out->error);
    return 0;
}

void abandonRunOutput(Output* out) {
    if (out->toFile) abandonOutput(&out->file);
    closeStream(out);
}

int writeDocument(const char* path, const std::string& text, const OutputGuard* guard, const char* option) {
    if (isStandardStream(path)) {
        errno = 0;
        if (fwrite(text.data(), 1, text.size(), stdout) != text.size() || fflush(stdout) != 0)
            return !snapFail("%s", cannotWriteText(path, lastError()).c_str());
        return 1;
    }
    std::string error;
    if (!writeWholeOutput(path, text.data(), text.size(), guard, &error))
        return !snapFail("%s%s%s", option ? option : "", option ? ": " : "", error.c_str());
    return 1;
}
