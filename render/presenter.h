// Putting the current frame on the window: picture headers, the presenter,
// fitting the window to the picture.
#pragma once

#include <windows.h>

#include "video/video_file.h"

// A header followed by room for a full 256-entry colour table.
struct DibHeader {
    BITMAPINFOHEADER header;
    RGBQUAD colours[256];
};

// Top-down 8-bit picture of width x height; the first colour entry is zeroed.
void makeDibHeader(DibHeader* dib, int32_t width, int32_t height);

// Builds the picture of the current view from the frame buffer, copies it to
// the client area's top-left corner and rewrites both status-bar parts.
void presentFrame(VideoFile* video, HWND window, int separate);

// Writes both status-bar parts of `window` from the record: its title and
// its position text. With no video open, a presented picture still shows the
// cleared record's own texts (presenting nonzero: an empty title and frame
// 0); otherwise the bar says "No file open" and leaves the position empty.
void writeStatusTexts(HWND window, const VideoFile* video, int presenting);

// presentFrame's steps. presentFrame is these calls in this order, nothing
// else; the presenter bench times them one by one.
struct Presentation {
    HDC clientDc;
    HDC memoryDc;
    HBITMAP picture;  // null when the picture is not attempted or not made
    HGDIOBJ previous; // what the memory context held before the picture
    uint8_t* bits;
    int64_t width, height;
    int bitsPerPixel;
};
using ColourBuilder = void (*)(const VideoFile* video, const ChromaFormat* format, uint8_t* bits);
void beginPresentation(Presentation* presentation, HWND window);
// The DIB section of the current view, selected into the memory context.
void createPresentationPicture(Presentation* presentation, const VideoFile* video, int separate);
// Fills it: grey ramp and separate planes, or the colour picture by `build`.
void buildPresentationPicture(Presentation* presentation, const VideoFile* video, int separate,
                              ColourBuilder build);
// Copies it to the client area's top-left corner.
void blitPresentation(Presentation* presentation);
void endPresentation(Presentation* presentation, HWND window);

// Resizes the window so that its client area holds the picture and the status
// bar below it.
void fitWindowToVideo(HWND window, const VideoFile* video, int separate);

// Asks for a full repaint with background erase.
void invalidateClient(HWND window);
