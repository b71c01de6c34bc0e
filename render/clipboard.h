// Copying the picture the window shows to the clipboard.
#pragma once

#include <windows.h>

#include "video/video_file.h"

void copyFrameToClipboard(HWND window, const VideoFile* video, int separate);
