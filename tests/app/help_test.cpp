#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstring>

#include "dialogs/dialogs.h"
#include "render/position_text.h"
#include "tests/app/harness.h"
#include "version.h"

namespace {

// What the shell was asked to open, and what it answers next.
struct ShellCall {
    HWND owner;
    std::string verb, file;
    bool parameters, directory;
    INT show;
};
std::vector<ShellCall> shellCalls;
INT_PTR shellAnswer = 42;

HINSTANCE WINAPI recordShellOpen(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                                 LPCSTR directory, INT show) {
    shellCalls.push_back({owner, verb ? verb : "", file ? file : "", parameters != nullptr,
                          directory != nullptr, show});
    return reinterpret_cast<HINSTANCE>(shellAnswer);
}

// The About box is scripted from a thread timer, which its modal loop delivers:
// each tick that finds the box runs the next step on it.
using BoxStep = std::function<void(HWND box)>;
struct BoxScript {
    HWND owner;
    bool about; // the About box (a tool window), or a message box
    std::vector<BoxStep> steps;
    size_t done;
    int waits;
};
BoxScript script;

HWND findBox(HWND owner, bool about) {
    for (HWND box = nullptr; (box = FindWindowExA(nullptr, box, "#32770", "Corvane"));)
        if (GetWindow(box, GW_OWNER) == owner && IsWindowVisible(box) &&
            ((GetWindowLongPtrA(box, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) != 0) == about)
            return box;
    return nullptr;
}

void CALLBACK aboutTimer(HWND, UINT, UINT_PTR id, DWORD) {
    HWND box = findBox(script.owner, script.about);
    if (!box) {
        if (++script.waits > 300) {
            KillTimer(nullptr, id);
            ADD_FAILURE() << "the box never showed";
        }
        return;
    }
    if (script.done < script.steps.size()) {
        script.steps[script.done++](box);
        return;
    }
    KillTimer(nullptr, id);
    ADD_FAILURE() << "the box stayed open after its last step";
    EndDialog(box, 0);
}

// The picture: the box's first control without an identifier of its own.
HWND aboutPicture(HWND box) {
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (static_cast<WORD>(GetDlgCtrlID(child)) == 0xFFFF) return child;
    return nullptr;
}

void pressKey(HWND box, WPARAM virtualKey) {
    HWND target = GetFocus();
    if (!target || (target != box && !IsChild(box, target))) target = GetDlgItem(box, IDOK);
    PostMessageA(target, WM_KEYDOWN, virtualKey, 1);
    PostMessageA(target, WM_KEYUP, virtualKey, 0xC0000001);
}

const BoxStep pressOk = [](HWND box) { SendMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0); };
const BoxStep pressEnter = [](HWND box) { pressKey(box, VK_RETURN); };
const BoxStep pressEscape = [](HWND box) { pressKey(box, VK_ESCAPE); };

bool heapBlockInUse(const void* block) {
    HANDLE heap = GetProcessHeap();
    bool inUse = false;
    HeapLock(heap);
    PROCESS_HEAP_ENTRY entry = {};
    while (HeapWalk(heap, &entry))
        if (entry.lpData == block && (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)) inUse = true;
    HeapUnlock(heap);
    return inUse;
}

// The clipboard's bitmap as 0x00RRGGBB pixels, row by row.
std::vector<uint32_t> clipboardPixels(SIZE* size) {
    *size = {0, 0};
    std::vector<uint32_t> pixels;
    if (!OpenClipboard(nullptr)) return pixels;
    HBITMAP bitmap = static_cast<HBITMAP>(GetClipboardData(CF_BITMAP));
    BITMAP shape;
    if (bitmap && GetObjectA(bitmap, sizeof shape, &shape)) {
        *size = {shape.bmWidth, shape.bmHeight};
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = shape.bmWidth;
        info.bmiHeader.biHeight = -shape.bmHeight;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        pixels.resize(size_t(shape.bmWidth) * shape.bmHeight);
        HDC screen = GetDC(nullptr);
        GetDIBits(screen, bitmap, 0, shape.bmHeight, pixels.data(), &info, DIB_RGB_COLORS);
        ReleaseDC(nullptr, screen);
        for (uint32_t& pixel : pixels) pixel &= 0xFFFFFF;
    }
    CloseClipboard();
    return pixels;
}

void putTextOnClipboard(HWND owner, const char* text) {
    ASSERT_TRUE(OpenClipboard(owner));
    EmptyClipboard();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, strlen(text) + 1);
    memcpy(GlobalLock(memory), text, strlen(text) + 1);
    GlobalUnlock(memory);
    SetClipboardData(CF_TEXT, memory);
    CloseClipboard();
}

