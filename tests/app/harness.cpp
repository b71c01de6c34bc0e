#include "tests/app/harness.h"

#include <commctrl.h>
#include <commdlg.h>
#include <dlgs.h>

#include <cstdio>
#include <random>

#include "render/colour.h"
#include "render/separate.h"
#include "video/video_file.h"

namespace {

DialogAction pendingAction;
int dialogAttempts = 0;

void CALLBACK dialogTimer(HWND, UINT, UINT_PTR id, DWORD) {
    HWND dialog = FindWindowA("#32770", "Open Video File");
    HWND panel = dialog ? FindWindowExA(dialog, nullptr, "#32770", nullptr) : nullptr;
    if (!panel || !GetDlgItem(panel, IDC_WIDTH)) {
        if (++dialogAttempts > 300) {
            KillTimer(nullptr, id);
            ADD_FAILURE() << "the open dialog never showed";
            if (dialog) pressCancel(dialog);
        }
        return;
    }
    KillTimer(nullptr, id);
    DialogAction action = std::move(pendingAction);
    pendingAction = nullptr;
    if (action) action(dialog, panel);
}

struct BoxWait {
    std::string caption;
    std::string* text;
    int attempts;
};
BoxWait boxWait;
UINT_PTR boxTimerId = 0;

void CALLBACK boxTimer(HWND, UINT, UINT_PTR id, DWORD) {
    HWND box = FindWindowA("#32770", boxWait.caption.c_str());
    if (!box) {
        if (++boxWait.attempts > 300) {
            KillTimer(nullptr, id);
            boxTimerId = 0;
            ADD_FAILURE() << "no message box \"" << boxWait.caption << "\"";
        }
        return;
    }
    KillTimer(nullptr, id);
    boxTimerId = 0;
    char text[1024] = "";
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    if (boxWait.text) *boxWait.text = text;
    PostMessageA(box, WM_COMMAND, IDOK, 0);
}

} // namespace

void whenOpenDialogShows(DialogAction action) {
    pendingAction = std::move(action);
    dialogAttempts = 0;
    SetTimer(nullptr, 0, 10, dialogTimer);
}

void whenMessageBoxShows(const std::string& caption, std::string* text) {
    stopWaitingForMessageBox();
    boxWait = {caption, text, 0};
    boxTimerId = SetTimer(nullptr, 0, 10, boxTimer);
}

void stopWaitingForMessageBox() {
    if (boxTimerId) KillTimer(nullptr, boxTimerId);
    boxTimerId = 0;
}

void setFileName(HWND dialog, const std::string& path) {
    HWND box = GetDlgItem(dialog, cmb13);
    if (box) {
        HWND edit = reinterpret_cast<HWND>(SendMessageA(box, CBEM_GETEDITCONTROL, 0, 0));
        if (!edit) {
            COMBOBOXINFO info = {};
            info.cbSize = sizeof info;
            if (GetComboBoxInfo(box, &info)) edit = info.hwndItem;
        }
        SetWindowTextA(edit ? edit : box, path.c_str());
        return;
    }
    SetDlgItemTextA(dialog, edt1, path.c_str());
}

void setPanelText(HWND panel, int control, const std::string& text) {
    SetDlgItemTextA(panel, control, text.c_str());
}

void choosePanelIndex(HWND panel, int control, int index) {
    HWND box = GetDlgItem(panel, control);
    SendMessageA(box, CB_SETCURSEL, index, 0);
    SendMessageA(panel, WM_COMMAND, MAKEWPARAM(control, CBN_SELCHANGE), reinterpret_cast<LPARAM>(box));
}

void pressOpen(HWND dialog) {
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
}

void pressCancel(HWND dialog) {
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
}

std::string lastChosenPath;

DialogAction openFile(const std::string& path) {
    return [path](HWND dialog, HWND) {
        lastChosenPath = path;
        setFileName(dialog, path);
        pressOpen(dialog);
    };
}

DialogAction openFileAs(const std::string& path, const std::string& width,
                        const std::string& height, const std::string& rate, int format) {
    return [=](HWND dialog, HWND panel) {
        lastChosenPath = path;
        if (format >= 0) choosePanelIndex(panel, IDC_FORMAT, format);
        setPanelText(panel, IDC_WIDTH, width);
        setPanelText(panel, IDC_HEIGHT, height);
        setPanelText(panel, IDC_RATE, rate);
        setFileName(dialog, path);
        pressOpen(dialog);
    };
}

