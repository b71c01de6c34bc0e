#include "render/presenter.h"

#include <commctrl.h>

#include <climits>
#include <cstring>

#include "render/colour.h"
#include "render/position_text.h"
#include "render/separate.h"
#include "resources/resource.h"

void makeDibHeader(DibHeader* dib, int32_t width, int32_t height) {
    BITMAPINFOHEADER* header = &dib->header;
    memset(header, 0, sizeof *header);
    header->biSize = sizeof(BITMAPINFOHEADER);
    header->biWidth = width;
    header->biHeight = -height; // rows run top to bottom
    header->biPlanes = 1;
    header->biBitCount = 8;
    header->biCompression = BI_RGB;
    memset(&dib->colours[0], 0, sizeof dib->colours[0]);
}

static void setStatusPart(HWND window, int part, const char* text) {
    SendMessageA(GetDlgItem(window, IDC_STATUS_BAR), SB_SETTEXTA, part,
                 reinterpret_cast<LPARAM>(text));
}

// Pictures whose memory GDI cannot describe in 32 bits are not attempted.
static bool drawablePicture(int64_t width, int64_t height, int bitsPerPixel) {
    return width > 0 && height > 0 && width <= INT32_MAX &&
           pictureStride(width, bitsPerPixel) * height <= INT32_MAX;
}

void presentFrame(VideoFile* video, HWND window, int separate) {
    HDC clientDc = GetDC(window);
    HDC memoryDc = CreateCompatibleDC(clientDc);
    HBITMAP picture = nullptr;

    const int64_t width = separate ? separatePictureWidth(video) : video->width;
    const int64_t height = video->height;
    const int bitsPerPixel = separate ? 8 : 24;
    if (video->frameBuffer && drawablePicture(width, height, bitsPerPixel)) {
        DibHeader dib;
        makeDibHeader(&dib, static_cast<int32_t>(width), static_cast<int32_t>(height));
        dib.header.biBitCount = static_cast<WORD>(bitsPerPixel);
        void* bits = nullptr;
        picture = CreateDIBSection(clientDc, reinterpret_cast<BITMAPINFO*>(&dib), DIB_RGB_COLORS,
                                   &bits, nullptr, 0);
        if (picture && bits) {
            HGDIOBJ previous = SelectObject(memoryDc, picture);
            if (separate) {
                RGBQUAD ramp[256];
                greyRamp(reinterpret_cast<uint8_t*>(ramp));
                SetDIBColorTable(memoryDc, 0, 256, ramp);
                buildSeparatePicture(video, static_cast<uint8_t*>(bits));
            } else {
                buildColourPicture(video, video->format, static_cast<uint8_t*>(bits));
            }
            BitBlt(clientDc, 0, 0, static_cast<int>(width), static_cast<int>(height), memoryDc, 0, 0,
                   SRCCOPY);
            SelectObject(memoryDc, previous);
        }
    }

    char position[POSITION_TEXT_SIZE];
    videoPositionText(video, position, sizeof position);
    setStatusPart(window, 0, video->title);
    setStatusPart(window, 1, position);

    ReleaseDC(window, clientDc);
    DeleteDC(memoryDc);
    if (picture) DeleteObject(picture);
}

void fitWindowToVideo(HWND window, const VideoFile* video, int separate) {
    // With no video there is no picture to fit; the window keeps its size.
    if (!videoIsOpen(video)) return;
    const int64_t pictureWidth = separate ? separatePictureWidth(video) : video->width;
    const int pictureHeight = video->height;
    if (pictureWidth > SHRT_MAX || pictureHeight > SHRT_MAX) return;

    // A narrow window wraps its menu bar onto a second line, which takes the
    // height from the client area; measure after the move and grow once more.
    for (int attempt = 0; attempt < 3; ++attempt) {
        RECT outer, client, status;
        GetWindowRect(window, &outer);
        GetClientRect(window, &client);
        GetClientRect(GetDlgItem(window, IDC_STATUS_BAR), &status);
        const int wantedHeight = pictureHeight + status.bottom;
        if (attempt > 0 && client.bottom == wantedHeight) break;
        const int frameWidth = (outer.right - outer.left) - client.right;
        const int frameHeight = (outer.bottom - outer.top) - client.bottom;
        MoveWindow(window, outer.left, outer.top, static_cast<int>(pictureWidth) + frameWidth,
                   wantedHeight + frameHeight, TRUE);
    }
}

void invalidateClient(HWND window) {
    InvalidateRect(window, nullptr, TRUE);
}