std::string clipboardText() {
    std::string text;
    if (!OpenClipboard(nullptr)) return text;
    HANDLE memory = GetClipboardData(CF_TEXT);
    if (memory) {
        text = static_cast<const char*>(GlobalLock(memory));
        GlobalUnlock(memory);
    }
    CloseClipboard();
    return text;
}

class Help : public CorvaneWindow {
protected:
    void SetUp() override {
        CorvaneWindow::SetUp();
        shellCalls.clear();
        shellAnswer = 42;
        shellOpen = recordShellOpen;
    }
    void TearDown() override {
        shellOpen = ShellExecuteA;
        CorvaneWindow::TearDown();
    }
    void startEmpty() {
        start([](HWND dialog, HWND) { pressCancel(dialog); });
    }
    void openClip(const std::string& name, int width, int height, int frames = 30) {
        std::string clip = makeClip(name, width, height, 420, frames);
        DialogAction action = openFileAs(clip, std::to_string(width), std::to_string(height), "25", 0);
        if (window) openCommand(action);
        else start(action);
        ASSERT_TRUE(videoIsOpen(&video)) << name;
    }
    void copyKey() { key('C', true); }

    // CTRL+C, then the clipboard's bitmap against the screen and the core:
    // the whole picture, or as much of it as the window could show.
    void expectCopyOfPicture(const char* what, bool whole = true) {
        SCOPED_TRACE(what);
        const int pictureWidth = static_cast<int>(separateView ? video.width + video.chromaWidth : video.width);
        const int pictureHeight = video.height;
        const SIZE client = clientSize();
        POINT origin = {0, 0};
        ClientToScreen(window, &origin);
        const int width = std::min({pictureWidth, static_cast<int>(client.cx),
                                    GetSystemMetrics(SM_CXVIRTUALSCREEN) - static_cast<int>(origin.x)});
        const int height = std::min({pictureHeight, static_cast<int>(client.cy) - statusBarHeight(),
                                     GetSystemMetrics(SM_CYVIRTUALSCREEN) - static_cast<int>(origin.y)});
        if (whole) {
            EXPECT_EQ(width, pictureWidth) << "the window fits the picture";
            EXPECT_EQ(height, pictureHeight) << "the window fits the picture";
        }
        copyKey();
        SIZE size;
        std::vector<uint32_t> copied = clipboardPixels(&size);
        ASSERT_EQ(size.cx, width);
        ASSERT_EQ(size.cy, height) << "the status bar is not part of the copy";
        EXPECT_TRUE(copied == clientPixels(width, height)) << "the copy is what the client area shows";
        const std::vector<uint32_t> picture = expectedPicture(separateView);
        std::vector<uint32_t> shownPart;
        for (int row = 0; row < height; ++row)
            shownPart.insert(shownPart.end(), picture.begin() + size_t(row) * pictureWidth,
                             picture.begin() + size_t(row) * pictureWidth + width);
        EXPECT_TRUE(copied == shownPart) << "the copy is the frame's picture";
    }

    // Runs the About command with `steps` played on the box; true when the
    // box stayed open up to its last step and closed there.
    bool runAbout(std::vector<BoxStep> steps) { return runBox(CMD_ABOUT, true, std::move(steps)); }
    bool runBox(int command, bool about, std::vector<BoxStep> steps) {
        script = {window, about, std::move(steps), 0, 0};
        const UINT_PTR timer = SetTimer(nullptr, 0, 10, aboutTimer);
        SendMessageA(window, WM_COMMAND, MAKEWPARAM(command, 0), 0);
        KillTimer(nullptr, timer);
        return script.done == script.steps.size() && !findBox(window, about);
    }
    // A last step that marks the screen and the status bar, then presses OK:
    // whatever shows afterwards was put there by the About command itself.
    BoxStep markThenOk() {
        return [this](HWND box) {
            RECT client;
            GetClientRect(window, &client);
            HDC dc = GetDC(window);
            FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
            ReleaseDC(window, dc);
            SendMessageA(statusBar, SB_SETTEXTA, 1, reinterpret_cast<LPARAM>("marked"));
            pressOk(box);
        };
    }
};