void CorvaneWindow::SetUp() {
    SetCurrentDirectoryA(testFolder().c_str());
    closeVideo(&video);
    playing = 0;
    separateView = 0;
    playInterval = 40;
    openWidth = 640;
    openHeight = 480;
    formatIndex = 0;
    statusBar = nullptr;
    playbackTimerPeriod = 0;
}

void CorvaneWindow::TearDown() {
    stopWaitingForMessageBox();
    if (window && IsWindow(window)) DestroyWindow(window);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
    UnregisterClassA("MyWin", GetModuleHandleA(nullptr));
    closeVideo(&video);
    window = nullptr;
}

void CorvaneWindow::start(DialogAction action) {
    whenOpenDialogShows(std::move(action));
    window = startCorvane(GetModuleHandleA(nullptr), SW_SHOWNORMAL);
    ASSERT_NE(window, nullptr);
    pump();
}

void CorvaneWindow::openCommand(DialogAction action) {
    whenOpenDialogShows(std::move(action));
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(CMD_OPEN, 0), 0);
    pump();
}

void CorvaneWindow::menuCommand(int command) {
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(command, 0), 0);
    pump();
}

void CorvaneWindow::key(WPARAM virtualKey, bool control) {
    BYTE keys[256];
    GetKeyboardState(keys);
    if (control) {
        keys[VK_CONTROL] = 0x80;
        SetKeyboardState(keys);
    }
    PostMessageA(window, WM_KEYDOWN, virtualKey, 1);
    PostMessageA(window, WM_KEYUP, virtualKey, 0xC0000001);
    pump();
    if (control) {
        keys[VK_CONTROL] = 0;
        SetKeyboardState(keys);
    }
}

void CorvaneWindow::pump(int ms) {
    pumpUntil([] { return false; }, ms);
}

bool CorvaneWindow::pumpUntil(const std::function<bool()>& done, int ms) {
    const DWORD end = GetTickCount() + static_cast<DWORD>(ms);
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(message.wParam));
                return done();
            }
            dispatchLoopMessage(window, &message);
        }
        if (done()) return true;
        if (static_cast<LONG>(GetTickCount() - end) >= 0) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 2, QS_ALLINPUT);
    }
}

void CorvaneWindow::tick() {
    MSG message = {};
    message.hwnd = window;
    message.message = WM_TIMER;
    message.wParam = PLAYBACK_TIMER;
    message.time = GetTickCount();
    dispatchLoopMessage(window, &message);
    UpdateWindow(window);
}

UINT CorvaneWindow::menuState(int command) const {
    return GetMenuState(GetMenu(window), command, MF_BYCOMMAND);
}

std::string CorvaneWindow::statusText(int part) const {
    char text[256] = "";
    LRESULT length = SendMessageA(statusBar, SB_GETTEXTLENGTHA, part, 0);
    if (LOWORD(length) >= sizeof text) return "<too long>";
    SendMessageA(statusBar, SB_GETTEXTA, part, reinterpret_cast<LPARAM>(text));
    return text;
}

SIZE CorvaneWindow::clientSize() const {
    RECT client;
    GetClientRect(window, &client);
    return {client.right, client.bottom};
}

int CorvaneWindow::statusBarHeight() const {
    RECT status;
    GetClientRect(statusBar, &status);
    return status.bottom;
}

std::vector<uint32_t> CorvaneWindow::clientPixels(int width, int height) const {
    std::vector<uint32_t> pixels(size_t(width) * height);
    HDC dc = GetDC(window);
    HDC memory = CreateCompatibleDC(dc);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, dc, 0, 0, SRCCOPY);
    GdiFlush();
    const uint32_t* source = static_cast<const uint32_t*>(bits);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = source[i] & 0xFFFFFF;
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, dc);
    return pixels;
}

std::vector<uint32_t> CorvaneWindow::expectedPicture(int separate) const {
    // Read the frame afresh from the file, so that a wrong buffer shows up too.
    VideoFile fresh;
    clearVideo(&fresh);
    if (video.frameIndex >= 0 && !lastChosenPath.empty() &&
        openVideo(&fresh, lastChosenPath.c_str(), video.width, video.height, video.format->code,
                  video.frameInterval) &&
        seekFrame(&fresh, video.frameIndex)) {
        std::vector<uint32_t> pixels = pictureOf(&fresh, separate);
        closeVideo(&fresh);
        return pixels;
    }
    closeVideo(&fresh);
    return pictureOf(&video, separate);
}

