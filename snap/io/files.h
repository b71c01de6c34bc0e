// The one way corvane-snap reads its videos and writes its outputs.
//
// Inputs are regular files, or streams read once in order: standard input
// ("-"), a FIFO, or on Windows a named pipe (\\.\pipe\name). A directory
// or a device is refused (a directory reads as endless bytes). Every output goes through
// openOutput/finishOutput or writeWholeOutput (snap/io/output.h adds
// standard output, "-", to both): it is refused when it is one
// of the inputs by file identity (device and inode; on Windows volume serial
// and file index, which also sees another case of the same name), written
// under a temporary name in its own folder, and renamed over the target only
// when whole, so that an interrupted or failed write never leaves a partial
// file and never costs the old one. A device or pipe named as the output
// (/dev/null, /dev/stdout, NUL) is written in place: it cannot be renamed.
// A file this user may not write (mode bits and ACLs, as `cp` decides; on
// Windows the read-only attribute) is refused, root overwrites as `cp`
// does; a replaced file keeps its mode and, where allowed, its owner.
// Through a symbolic link, the file at the end of the chain is replaced (a
// dangling link's target created) and the links stay. The first output
// into a folder removes the temporary files there of runs killed outright
// (see sweepStaleParts in files.cpp).
//
// While a run is guarded (guardRun/endGuardedRun), SIGINT, SIGTERM and
// SIGHUP (on Windows Ctrl-C, Ctrl-Break and closing the console) remove the
// temporary files, say how many outputs were complete, and end the process
// as the signal would; SIGPIPE (a reader of standard output gone) does the
// same without a word.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "snap/io/shown_name.h"

// What a path names.
enum { PATH_ABSENT, PATH_REGULAR, PATH_DIRECTORY, PATH_OTHER };

struct FileIdentity {
    int kind;        // PATH_...
    int error;       // errno when kind is PATH_ABSENT and the path could not be examined
    uint64_t device; // st_dev, or the volume serial number
    uint64_t index;  // st_ino, or the file index
};

void identifyPath(const char* path, FileIdentity* identity);
int sameFile(const FileIdentity* a, const FileIdentity* b);

// The files an output must never be: INPUT and OTHER, and the run's other
// outputs.
constexpr int GUARDED_FILES = 8;
struct OutputGuard {
    int count;
    const char* names[GUARDED_FILES];
    const char* roles[GUARDED_FILES]; // "INPUT", "OTHER", "the --stats file"
    FileIdentity files[GUARDED_FILES];
    FileIdentity folders[GUARDED_FILES]; // of a file not there yet
};

void clearGuard(OutputGuard* guard);
void guardFile(OutputGuard* guard, const char* path, const char* role);
// Another output of the run: a later one may not be the same file, nor the
// same name in the same folder while neither exists yet. Standard output
// ("-") and devices (/dev/null) take any number of outputs.
void guardOutput(OutputGuard* guard, const char* path, const char* role);

// Nonzero when `path` names a stream: "-", a FIFO, or on Windows a named
// pipe. Looking never opens it (a pipe's one reader would be taken).
int isStreamPath(const char* path);

// Opens a regular file or a stream (see isStreamPath) for reading, binary;
// otherwise nullptr with the one-line reason. "-" is standard input.
FILE* openInputFile(const char* path, std::string* error);

// An output being written.
struct OutputFile {
    FILE* file;
    std::string path;      // the name it ends up under
    std::string temporary; // where it is written; empty when written in place
    int writeError;        // errno of the first failed write, or 0
};

// Nonzero when `path` may be written: not a directory, not a file in `guard`,
// not a file this user may not write.
int checkOutputPath(const char* path, const OutputGuard* guard, std::string* error);

int openOutput(OutputFile* out, const char* path, const OutputGuard* guard, std::string* error);
// Nonzero when all of `bytes` went out; the first error is kept for finishOutput.
int writeOutput(OutputFile* out, const void* bytes, size_t count);
// Flushes, closes and renames into place. Nonzero when the output is complete;
// otherwise the temporary file is gone, the old file untouched, and `error` says why.
int finishOutput(OutputFile* out, std::string* error);
// Drops an unfinished output: its temporary file is removed.
void abandonOutput(OutputFile* out);

int writeWholeOutput(const char* path, const void* bytes, size_t count, const OutputGuard* guard,
                     std::string* error);

// Removes the temporary file of every output not finished, for a run that
// ends by an error it did not foresee (memory ran out).
void removeUnfinishedOutputs();

// Outputs completed since the run began.
int64_t completedOutputs();

void guardRun();
void endGuardedRun();