TEST_F(Help, CopyPutsTheShownPictureOnTheClipboardAndPlaybackGoesOn) {
    // No video: the clipboard keeps what it had.
    startEmpty();
    putTextOnClipboard(window, "kept");
    const DWORD sequence = GetClipboardSequenceNumber();
    copyKey();
    EXPECT_EQ(GetClipboardSequenceNumber(), sequence);
    EXPECT_EQ(clipboardText(), "kept");
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_BITMAP));

    openClip("copy352.yuv", 352, 288);
    key(VK_RIGHT);
    expectCopyOfPicture("352 x 288 combined");
    EXPECT_EQ(clipboardText(), "") << "the copy replaces the clipboard's content";
    menuCommand(CMD_SEPARATE_FIELDS);
    pump();
    expectCopyOfPicture("528 x 288 separate");
    menuCommand(CMD_COMBINED_FIELDS);

    // During playback: the copy leaves the timer and the playing state alone.
    openClip("copy176.yuv", 176, 144, 100);
    key(VK_SPACE);
    ASSERT_EQ(playing, 1);
    pump(60);
    copyKey();
    SIZE size;
    clipboardPixels(&size);
    EXPECT_EQ(size.cx, 176);
    EXPECT_EQ(size.cy, 144);
    EXPECT_EQ(playing, 1);
    EXPECT_EQ(playbackTimerPeriod, 40);
    const int64_t atCopy = video.frameIndex;
    EXPECT_TRUE(pumpUntil([&] { return video.frameIndex > atCopy + 2; }, 3000)) << "still playing";
    key(VK_SPACE);
    ASSERT_EQ(playing, 0);

    key(VK_END);
    expectCopyOfPicture("176 x 144 combined");
    menuCommand(CMD_SEPARATE_FIELDS);
    pump();
    expectCopyOfPicture("264 x 144 separate");
    menuCommand(CMD_COMBINED_FIELDS);

    // So narrow that the menu bar takes two lines: the client area starts
    // lower than a one-line menu would put it.
    openClip("copy100.yuv", 100, 80);
    RECT outer, client = {0, 0, 100, 80};
    GetWindowRect(window, &outer);
    AdjustWindowRect(&client, WS_CAPTION, TRUE);
    const int oneLineFrame = (client.bottom - client.top) - 80;
    EXPECT_GT((outer.bottom - outer.top) - clientSize().cy, oneLineFrame) << "the menu bar wraps";
    key(VK_RIGHT);
    expectCopyOfPicture("100 x 80 with a two-line menu bar");

    // Wider than the screen: the copy holds the part of the picture on it.
    openClip("copy2400.yuv", 2400, 32, 2);
    ASSERT_GT(2400, GetSystemMetrics(SM_CXVIRTUALSCREEN));
    expectCopyOfPicture("2400 x 32", false);
}

TEST_F(Help, HelpTextLineByLine) {
    startEmpty();
    std::string text;
    HICON icon = nullptr;
    int buttons = 0;
    const BoxStep read = [&](HWND box) {
        char line[1024] = "";
        for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            char className[16] = "";
            GetClassNameA(child, className, sizeof className);
            const LONG_PTR style = GetWindowLongPtrA(child, GWL_STYLE);
            if (!lstrcmpiA(className, "Button")) ++buttons;
            else if ((style & SS_TYPEMASK) == SS_ICON)
                icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
            else if (GetWindowTextA(child, line, sizeof line) > 0)
                text = line;
        }
        pressOk(box);
    };
    ASSERT_TRUE(runBox(CMD_HELP, false, {read}));
    EXPECT_EQ(text, helpText);
    EXPECT_EQ(icon, LoadIconA(nullptr, IDI_INFORMATION));
    EXPECT_EQ(buttons, 1) << "OK alone";
}

