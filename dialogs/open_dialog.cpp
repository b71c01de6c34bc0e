#include <windows.h>
#include <commdlg.h>

#include <cstdlib>
#include <cstring>

#include "app/shell.h"
#include "dialogs/dialogs.h"
#include "render/presenter.h"
#include "resources/resource.h"
#include "video/frame_rate.h"

// The last chosen full path, proposed again by the next Open command.
static char pathBuffer[256];

static void addStrings(HWND panel, int control, const char* const* texts, int count) {
    for (int i = 0; i < count; ++i)
        SendDlgItemMessageA(panel, control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(texts[i]));
}

static void fillPanel(HWND panel) {
    static const char* const widths[] = {"176", "352", "704"};
    static const char* const heights[] = {"144", "288", "576"};
    static const char* const rates[] = {"30", "25", "15", "12.5"};
    static const char* const formats[] = {"4:2:0", "4:2:2"};
    addStrings(panel, IDC_WIDTH, widths, 3);
    SendDlgItemMessageA(panel, IDC_WIDTH, CB_SETCURSEL, 1, 0);
    addStrings(panel, IDC_HEIGHT, heights, 3);
    SendDlgItemMessageA(panel, IDC_HEIGHT, CB_SETCURSEL, 1, 0);
    addStrings(panel, IDC_RATE, rates, 4);
    SendDlgItemMessageA(panel, IDC_RATE, CB_SETCURSEL, 0, 0);
    addStrings(panel, IDC_FORMAT, formats, 2);
    SendDlgItemMessageA(panel, IDC_FORMAT, CB_SETCURSEL, 0, 0);
    SendDlgItemMessageA(panel, IDC_SMART_SIZE, BM_SETCHECK, BST_CHECKED, 0);
}

// Smart size keeps the standard sizes paired: 176 with 144, 352 with 288,
// 704 with 576, whichever box the user picks from. Only a pick from the list
// pairs: the focus and edit notifications of a box whose text was typed would
// otherwise overwrite the other box's typed size with a stale list entry.
static void pairSizes(HWND panel, int from, int to, int notification) {
    if (notification != CBN_SELCHANGE) return;
    if (SendDlgItemMessageA(panel, IDC_SMART_SIZE, BM_GETCHECK, 0, 0) != BST_CHECKED) return;
    LRESULT index = SendDlgItemMessageA(panel, from, CB_GETCURSEL, 0, 0);
    if (index != CB_ERR) SendDlgItemMessageA(panel, to, CB_SETCURSEL, index, 0);
}

static void readPanel(HWND panel) {
    char text[10];
    GetDlgItemTextA(panel, IDC_WIDTH, text, sizeof text);
    openWidth = atoi(text);
    GetDlgItemTextA(panel, IDC_HEIGHT, text, sizeof text);
    openHeight = atoi(text);
    GetDlgItemTextA(panel, IDC_RATE, text, sizeof text);
    playInterval = frameIntervalFromRate(text);
}

static BOOL CALLBACK releasePicture(HWND control, LPARAM) {
    char className[16] = "";
    GetClassNameA(control, className, sizeof className);
    if (lstrcmpiA(className, "Static") == 0 &&
        (GetWindowLongA(control, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP) {
        HGDIOBJ picture = reinterpret_cast<HGDIOBJ>(
            SendMessageA(control, STM_SETIMAGE, IMAGE_BITMAP, 0));
        if (picture) DeleteObject(picture);
    }
    return TRUE;
}

// The panel's picture is loaded by its static control from the template. Not
// every static control frees such a picture when it is destroyed, which would
// leak one bitmap per Open command; taking the picture back makes it ours to
// delete, wherever it runs.
static void releasePanelPicture(HWND panel) {
    EnumChildWindows(panel, releasePicture, 0);
}

UINT_PTR CALLBACK openDialogHook(HWND panel, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        fillPanel(panel);
        return 1;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_WIDTH:
            pairSizes(panel, IDC_WIDTH, IDC_HEIGHT, HIWORD(wParam));
            return 1;
        case IDC_HEIGHT:
            pairSizes(panel, IDC_HEIGHT, IDC_WIDTH, HIWORD(wParam));
            return 1;
        case IDC_FORMAT: {
            LRESULT index = SendDlgItemMessageA(panel, IDC_FORMAT, CB_GETCURSEL, 0, 0);
            if (index >= 0 && index < CHROMA_FORMAT_COUNT) formatIndex = static_cast<int>(index);
            return 1;
        }
        default:
            return 0;
        }
    case WM_DESTROY:
        readPanel(panel);
        releasePanelPicture(panel);
        return 0;
    default:
        return 0;
    }
}

