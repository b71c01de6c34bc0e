// The status bar's position text: the video's own time at the current frame.
#pragma once

#include <cstddef>
#include <cstdint>

#include "video/video_file.h"

struct TimeParts {
    uint32_t hours, minutes, seconds, milliseconds;
};

TimeParts splitTime(uint32_t ms);

enum { POSITION_TEXT_SIZE = 96 };

// Writes " hHH : mMM : sSS : msMMM : fN" for frameInterval x frameIndex
// milliseconds, the product taken in 32 bits as unsigned.
void formatPositionText(char* text, size_t size, int32_t frameInterval, int64_t frameIndex);
void videoPositionText(const VideoFile* video, char* text, size_t size);
