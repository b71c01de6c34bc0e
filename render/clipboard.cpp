#include <windows.h>

#include <algorithm>

#include "render/clipboard.h"
#include "render/separate.h"
#include "resources/resource.h"

// The part of the client area that holds the picture: the picture's own size,
// cut to what the client area shows above the status bar and to the screen's
// right and bottom edges (a picture wider than the screen leaves the window
// reaching past them, and there the window shows nothing).
static SIZE shownPictureSize(HWND window, const VideoFile* video, int separate) {
    const int64_t pictureWidth = separate ? separatePictureWidth(video) : video->width;
    RECT client, status = {};
    GetClientRect(window, &client);
    HWND statusWindow = GetDlgItem(window, IDC_STATUS_BAR);
    if (statusWindow) GetClientRect(statusWindow, &status);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    const int64_t screenRight = GetSystemMetrics(SM_XVIRTUALSCREEN) + int64_t{GetSystemMetrics(SM_CXVIRTUALSCREEN)};
    const int64_t screenBottom = GetSystemMetrics(SM_YVIRTUALSCREEN) + int64_t{GetSystemMetrics(SM_CYVIRTUALSCREEN)};
    const int64_t width = std::min({pictureWidth, int64_t{client.right}, screenRight - origin.x});
    const int64_t height = std::min({int64_t{video->height}, int64_t{client.bottom} - status.bottom,
                                     screenBottom - origin.y});
    return {static_cast<LONG>(std::max<int64_t>(width, 0)),
            static_cast<LONG>(std::max<int64_t>(height, 0))};
}

void copyFrameToClipboard(HWND window, const VideoFile* video, int separate) {
    // With nothing shown there is nothing to copy; the clipboard keeps what it had.
    if (!videoIsOpen(video)) return;
    const SIZE size = shownPictureSize(window, video, separate);
    if (size.cx <= 0 || size.cy <= 0) return;

    // The client area's own context starts at the picture's corner however the
    // menu bar above it is laid out (a narrow window wraps it onto two lines).
    HDC clientDc = GetDC(window);
    HDC memoryDc = CreateCompatibleDC(clientDc);
    HBITMAP copy = CreateCompatibleBitmap(clientDc, size.cx, size.cy);
    if (copy) {
        HGDIOBJ previous = SelectObject(memoryDc, copy);
        BitBlt(memoryDc, 0, 0, size.cx, size.cy, clientDc, 0, 0, SRCCOPY);
        SelectObject(memoryDc, previous);

        // Once placed, the bitmap is the clipboard's; if it cannot be placed it
        // is still ours to delete.
        int placed = 0;
        if (OpenClipboard(window)) {
            EmptyClipboard();
            placed = SetClipboardData(CF_BITMAP, copy) != nullptr;
            CloseClipboard();
        }
        if (!placed) DeleteObject(copy);
    }
    DeleteDC(memoryDc);
    ReleaseDC(window, clientDc);
}
