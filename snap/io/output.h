// An output of a run that is either a file through the one write path
// (openOutput/writeOutput/finishOutput) or standard output, named "-".
#pragma once

#include <cstddef>
#include <string>

#include "snap/io/files.h"

// Nonzero for "-", the name of standard output wherever a path is taken.
int isStandardStream(const char* path);

struct Output {
    const char* path = nullptr; // nullptr: none; "-": standard output
    bool toFile = false;        // written through `file`
    OutputFile file{};
    bool failed = false;        // a write failed; a file keeps its reason for finishRunOutput
    int error = 0;              // errno of the first failed write to standard output
};

// Opens `path` (nullptr: no output, every write is dropped). A file's error
// is prefixed with "OPTION: " when `option` is given.
int openRunOutput(Output* out, const char* path, const OutputGuard* guard, const char* option, std::string* error);
// Nonzero when all of `bytes` went out.
int putBytes(Output* out, const void* bytes, size_t count);
void putLine(Output* out, const char* line);
// "cannot write ...: REASON" for the first write that failed.
std::string outputFailure(const Output* out);
// A file renamed into place when whole; standard output flushed. Nonzero
// when everything arrived; otherwise `error` is the one line saying why.
int finishRunOutput(Output* out, std::string* error);
// Drops a file not finished (its temporary name is removed).
void abandonRunOutput(Output* out);

// `text` whole to `path` ("-": standard output) through the write path;
// 0 after saying why not (a file's reason prefixed with "OPTION: ").
int writeDocument(const char* path, const std::string& text, const OutputGuard* guard, const char* option);

// Outputs open on standard output now (progress stays off the terminal they share).
int standardOutputStreams();