// The file's name without its folder, when the dialog did not give one.
static const char* baseName(const char* path) {
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (*p == '\\' || *p == '/' || *p == ':') name = p + 1;
    return name;
}

void openCommand(HWND window, HMENU menu, int separate) {
    formatIndex = 0;
    char title[TITLE_SIZE] = "";

    OPENFILENAMEA dialog = {};
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    dialog.hwndOwner = window;
    dialog.hInstance = instance;
    dialog.lpstrFilter = "YUV Video File (*.YUV)\0*.YUV\0Raw Video File (*.RAW)\0*.RAW\0";
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = pathBuffer;
    dialog.nMaxFile = sizeof pathBuffer;
    dialog.lpstrFileTitle = title;
    dialog.nMaxFileTitle = TITLE_SIZE - 1;
    dialog.lpstrInitialDir = "";
    dialog.lpstrTitle = "Open Video File";
    dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_ENABLETEMPLATE | OFN_ENABLEHOOK |
                   OFN_HIDEREADONLY;
    dialog.lpTemplateName = MAKEINTRESOURCEA(IDD_OPEN_PANEL);
    dialog.lpfnHook = openDialogHook;

    const BOOL chosen = GetOpenFileNameA(&dialog);
    pathBuffer[sizeof pathBuffer - 1] = '\0';
    title[TITLE_SIZE - 1] = '\0';
    if (!chosen) {
        // A path too long for the buffer is a failure the user should hear of,
        // not a silent cancel.
        if (CommDlgExtendedError() == FNERR_BUFFERTOOSMALL)
            MessageBoxA(window, "The file's full path is longer than 255 characters.",
                        "Cannot Open File", MB_OK);
        return;
    }

    // A width or height of zero, or a file without one whole frame at this
    // size, holds no picture to show: the file is refused like any other that
    // cannot be shown, after the current video is closed as every open does.
    // Frame 0 is read here, before the window is fitted, so that the paint
    // the resize brings shows the frame rather than an empty buffer.
    const int row = formatIndex >= 0 && formatIndex < CHROMA_FORMAT_COUNT ? formatIndex : 0;
    int opened = 0;
    if (openWidth > 0 && openHeight > 0)
        opened = openVideo(&video, pathBuffer, openWidth, openHeight, chromaFormats[row].code,
                           playInterval) &&
                 readNextFrame(&video);
    if (!opened) {
        // No video is open any more: the picture and the status bar say so,
        // while the menu keeps the states it had.
        closeVideo(&video);
        invalidateClient(window);
        writeStatusTexts(window, &video, 0);
        MessageBoxA(window, pathBuffer, "Cannot Open File", MB_OK);
        return;
    }

    killPlaybackTimer(window);
    enableCommand(menu, CMD_CLOSE);
    enableCommand(menu, CMD_PLAY);
    grayCommand(menu, CMD_PAUSE);
    grayCommand(menu, CMD_REWIND);
    setCommandState(menu, CMD_FULL_SPEED, MFS_CHECKED);
    setCommandState(menu, CMD_HALF_SPEED, 0);
    setCommandState(menu, CMD_QUARTER_SPEED, 0);
    setCommandState(menu, CMD_IGNORE_SPEED, 0);
    enableCommand(menu, CMD_COMBINED_FIELDS);
    enableCommand(menu, CMD_SEPARATE_FIELDS);
    if (video.format->code != 420) grayCommand(menu, CMD_SEPARATE_FIELDS);

    setVideoTitle(&video, title[0] ? title : baseName(pathBuffer));

    fitWindowToVideo(window, &video, separate);
    presentFrame(&video, window, separate);
    playInterval = video.frameInterval;
}
