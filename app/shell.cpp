// The shell's state, owned here: the globals the window procedure, the
// commands and the dialogs share on the main window's thread, and the helpers
// that change the frame timer and the menu.
#include <windows.h>
#include <shellapi.h>

#include "app/shell.h"

VideoFile video;
int playing = 0;
int separateView = 0;
int playInterval = 40;
int openWidth = 640;
int openHeight = 480;
int formatIndex = 0;
HWND statusBar = nullptr;
HINSTANCE instance = nullptr;
HACCEL accelerators = nullptr;
int playbackTimerPeriod = 0;

ShellOpenFunction shellOpen = ShellExecuteA;

const char readmePath[] = "./Corvane.README.txt";

void setPlaybackTimer(HWND window, int period) {
    if (period <= 0) period = IGNORE_SPEED_PERIOD;
    SetTimer(window, PLAYBACK_TIMER, static_cast<UINT>(period), nullptr);
    playbackTimerPeriod = period;
}

void killPlaybackTimer(HWND window) {
    KillTimer(window, PLAYBACK_TIMER);
    playbackTimerPeriod = 0;
}

void endPlayback(HWND window) {
    killPlaybackTimer(window);
    playing = 0;
}

void enableCommand(HMENU menu, UINT command) {
    EnableMenuItem(menu, command, MF_BYCOMMAND | MF_ENABLED);
}

void grayCommand(HMENU menu, UINT command) {
    EnableMenuItem(menu, command, MF_BYCOMMAND | MF_GRAYED);
}

void setCommandState(HMENU menu, UINT command, UINT state) {
    MENUITEMINFOA item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_STATE;
    item.fState = state;
    SetMenuItemInfoA(menu, command, FALSE, &item);
}
