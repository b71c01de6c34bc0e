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

void writeStatusTexts(HWND window, const VideoFile* video, int presenting) {
    if (!presenting && !videoIsOpen(video)) {
        setStatusPart(window, 0, "No file open");
        setStatusPart(window, 1, "");
        return;
    }
    char position[POSITION_TEXT_SIZE];
    videoPositionText(video, position, sizeof position);
    setStatusPart(window, 0, video->title);
    setStatusPart(window, 1, position);
}

// Pictures whose memory GDI cannot describe in 32 bits are not attempted.
static bool drawablePicture(int64_t width, int64_t height, int bitsPerPixel) {
    return width > 0 && height > 0 && width <= INT32_MAX &&
           pictureStride(width, bitsPerPixel) * height <= INT32_MAX;
}

void beginPresentation(Presentation* presentation, HWND window) {
    memset(presentation, 0, sizeof *presentation);
    presentation->clientDc = GetDC(window);
    presentation->memoryDc = CreateCompatibleDC(presentation->clientDc);
}

void createPresentationPicture(Presentation* presentation, const VideoFile* video, int separate) {
    Presentation& p = *presentation;
    p.width = separate ? separatePictureWidth(video) : video->width;
    p.height = video->height;
    p.bitsPerPixel = separate ? 8 : 24;
    if (!video->frameBuffer || !drawablePicture(p.width, p.height, p.bitsPerPixel)) return;
    DibHeader dib;
    makeDibHeader(&dib, static_cast<int32_t>(p.width), static_cast<int32_t>(p.height));
    dib.header.biBitCount = static_cast<WORD>(p.bitsPerPixel);
    void* bits = nullptr;
    p.picture = CreateDIBSection(p.clientDc, reinterpret_cast<BITMAPINFO*>(&dib), DIB_RGB_COLORS,
                                 &bits, nullptr, 0);
    if (!p.picture || !bits) return;
    p.bits = static_cast<uint8_t*>(bits);
    p.previous = SelectObject(p.memoryDc, p.picture);
}

void buildPresentationPicture(Presentation* presentation, const VideoFile* video, int separate,
                              ColourBuilder build) {
    const Presentation& p = *presentation;
    if (!p.bits) return;
    if (separate) {
        RGBQUAD ramp[256];
        greyRamp(reinterpret_cast<uint8_t*>(ramp));
        SetDIBColorTable(p.memoryDc, 0, 256, ramp);
        buildSeparatePicture(video, p.bits);
    } else {
        build(video, video->format, p.bits);
    }
}

void blitPresentation(Presentation* presentation) {
    Presentation& p = *presentation;
    if (!p.bits) return;
    BitBlt(p.clientDc, 0, 0, static_cast<int>(p.width), static_cast<int>(p.height), p.memoryDc, 0,
           0, SRCCOPY);
    SelectObject(p.memoryDc, p.previous);
}

void endPresentation(Presentation* presentation, HWND window) {
    Presentation& p = *presentation;
    ReleaseDC(window, p.clientDc);
    DeleteDC(p.memoryDc);
    if (p.picture) DeleteObject(p.picture);
}

void presentFrame(VideoFile* video, HWND window, int separate) {
    Presentation presentation;
    beginPresentation(&presentation, window);
    createPresentationPicture(&presentation, video, separate);
    buildPresentationPicture(&presentation, video, separate, buildColourPicture);
    blitPresentation(&presentation);
    writeStatusTexts(window, video, 1);
    endPresentation(&presentation, window);
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
