// Drives the real Corvane window in-process: starts it through the program's
// own start-up code, fills the real open dialog, pumps the real message loop,
// and reads back what a user would see.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/main_window.h"
#include "app/shell.h"
#include "resources/resource.h"

// What to do when the open dialog appears: called with the dialog and its panel.
using DialogAction = std::function<void(HWND dialog, HWND panel)>;

// Runs `action` on the next open dialog, from a timer of this thread (the
// dialog's modal loop delivers it). Gives up after a few seconds.
void whenOpenDialogShows(DialogAction action);
// Answers the next message box captioned `caption` with OK, keeping its text.
void whenMessageBoxShows(const std::string& caption, std::string* text);
void stopWaitingForMessageBox();

// Dialog steps.
void setFileName(HWND dialog, const std::string& path);
void setPanelText(HWND panel, int control, const std::string& text);
void choosePanelIndex(HWND panel, int control, int index); // with its CBN_SELCHANGE
void pressOpen(HWND dialog);
void pressCancel(HWND dialog);
// Fills the file name and presses Open, leaving the panel as it is.
DialogAction openFile(const std::string& path);
DialogAction openFileAs(const std::string& path, const std::string& width,
                        const std::string& height, const std::string& rate, int format);

class CorvaneWindow : public ::testing::Test {
protected:
    HWND window = nullptr;
    void SetUp() override;
    void TearDown() override;

    // Starts the program; the open dialog runs `action` before this returns.
    void start(DialogAction action);
    // Sends the Open command from the menu, with `action` on its dialog.
    void openCommand(DialogAction action);
    // WM_COMMAND as from the menu (high word 0).
    void menuCommand(int command);
    // A key through the message loop, where the accelerator table sees it.
    void key(WPARAM virtualKey, bool control = false);
    // Dispatches messages through the program's loop for `ms` milliseconds.
    void pump(int ms = 30);
    // Pumps until `done` holds or `ms` pass; returns whether it held.
    bool pumpUntil(const std::function<bool()>& done, int ms = 5000);
    // One tick of the frame timer through the program's loop, as the system
    // delivers it, and the paint it asks for: a tick exactly when the test
    // wants one, however busy the machine.
    void tick();

    HMENU menu() const { return GetMenu(window); }
    UINT menuState(int command) const;
    bool grayed(int command) const { return (menuState(command) & MF_GRAYED) != 0; }
    bool checked(int command) const { return (menuState(command) & MF_CHECKED) != 0; }
    std::string statusText(int part) const;
    SIZE clientSize() const;
    int statusBarHeight() const;

    // The client area's pixels, 0x00RRGGBB, row by row.
    std::vector<uint32_t> clientPixels(int width, int height) const;
    // The core's picture of frame frameIndex read afresh from the chosen file (or of
    // the buffer, before the first frame), as the window should show it.
    std::vector<uint32_t> expectedPicture(int separate) const;
    // Whether the client area shows exactly the current frame.
    ::testing::AssertionResult showsCurrentFrame(int separate = -1) const;
};

// The path the last dialog action chose.
extern std::string lastChosenPath;
// The core's picture of a frame record, 0x00RRGGBB row by row.
std::vector<uint32_t> pictureOf(const VideoFile* frame, int separate);

// Files for the tests, in a scratch folder that is also the current directory.
std::string testFolder();
std::string makeClip(const std::string& name, int width, int height, int formatCode, int frames);
std::string writeTestFile(const std::string& name, const std::vector<uint8_t>& bytes);

// Live drawing objects of this process: Wine answers GetGuiResources with 0,
// but recognises a handle by its low word, so counting the low words that
// name an object gives the same figure there.
int liveGdiObjects();
// Top-level windows of this thread.
int threadWindows();

// A clip of `size` bytes that is all hole except the listed frames, which hold
// makeClip's frames of the same numbers. Costs no disk.
std::string makeSparseClip(const std::string& name, int width, int height, int64_t size,
                           const std::vector<int64_t>& frames);
