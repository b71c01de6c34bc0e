// Files named by the command line's UTF-8 text. On Windows the C library's
// narrow calls take names in the ANSI code page, which cannot hold every
// name a user has; there the names go through the wide calls instead.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

FILE* openToolFile(const char* utf8Path, const char* mode);
// The size of an open file in bytes (the position is left at the start), or -1.
int64_t toolFileSize(FILE* file);

// One line on standard error, after "corvane-snap: ".
void snapNote(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The same for an error; returns the exit status errors end with (2).
int snapFail(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Standard output written byte for byte from here on (Windows would make
// each "\n" a "\r\n"), for listings that must equal another tool's.
void makeStandardOutputBinary();

// Nonzero when standard error is a terminal (where progress is worth showing).
int standardErrorIsTerminal();
int standardOutputIsTerminal();

// Messages several modes give.
// "cannot write to standard output: REASON" for "-", else "cannot write 'NAME': REASON".
std::string cannotWriteText(const char* path, int error);
// "'NAME' ends in a partial frame of N bytes, left out", when it does.
void notePartialFrame(const char* path, int64_t partialBytes);
// When two files hold different numbers of whole frames, says each one's
// count and that only the first `common` are compared.
void noteCommonFrames(const char* input, int64_t inputFrames, const char* other, int64_t otherFrames);
// "'NAME' holds no whole WxH FORMAT frame": the size left out when width is
// 0, the format when `formatName` is nullptr. Returns 2, as snapFail.
int failNoWholeFrame(const char* path, int32_t width, int32_t height, const char* formatName);
// A run's failure, with "(N other pictures written)" when some were.
int failAfterWritten(const char* failure, int64_t written);

#ifdef _WIN32
// A UTF-8 text for the wide calls ("" when it is not UTF-8).
std::wstring wideFromUtf8(const char* text);
// The program's arguments as UTF-8 texts, from the wide command line.
std::vector<std::string> wideArgumentsToUtf8(int argc, wchar_t** argv);
#endif
