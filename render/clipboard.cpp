#include <windows.h>

#include "render/clipboard.h"

void copyFrameToClipboard(HWND, const VideoFile*, int) {}
