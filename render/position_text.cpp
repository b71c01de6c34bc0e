#include "render/position_text.h"

#include <cinttypes>
#include <cstdio>

TimeParts splitTime(uint32_t ms) {
    TimeParts parts;
    parts.hours = ms / 3600000u;
    uint32_t rest = ms % 3600000u;
    parts.minutes = rest / 60000u;
    rest %= 60000u;
    parts.seconds = rest / 1000u;
    parts.milliseconds = rest % 1000u;
    return parts;
}

void formatPositionText(char* text, size_t size, int32_t frameInterval, int64_t frameIndex) {
    // Wraps like the 32-bit product it has always been: frame -1 at 40 ms is
    // 4294967256 ms.
    uint32_t ms = static_cast<uint32_t>(frameInterval) * static_cast<uint32_t>(frameIndex);
    TimeParts t = splitTime(ms);
    snprintf(text, size, " h%02u : m%02u : s%02u : ms%03u : f%" PRId64, t.hours, t.minutes,
             t.seconds, t.milliseconds, frameIndex);
}

void videoPositionText(const VideoFile* video, char* text, size_t size) {
    formatPositionText(text, size, video->frameInterval, video->frameIndex);
}