TEST_F(Help, ReadmeOpensThroughTheShellAndGraysWhenItCannot) {
    writeTestFile("Corvane.README.txt", {'h', 'i', '\n'});
    startEmpty();
    ASSERT_FALSE(grayed(CMD_README));
    menuCommand(CMD_README);
    ASSERT_EQ(shellCalls.size(), 1u);
    EXPECT_EQ(shellCalls[0].owner, nullptr);
    EXPECT_EQ(shellCalls[0].verb, "open");
    EXPECT_EQ(shellCalls[0].file, "./Corvane.README.txt");
    EXPECT_FALSE(shellCalls[0].parameters || shellCalls[0].directory);
    EXPECT_EQ(shellCalls[0].show, SW_SHOWNORMAL);
    EXPECT_FALSE(grayed(CMD_README));

    shellAnswer = SE_ERR_NOASSOC; // no program for .txt files
    menuCommand(CMD_README);
    EXPECT_TRUE(grayed(CMD_README));

    // The real shell, with the file gone since start-up.
    enableCommand(menu(), CMD_README);
    DeleteFileA((testFolder() + "\\Corvane.README.txt").c_str());
    shellOpen = ShellExecuteA;
    menuCommand(CMD_README);
    EXPECT_TRUE(grayed(CMD_README));
}

TEST_F(Help, AboutBoxClosesOnOkAndEnterOnly) {
    startEmpty();
    HWND picture = nullptr;
    const BoxStep inspect = [&](HWND box) {
        EXPECT_EQ(GetWindowLongPtrA(box, GWL_STYLE) & WS_SYSMENU, 0) << "no close box";
        HWND ok = GetDlgItem(box, IDOK);
        ASSERT_NE(ok, nullptr);
        char text[256];
        GetWindowTextA(ok, text, sizeof text);
        EXPECT_STREQ(text, "OK");
        EXPECT_EQ(GetWindowLongPtrA(ok, GWL_STYLE) & 0x0F, BS_DEFPUSHBUTTON);
        int texts = 0;
        for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            const LONG_PTR style = GetWindowLongPtrA(child, GWL_STYLE);
            GetWindowTextA(child, text, sizeof text);
            if (child == ok || (style & SS_TYPEMASK) == SS_BITMAP || !text[0]) continue;
            ++texts;
            // The whole text fits its control, wrapped as the control wraps it.
            RECT area;
            GetClientRect(child, &area);
            RECT needed = area;
            HDC dc = GetDC(child);
            HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(child, WM_GETFONT, 0, 0)));
            DrawTextA(dc, text, -1, &needed, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
            SelectObject(dc, previous);
            ReleaseDC(child, dc);
            EXPECT_LE(needed.bottom, area.bottom) << "\"" << text << "\" is cut off";
            EXPECT_LE(needed.right, area.right) << "\"" << text << "\" is cut off";
        }
        EXPECT_EQ(texts, 2) << "the credit and the dedication";
        picture = aboutPicture(box);
        ASSERT_NE(picture, nullptr);
        const LONG_PTR style = GetWindowLongPtrA(picture, GWL_STYLE);
        EXPECT_EQ(style & SS_TYPEMASK, SS_BITMAP);
        EXPECT_TRUE(style & SS_NOTIFY) << "the link hears the mouse";
        EXPECT_TRUE(style & SS_REALSIZEIMAGE);
        EXPECT_NE(SendMessageA(picture, STM_GETIMAGE, IMAGE_BITMAP, 0), 0);
        EXPECT_EQ(GetWindowLongPtrA(picture, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(linkWindowProc));
    };
    const BoxStep stillOpen = [](HWND box) { EXPECT_TRUE(IsWindowVisible(box)); };
    const BoxStep cancel = [](HWND box) { PostMessageA(box, WM_COMMAND, IDCANCEL, 0); };

    EXPECT_TRUE(runAbout({inspect, pressEscape, stillOpen, cancel, stillOpen, pressOk}))
        << "Escape leaves the box open; OK closes it";
    EXPECT_TRUE(runAbout({pressEscape, stillOpen, pressEnter})) << "Enter closes the box";
    EXPECT_FALSE(IsWindow(picture));
}

