// Frames of an open video written as pictures, one file per frame.
#pragma once

#include <cstddef>
#include <climits>
#include <cstdint>
#include <string>

#include "snap/files.h"

#include "snap/options.h"
#include "video/video_file.h"

// The largest picture's pixels in bytes: BMP keeps its size in 32 bits.
constexpr int64_t PICTURE_BYTE_LIMIT = INT32_MAX;

// Width of the picture of a frame `width` wide: the frame's own, or with
// `separate` the planes side by side.
int64_t exportPictureWidth(int32_t width, const ChromaFormat* format, int separate);
// Nonzero when a picture of width x height can be held and written as
// pictureType (PICTURE_BMP or PICTURE_PNG).
int pictureFits(int64_t width, int32_t height, int separate, int pictureType);

// Writes frames first to last (inclusive; whole frames of the open video) to
// the names the job's OUTPUT gives them, through the one write path guarded
// by `guard`, reading the file once from frame `first` on. `written` counts
// the pictures written. Nonzero on success; otherwise `error` names the first
// failing frame's file in frame order (no partial picture is left).
int exportFrames(VideoFile* video, const SnapJob* job, const OutputGuard* guard, int64_t first,
                 int64_t last, int64_t* written, std::string* error);
