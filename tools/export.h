// Frames of an open video written as pictures, one file per frame.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tools/snap_args.h"
#include "video/video_file.h"

// Fills a 24-bit picture (blue, green, red) with the frame held in `video`,
// with exactly the viewer's bytes: row r of the picture goes to
// firstRow + r * rowStep, so a negative step builds it bottom-up as BMP
// files keep it. Padding after each row is not written.
void buildColourRows(const VideoFile* video, uint8_t* firstRow, int64_t rowStep);

// Writes frames first to last (inclusive; whole frames of the open video) to
// the names the job's OUTPUT gives them, reading the file once from frame
// `first` on. `written` counts the pictures written. Nonzero on success;
// otherwise `error` says what went wrong (a picture that failed is removed).
int exportFrames(VideoFile* video, const SnapJob* job, int64_t first, int64_t last,
                 int64_t* written, char* error, size_t errorSize);
