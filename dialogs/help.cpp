#include <windows.h>
#include <shellapi.h>

#include "app/shell.h"
#include "dialogs/dialogs.h"
#include "dialogs/hand_cursor.h"
#include "render/presenter.h"
#include "resources/resource.h"

// The About picture's link: a general page on the Y'CbCr colour formats. The
// program's equations are close to, but not exactly, the standard-definition
// recommendation's, so the link names no standard.
static const char aboutLinkTarget[] = "https://en.wikipedia.org/wiki/YCbCr";

const char helpText[] =
    "                        Corvane\n"
    "               a viewer for raw YUV video\n"
    "\n"
    "NB separate view mode only available for 4:2:0\n"
    "format at present\n"
    "\n"
    "Keyboard shortcuts:\n"
    "\n"
    "RIGHT ARROW\tforward one frame\n"
    "LEFT ARROW\tback one frame\n"
    "UP ARROW\tforward 10 frames\n"
    "DOWN ARROW\tback 10 frames\n"
    "HOME\t\trewind to start\n"
    "END\t\tfast forward to last frame\n"
    "CTRL + C\t\tcopy current frame to clipboard";

int linkPressed = 0;         // 1 between a press on any link and the next release on one
HCURSOR linkCursor = nullptr; // the hand cursor, built on first use and kept for the run

void showHelp(HWND window) {
    MessageBoxA(window, helpText, "Corvane", MB_ICONINFORMATION | MB_OK);
}

void readmeCommand(HWND, HMENU menu) {
    HINSTANCE result = shellOpen(nullptr, "open", readmePath, nullptr, nullptr, SW_SHOWNORMAL);
    if (reinterpret_cast<INT_PTR>(result) <= 32) grayCommand(menu, CMD_README);
}

void aboutCommand(HWND window) {
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_ABOUT), window, aboutDialogProc, 0);
    // At the video's own rate or faster the next tick repaints soon enough;
    // slower, or stopped, the picture the box covered is restored now.
    if (playInterval > video.frameInterval || !playing) presentFrame(&video, window, separateView);
}

INT_PTR CALLBACK aboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        // The picture is the box's first control without an identifier of its own.
        makeHyperlink(dialog, -1, aboutLinkTarget);
        return TRUE;
    case WM_COMMAND:
        // Only OK (the button or Enter) closes the box; Escape is left alone.
        if (LOWORD(wParam) == IDOK) {
            EndDialog(dialog, 0);
            return TRUE;
        }
        return FALSE;
    case WM_DESTROY: {
        // The picture control loaded its bitmap from the template, and not
        // every system's static control deletes it again: take it back and
        // delete it here, so that each box leaves no drawing object behind.
        HGDIOBJ picture = reinterpret_cast<HGDIOBJ>(
            SendDlgItemMessageA(dialog, -1, STM_SETIMAGE, IMAGE_BITMAP, 0));
        if (picture) DeleteObject(picture);
        return FALSE;
    }
    }
    return FALSE;
}

int makeHyperlink(HWND dialog, int controlId, const char* target) {
    HWND control = GetDlgItem(dialog, controlId);
    if (!control) return 0;
    LinkData* link = static_cast<LinkData*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(LinkData)));
    if (!link) return 0;
    // A static control sends no mouse notifications without SS_NOTIFY.
    SetWindowLongPtrA(control, GWL_STYLE, GetWindowLongPtrA(control, GWL_STYLE) | SS_NOTIFY);
    if (target) lstrcpynA(link->target, target, sizeof link->target);
    link->previous = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(control, GWLP_WNDPROC));
    SetWindowLongPtrA(control, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(link));
    SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(linkWindowProc));
    return 1;
}

static HCURSOR handCursor() {
    if (!linkCursor) {
        HandCursorMasks masks;
        buildHandCursorMasks(&masks);
        linkCursor = CreateCursor(GetModuleHandleA(nullptr), HAND_CURSOR_HOTSPOT_X, HAND_CURSOR_HOTSPOT_Y,
                                  HAND_CURSOR_SIZE, HAND_CURSOR_SIZE, masks.andMask, masks.xorMask);
    }
    return linkCursor;
}

// Opens the record's target, or the control's own text when the record has none.
static void openLink(HWND control, const LinkData* link) {
    char text[LINK_TARGET_SIZE] = "";
    const char* target = link->target;
    if (!target[0]) {
        GetWindowTextA(control, text, sizeof text);
        target = text;
    }
    shellOpen(nullptr, "open", target, nullptr, nullptr, SW_SHOWNORMAL);
}

LRESULT CALLBACK linkWindowProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
    LinkData* link = reinterpret_cast<LinkData*>(GetWindowLongPtrA(control, GWLP_USERDATA));
    if (!link) return DefWindowProcA(control, message, wParam, lParam);
    const WNDPROC previous = link->previous;
    switch (message) {
    case WM_SETCURSOR:
        SetCursor(handCursor());
        return TRUE;
    case WM_NCHITTEST:
        return HTCLIENT; // a static control is otherwise transparent to the mouse
    case WM_LBUTTONDOWN:
        linkPressed = 1;
        break;
    case WM_LBUTTONUP:
        if (linkPressed) {
            linkPressed = 0;
            openLink(control, link);
        }
        break;
    case WM_NCDESTROY:
        SetWindowLongPtrA(control, GWLP_USERDATA, 0);
        HeapFree(GetProcessHeap(), 0, link);
        break;
    }
    return CallWindowProcA(previous, control, message, wParam, lParam);
}