std::vector<uint32_t> pictureOf(const VideoFile* frame, int separate) {
    const VideoFile& video = *frame;
    const int64_t width = separate ? separatePictureWidth(&video) : video.width;
    const int64_t height = video.height;
    std::vector<uint32_t> pixels(size_t(width * height));
    const int bitsPerPixel = separate ? 8 : 24;
    const int64_t stride = pictureStride(width, bitsPerPixel);
    std::vector<uint8_t> bits(size_t(stride * height));
    if (separate) buildSeparatePicture(frame, bits.data());
    else buildColourPictureReference(frame, video.format, bits.data());
    for (int64_t r = 0; r < height; ++r)
        for (int64_t c = 0; c < width; ++c) {
            const uint8_t* p = &bits[size_t(r * stride + c * (bitsPerPixel / 8))];
            pixels[size_t(r * width + c)] =
                separate ? uint32_t(p[0]) * 0x010101u : uint32_t(p[2]) << 16 | p[1] << 8 | p[0];
        }
    return pixels;
}

::testing::AssertionResult CorvaneWindow::showsCurrentFrame(int separate) const {
    if (separate < 0) separate = separateView;
    const int width = static_cast<int>(separate ? separatePictureWidth(&video) : video.width);
    const int height = video.height;
    std::vector<uint32_t> shown = clientPixels(width, height);
    std::vector<uint32_t> expected = expectedPicture(separate);
    size_t differing = 0, first = 0;
    for (size_t i = 0; i < shown.size(); ++i)
        if (shown[i] != expected[i] && differing++ == 0) first = i;
    if (differing == 0) return ::testing::AssertionSuccess();
    char detail[200];
    snprintf(detail, sizeof detail, "%zu of %zu pixels differ; first at (%zu, %zu): shown %06x, expected %06x",
             differing, shown.size(), first % width, first / width, shown[first], expected[first]);
    return ::testing::AssertionFailure() << "frame " << video.frameIndex << ": " << detail;
}

std::string testFolder() {
    static std::string folder;
    if (folder.empty()) {
        char base[MAX_PATH];
        GetTempPathA(sizeof base, base);
        std::random_device entropy;
        folder = std::string(base) + "corvane-app-" + std::to_string(entropy());
        CreateDirectoryA(folder.c_str(), nullptr);
    }
    return folder;
}

std::string writeTestFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::string path = testFolder() + "\\" + name;
    FILE* file = fopen(path.c_str(), "wb");
    if (file) {
        if (!bytes.empty()) fwrite(bytes.data(), 1, bytes.size(), file);
        fclose(file);
    }
    return path;
}

// The bytes of a frame in the file layout (Y, then U, then V): each depends on
// its place and on the frame number, so that a wrong frame, plane or row
// shows in the picture.
static std::vector<uint8_t> testFrame(int width, int height, const ChromaFormat* format,
                                      int64_t number) {
    const size_t chroma = size_t(width / format->horizontalFactor) * (height / format->verticalFactor);
    std::vector<uint8_t> frame(size_t(width) * height + 2 * chroma);
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = static_cast<uint8_t>(uint32_t(i + uint64_t(number) * 40503u) * 2654435761u >> 24);
    return frame;
}

std::string makeClip(const std::string& name, int width, int height, int formatCode, int frames) {
    std::string path = testFolder() + "\\" + name;
    FILE* file = fopen(path.c_str(), "wb");
    if (!file) return path;
    for (int k = 0; k < frames; ++k) {
        const std::vector<uint8_t> frame = testFrame(width, height, findChromaFormat(formatCode), k);
        fwrite(frame.data(), 1, frame.size(), file);
    }
    fclose(file);
    return path;
}

int liveGdiObjects() {
    if (GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version")) {
        int count = 0;
        for (uintptr_t handle = 1; handle <= 0xFFFF; ++handle)
            if (GetObjectType(reinterpret_cast<HGDIOBJ>(handle))) ++count;
        return count;
    }
    return static_cast<int>(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS));
}

static BOOL CALLBACK countWindow(HWND, LPARAM count) {
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

int threadWindows() {
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), countWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

std::string makeSparseClip(const std::string& name, int width, int height, int64_t size,
                           const std::vector<int64_t>& frames) {
    std::string path = testFolder() + "\\" + name;
    FILE* file = fopen(path.c_str(), "wb");
    if (!file) return path;
    for (int64_t k : frames) {
        const std::vector<uint8_t> frame = testFrame(width, height, findChromaFormat(420), k);
        _fseeki64(file, k * static_cast<int64_t>(frame.size()), SEEK_SET);
        fwrite(frame.data(), 1, frame.size(), file);
    }
    uint8_t zero = 0;
    _fseeki64(file, size - 1, SEEK_SET);
    fwrite(&zero, 1, 1, file);
    fclose(file);
    return path;
}