TEST_F(Help, AboutPictureIsALinkWithAHandCursor) {
    startEmpty();
    HCURSOR first = nullptr;
    const void* record = nullptr;
    const BoxStep link = [&](HWND box) {
        HWND picture = aboutPicture(box);
        ASSERT_NE(picture, nullptr);
        EXPECT_EQ(SendMessageA(picture, WM_NCHITTEST, 0, MAKELPARAM(10, 10)), HTCLIENT);
        EXPECT_EQ(SendMessageA(picture, WM_SETCURSOR, reinterpret_cast<WPARAM>(picture),
                               MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)), TRUE);
        first = GetCursor();
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(first, linkCursor);
        SetCursor(LoadCursorA(nullptr, IDC_ARROW));
        SendMessageA(picture, WM_SETCURSOR, reinterpret_cast<WPARAM>(picture),
                     MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        EXPECT_EQ(GetCursor(), first) << "one cursor, made once";
        ICONINFO icon = {};
        ASSERT_TRUE(GetIconInfo(first, &icon));
        EXPECT_FALSE(icon.fIcon);
        EXPECT_EQ(icon.xHotspot, 5u);
        EXPECT_EQ(icon.yHotspot, 2u);
        if (icon.hbmMask) DeleteObject(icon.hbmMask);
        if (icon.hbmColor) DeleteObject(icon.hbmColor);

        // A release alone opens nothing; a press then a release opens the page.
        SendMessageA(picture, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
        EXPECT_TRUE(shellCalls.empty());
        SendMessageA(picture, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
        EXPECT_EQ(linkPressed, 1);
        SendMessageA(picture, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
        EXPECT_EQ(linkPressed, 0);
        ASSERT_EQ(shellCalls.size(), 1u);
        EXPECT_EQ(shellCalls[0].owner, nullptr);
        EXPECT_EQ(shellCalls[0].verb, "open");
        EXPECT_EQ(shellCalls[0].file, "https://en.wikipedia.org/wiki/YCbCr");
        EXPECT_FALSE(shellCalls[0].parameters || shellCalls[0].directory);
        EXPECT_EQ(shellCalls[0].show, SW_SHOWNORMAL);

        record = reinterpret_cast<const void*>(GetWindowLongPtrA(picture, GWLP_USERDATA));
        ASSERT_NE(record, nullptr);
        EXPECT_TRUE(heapBlockInUse(record));
        pressOk(box);
    };
    ASSERT_TRUE(runAbout({link}));
    EXPECT_FALSE(heapBlockInUse(record)) << "closing the box frees the link's record";

    // A second box's link uses the same cursor.
    const BoxStep again = [&](HWND box) {
        HWND picture = aboutPicture(box);
        SendMessageA(picture, WM_SETCURSOR, reinterpret_cast<WPARAM>(picture),
                     MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        EXPECT_EQ(GetCursor(), first);
        pressOk(box);
    };
    EXPECT_TRUE(runAbout({again}));
}

TEST_F(Help, LinkWithoutTargetOpensItsOwnText) {
    startEmpty();
    HWND holder = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 200, 50, window, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    HWND text = CreateWindowExA(0, "STATIC", "https://example.org/corvane", WS_CHILD | SS_LEFT, 0, 0,
                                200, 20, holder, reinterpret_cast<HMENU>(7), GetModuleHandleA(nullptr),
                                nullptr);
    EXPECT_EQ(makeHyperlink(holder, 7, nullptr), 1);
    EXPECT_EQ(makeHyperlink(holder, 8, "https://example.org/none"), 0) << "no such control";
    EXPECT_TRUE(GetWindowLongPtrA(text, GWL_STYLE) & SS_NOTIFY);
    EXPECT_TRUE(GetWindowLongPtrA(text, GWL_STYLE) & WS_CHILD) << "other style bits kept";
    SendMessageA(text, WM_LBUTTONDOWN, MK_LBUTTON, 0);
    SendMessageA(text, WM_LBUTTONUP, 0, 0);
    ASSERT_EQ(shellCalls.size(), 1u);
    EXPECT_EQ(shellCalls[0].file, "https://example.org/corvane");
    DestroyWindow(holder);
}

TEST_F(Help, AfterAboutTheFrameIsPresentedUnlessTicksComeSoonEnough) {
    // No video, not playing: the empty record is presented.
    startEmpty();
    EXPECT_EQ(statusText(0), "No file open");
    ASSERT_TRUE(runAbout({markThenOk()}));
    EXPECT_EQ(statusText(0), "");
    EXPECT_EQ(statusText(1), " h00 : m00 : s00 : ms000 : f0");

    openClip("about.yuv", 176, 144, 200);
    key(VK_RIGHT);
    ASSERT_TRUE(runAbout({markThenOk()}));
    EXPECT_TRUE(showsCurrentFrame()) << "stopped: presented at once";
    EXPECT_EQ(statusText(1).substr(statusText(1).rfind(" f")), " f1");

    key(VK_SPACE);
    ASSERT_EQ(playing, 1);
    ASSERT_TRUE(runAbout({markThenOk()}));
    EXPECT_EQ(statusText(1), "marked") << "Full speed: the next tick presents";
    EXPECT_EQ(playing, 1);

    menuCommand(CMD_HALF_SPEED);
    ASSERT_TRUE(runAbout({markThenOk()}));
    char position[POSITION_TEXT_SIZE];
    videoPositionText(&video, position, sizeof position);
    EXPECT_EQ(statusText(1), position) << "Half speed: presented at once";
    EXPECT_TRUE(showsCurrentFrame());
    key(VK_SPACE);
}

TEST_F(Help, CopiesAndAboutBoxesLeaveNothingBehind) {
    openClip("leaks.yuv", 176, 144);
    copyKey();
    ASSERT_TRUE(runAbout({pressOk}));
    pump();
    const int objects = liveGdiObjects();
    const int windows = threadWindows();
    ASSERT_GT(objects, 0);
    for (int i = 0; i < 100; ++i) SendMessageA(window, WM_COMMAND, MAKEWPARAM(CMD_COPY, 1), 0);
    pump();
    EXPECT_EQ(liveGdiObjects(), objects) << "after 100 copies";
    for (int i = 0; i < 20; ++i) ASSERT_TRUE(runAbout({pressOk})) << i;
    pump();
    EXPECT_EQ(liveGdiObjects(), objects) << "after 20 About boxes";
    EXPECT_EQ(threadWindows(), windows);
}

// The program and these tests carry the same resources: a version block and
// a manifest asking for common controls 6, which the loader has honoured.
TEST(Resources, VersionAndCommonControlsSix) {
    HRSRC manifest = FindResourceA(nullptr, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)); // RT_MANIFEST
    ASSERT_NE(manifest, nullptr);
    const std::string text(static_cast<const char*>(LockResource(LoadResource(nullptr, manifest))),
                           SizeofResource(nullptr, manifest));
    EXPECT_NE(text.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    EXPECT_NE(text.find("version=\"6.0.0.0\""), std::string::npos);

    // Windows' common controls 6 report version 6; Wine's report 5.81 from
    // either copy, so there the side-by-side folder the loader chose tells.
    HMODULE controls = GetModuleHandleA("comctl32.dll");
    ASSERT_NE(controls, nullptr);
    struct DllVersion {
        DWORD size, major, minor, build, platform;
    } dll = {sizeof(DllVersion), 0, 0, 0, 0};
    using GetVersionFunction = HRESULT(WINAPI*)(DllVersion*);
    auto getVersion = reinterpret_cast<GetVersionFunction>(
        reinterpret_cast<void*>(GetProcAddress(controls, "DllGetVersion")));
    ASSERT_NE(getVersion, nullptr);
    ASSERT_EQ(getVersion(&dll), S_OK);
    char path[MAX_PATH] = "";
    GetModuleFileNameA(controls, path, sizeof path);
    CharLowerA(path);
    EXPECT_TRUE(dll.major == 6 || strstr(path, "common-controls_6595b64144ccf1df_6."))
        << path << " is version " << dll.major << "." << dll.minor;

    HRSRC version = FindResourceA(nullptr, MAKEINTRESOURCEA(VS_VERSION_INFO), MAKEINTRESOURCEA(16)); // RT_VERSION
    ASSERT_NE(version, nullptr);
    const char* block = static_cast<const char*>(LockResource(LoadResource(nullptr, version)));
    const std::string bytes(block, SizeofResource(nullptr, version));
    // The fixed part follows the UTF-16 key "VS_VERSION_INFO" at a 4-byte boundary.
    const size_t fixed = bytes.find("\xBD\x04\xEF\xFE");
    ASSERT_NE(fixed, std::string::npos);
    VS_FIXEDFILEINFO info;
    memcpy(&info, bytes.data() + fixed, sizeof info);
    EXPECT_EQ(HIWORD(info.dwFileVersionMS), CORVANE_VERSION_MAJOR);
    EXPECT_EQ(LOWORD(info.dwFileVersionMS), CORVANE_VERSION_MINOR);
    EXPECT_EQ(HIWORD(info.dwFileVersionLS), CORVANE_VERSION_PATCH);
    std::string versionText;
    for (const char* c = CORVANE_VERSION_TEXT; *c; ++c) versionText += std::string(1, *c) + '\0';
    EXPECT_NE(bytes.find(versionText), std::string::npos) << "ProductVersion text";
}

} // namespace
