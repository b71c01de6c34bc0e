// A synthetic clip that shows at a glance whether frames, motion and every
// chroma plane come through: colour bars, a luma ramp, a moving box and a
// frame counter.
#pragma once

#include <cstdint>
#include <string>

#include "video/video_file.h"

// Fills one frame of the clip in the file layout (Y, then U, then V planes).
// `frame` must hold width * height + 2 * chromaWidth * chromaHeight bytes.
void makeSampleFrame(uint8_t* frame, int32_t width, int32_t height, const ChromaFormat* format,
                     int32_t frameNumber);

// The largest sample frame, in bytes.
constexpr int64_t SAMPLE_FRAME_LIMIT = int64_t{1} << 30;

// Writes `frames` frames to `path`. Nonzero on success; otherwise `error`
// (when given) holds the reason and no file is left at `path`.
int writeSampleClip(const char* path, int32_t width, int32_t height, const ChromaFormat* format,
                    int32_t frames, std::string* error = nullptr);
