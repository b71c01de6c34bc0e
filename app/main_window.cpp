#include <windows.h>
#include <windowsx.h>
#include <commctrl.h>

#include <cstdio>

#include "app/commands.h"
#include "app/main_window.h"
#include "app/shell.h"
#include "dialogs/dialogs.h"
#include "render/clipboard.h"
#include "render/presenter.h"
#include "resources/resource.h"

static BOOL onCreate(HWND window, LPCREATESTRUCT) {
    clearVideo(&video);
    FILE* readme = fopen(readmePath, "r");
    if (readme) fclose(readme);
    else grayCommand(GetMenu(window), CMD_README);
    return TRUE;
}

static void onSize(HWND window, UINT state, int, int) {
    const int open = videoIsOpen(&video);
    if (state == SIZE_RESTORED && open) presentFrame(&video, window, separateView);
    if (state == SIZE_MINIMIZED) {
        endPlayback(window);
        if (open) {
            enableCommand(GetMenu(window), CMD_PLAY);
            grayCommand(GetMenu(window), CMD_PAUSE);
        }
    }
    if (!statusBar) return; // sizes during creation come before the status bar
    SendMessageA(statusBar, WM_SIZE, state, 0);
    RECT client;
    GetClientRect(window, &client);
    const int half = client.right / 2;
    int edges[2] = {half, 2 * half};
    SendMessageA(statusBar, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(edges));
    writeStatusTexts(window, &video, 0);
}

static void onPaint(HWND window) {
    PAINTSTRUCT paint;
    BeginPaint(window, &paint);
    const RECT& area = paint.rcPaint;
    if (videoIsOpen(&video) && (area.right > area.left || area.bottom > area.top))
        presentFrame(&video, window, separateView);
    EndPaint(window, &paint);
}

static void onTimer(HWND window, UINT id) {
    if (id != PLAYBACK_TIMER) return;
    const int ok = readNextFrame(&video);
    InvalidateRect(window, nullptr, FALSE);
    if (!ok) {
        endPlayback(window);
        grayCommand(GetMenu(window), CMD_PAUSE);
    }
}

static void onCommand(HWND window, int id, HWND, UINT codeNotify) {
    HMENU menu = GetMenu(window);
    const int fromAccelerator = codeNotify == 1;
    switch (id) {
    case CMD_OPEN:
        openCommand(window, menu, separateView);
        playing = 0;
        break;
    case CMD_COPY:            copyFrameToClipboard(window, &video, separateView); break;
    case CMD_HELP:            showHelp(window); break;
    case CMD_ABOUT:           aboutCommand(window); break;
    case CMD_README:          readmeCommand(window, menu); break;
    case CMD_CLOSE:           closeCommand(window, menu); break;
    case CMD_EXIT:            exitCommand(window); break;
    case CMD_PLAY:
    case CMD_PLAY_TOGGLE:     playCommand(window, menu, fromAccelerator); break;
    case CMD_PAUSE:           pauseCommand(window, menu, fromAccelerator); break;
    case CMD_REWIND:          rewindCommand(window, menu); break;
    case CMD_FULL_SPEED:      speedCommand(window, menu, SPEED_FULL); break;
    case CMD_HALF_SPEED:      speedCommand(window, menu, SPEED_HALF); break;
    case CMD_QUARTER_SPEED:   speedCommand(window, menu, SPEED_QUARTER); break;
    case CMD_IGNORE_SPEED:    speedCommand(window, menu, SPEED_IGNORE); break;
    case CMD_COMBINED_FIELDS: combinedFieldsCommand(window, menu); break;
    case CMD_SEPARATE_FIELDS: separateFieldsCommand(window, menu); break;
    case CMD_STEP_FORWARD:    stepForwardCommand(window, menu); break;
    case CMD_STEP_BACK:       stepBackCommand(window, 1); break;
    case CMD_BACK_TEN:        stepBackCommand(window, 10); break;
    case CMD_FORWARD_TEN:     forwardTenCommand(window); break;
    case CMD_HOME:            homeCommand(window); break;
    case CMD_END:             endCommand(window); break;
    default:                  break; // Full size, Double size and unknown ids do nothing
    }
}

static void onDestroy(HWND) {
    PostQuitMessage(0);
}

LRESULT CALLBACK mainWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    HANDLE_MSG(hwnd, WM_CREATE, onCreate);
    HANDLE_MSG(hwnd, WM_SIZE, onSize);
    HANDLE_MSG(hwnd, WM_PAINT, onPaint);
    HANDLE_MSG(hwnd, WM_TIMER, onTimer);
    HANDLE_MSG(hwnd, WM_COMMAND, onCommand);
    HANDLE_MSG(hwnd, WM_DESTROY, onDestroy);
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

HWND startCorvane(HINSTANCE module, int showState) {
    HBRUSH background = CreatePatternBrush(LoadBitmapA(module, MAKEINTRESOURCEA(IDB_TILE)));

    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = mainWindowProc;
    windowClass.hInstance = module;
    windowClass.hIcon = LoadIconA(module, MAKEINTRESOURCEA(IDI_CORVANE));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = background;
    windowClass.lpszMenuName = "CORVANE";
    windowClass.lpszClassName = "MyWin";
    windowClass.hIconSm = static_cast<HICON>(LoadImageA(module, MAKEINTRESOURCEA(IDI_CORVANE),
                                                        IMAGE_ICON, 16, 16, 0));
    if (!RegisterClassExA(&windowClass)) {
        DeleteObject(background);
        return nullptr;
    }

    RECT outer = {0, 0, openWidth, openHeight};
    AdjustWindowRect(&outer, WS_CAPTION, TRUE);
    HWND window = CreateWindowExA(0, "MyWin", "Corvane", WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                                  CW_USEDEFAULT, CW_USEDEFAULT, outer.right - outer.left,
                                  outer.bottom - outer.top, nullptr, nullptr, module, nullptr);

    instance = module;
    statusBar = CreateStatusWindowA(WS_CHILD | WS_VISIBLE, "Status bar", window, IDC_STATUS_BAR);

    accelerators = LoadAcceleratorsA(module, MAKEINTRESOURCEA(IDR_ACCELERATORS));
    if (!accelerators) MessageBoxA(nullptr, "LoadAccelerators failed", "WinMain", MB_OK);

    ShowWindow(window, showState);
    UpdateWindow(window);
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(CMD_OPEN, 0), 0);
    return window;
}

void dispatchLoopMessage(HWND window, MSG* message) {
    if (accelerators && TranslateAcceleratorA(window, accelerators, message)) return;
    TranslateMessage(message);
    DispatchMessageA(message);
}

int runMessageLoop(HWND window) {
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) dispatchLoopMessage(window, &message);
    return static_cast<int>(message.wParam);
}
