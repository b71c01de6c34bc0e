#include "snap/io/messages.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif
#include <cerrno>
#include <cinttypes>
#include <cstdarg>
#include <cstring>
#include <sys/stat.h>
#include <sys/types.h>

#include "snap/io/output.h"
#include "snap/io/shown_name.h"

#ifdef _WIN32
std::wstring wideFromUtf8(const char* text) {
    const int count = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (count <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(count), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, &wide[0], count);
    wide.resize(static_cast<size_t>(count - 1));
    return wide;
}

FILE* openToolFile(const char* utf8Path, const char* mode) {
    if (!utf8Path || !mode) return nullptr;
    const std::wstring path = wideFromUtf8(utf8Path);
    const std::wstring wideMode = wideFromUtf8(mode);
    if (path.empty() || wideMode.empty()) return nullptr;
    return _wfopen(path.c_str(), wideMode.c_str());
}

int standardErrorIsTerminal() {
    return _isatty(_fileno(stderr));
}

int standardOutputIsTerminal() {
    return _isatty(_fileno(stdout));
}

void makeStandardOutputBinary() {
    fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
}

std::vector<std::string> wideArgumentsToUtf8(int argc, wchar_t** argv) {
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i) {
        const int bytes = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
        std::string text(bytes > 0 ? static_cast<size_t>(bytes) : 1, '\0');
        if (bytes > 0)
            WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, &text[0], bytes, nullptr, nullptr);
        text.resize(text.size() - 1);
        arguments.push_back(text);
    }
    return arguments;
}
#else
FILE* openToolFile(const char* utf8Path, const char* mode) {
    if (!utf8Path || !mode) return nullptr;
    return fopen(utf8Path, mode);
}

int standardErrorIsTerminal() {
    return isatty(fileno(stderr));
}

int standardOutputIsTerminal() {
    return isatty(fileno(stdout));
}

void makeStandardOutputBinary() {}
#endif

int64_t toolFileSize(FILE* file) {
    if (!file) return -1;
#ifdef _WIN32
    if (_fseeki64(file, 0, SEEK_END) != 0) return -1;
    const int64_t size = _ftelli64(file);
    _fseeki64(file, 0, SEEK_SET);
#else
    if (fseeko(file, 0, SEEK_END) != 0) return -1;
    const int64_t size = static_cast<int64_t>(ftello(file));
    fseeko(file, 0, SEEK_SET);
#endif
    return size;
}

namespace {
void noteLine(const char* format, va_list args) {
    fputs("corvane-snap: ", stderr);
    vfprintf(stderr, format, args);
    fputc('\n', stderr);
}
} // namespace

void snapNote(const char* format, ...) {
    va_list args;
    va_start(args, format);
    noteLine(format, args);
    va_end(args);
}

int snapFail(const char* format, ...) {
    va_list args;
    va_start(args, format);
    noteLine(format, args);
    va_end(args);
    return 2;
}

std::string cannotWriteText(const char* path, int error) {
    const char* reason = strerror(error ? error : EIO);
    if (isStandardStream(path)) return std::string("cannot write to standard output: ") + reason;
    return "cannot write " + quotedName(path) + ": " + reason;
}

void notePartialFrame(const char* path, int64_t partialBytes) {
    if (partialBytes > 0)
        snapNote("%s ends in a partial frame of %" PRId64 " bytes, left out", quotedName(path).c_str(), partialBytes);
}

int failNoWholeFrame(const char* path, int32_t width, int32_t height, const char* formatName) {
    char size[48] = "";
    if (width > 0) snprintf(size, sizeof size, " %dx%d", width, height);
    return snapFail("%s holds no whole%s%s%s frame", quotedName(path).c_str(), size, formatName ? " " : "",
                    formatName ? formatName : "");
}

int failAfterWritten(const char* failure, int64_t written) {
    if (written <= 0) return snapFail("%s", failure);
    return snapFail("%s (%" PRId64 " other picture%s written)", failure, written, written == 1 ? "" : "s");
}

void noteCommonFrames(const char* input, int64_t inputFrames, const char* other, int64_t otherFrames) {
    if (inputFrames == otherFrames) return;
    snapNote("%s holds %" PRId64 " frame%s, %s %" PRId64 " frame%s: comparing the first %" PRId64,
             quotedName(input).c_str(), inputFrames, inputFrames == 1 ? "" : "s", quotedName(other).c_str(),
             otherFrames, otherFrames == 1 ? "" : "s", inputFrames < otherFrames ? inputFrames : otherFrames);
}
