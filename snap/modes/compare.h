// corvane-snap --compare: the PSNR of two raw videos of one geometry.
#pragma once
#include <cstdint>
#include "video/video_file.h"   // ChromaFormat
struct CompareJob {
    const char* input;        // paths as given (UTF-8 on Windows)
    const char* other;
    int32_t width, height;
    const ChromaFormat* format;
    const char* statsPath;    // nullptr: no per-frame lines; "-": standard output
    int failBelowSet;         // nonzero: exit status 1 when any frame's average PSNR < failBelow
    double failBelow;
};
// Returns the exit status: 0, 1 (a frame below failBelow) or 2 (error, one line on stderr).
int runCompare(const CompareJob* job);

struct SnapJob;
// --compare as the command line gave it: the geometry from the flags or the
// names (refused when they differ), then runCompare.
int runCompareCommand(const SnapJob* job);

// Nonzero when the flags and both names agree on the geometry; otherwise one
// line naming two that differ (for --diff as for --compare).
int compareGeometriesAgree(const SnapJob* job);
