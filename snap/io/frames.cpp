#include "snap/io/frames.h"

#include <cinttypes>
#include <string>

#include "snap/io/messages.h"

int chooseFrames(const FrameChoice* choice, int64_t count, const char* holds, int64_t* first, int64_t* last) {
    const bool toEnd = choice->kind == FRAMES_LAST || choice->kind == FRAMES_ALL;
    *first = choice->kind == FRAMES_ALL ? 0 : choice->first;
    *last = toEnd ? (count < 0 ? INT64_MAX : count - 1) : choice->kind == FRAMES_ONE ? choice->first : choice->last;
    if (count < 0) {
        if (choice->kind == FRAMES_LAST)
            return !snapFail("%s a number of frames known only at the end: no last frame can be chosen", holds);
        return 1;
    }
    if (toEnd && count == 0) return !snapFail("%s no whole frame", holds);
    if (choice->kind == FRAMES_LAST) *first = count - 1;
    if (*first >= count && choice->kind == FRAMES_ONE)
        return !snapFail("frame %" PRId64 " is past the end: %s %" PRId64 " whole frames", *first, holds, count);
    if (*first >= count)
        return !snapFail("the range starts at frame %" PRId64 ", past the end: %s %" PRId64 " whole frames", *first,
                         holds, count);
    if (*last >= count) *last = count - 1;
    return 1;
}

int checkFrameOutputs(const OutputName* name, const char* text, const OutputGuard* guard, int64_t first,
                      int64_t last) {
    std::string error;
    for (int64_t frame = first; frame <= last; ++frame) {
        const std::string path = outputNameFor(name, text, frame);
        if (!checkOutputPath(path.c_str(), guard, &error)) return !snapFail("%s", error.c_str());
        // Without a number field every frame has the same name.
        if (!name->hasField) break;
    }
    return 1;
}
