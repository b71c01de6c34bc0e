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

// Resizes the window so that its client area holds the picture and the status
// bar below it.
void fitWindowToVideo(HWND window, const VideoFile* video, int separate);

// Asks for a full repaint with background erase.
void invalidateClient(HWND window);
