// Frames of an open video written as pictures, one file per frame.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tools/snap_args.h"
#include "video/video_file.h"

// Writes frames first to last (inclusive; whole frames of the open video) to
// the names the job's OUTPUT gives them, reading the file once from frame
// `first` on. `written` counts the pictures written. Nonzero on success;
// otherwise `error` says what went wrong (a picture that failed is removed).
int exportFrames(VideoFile* video, const SnapJob* job, int64_t first, int64_t last,
                 int64_t* written, char* error, size_t errorSize);
