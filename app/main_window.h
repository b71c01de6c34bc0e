// The main window: its procedure, and the start-up and message-loop entry
// points the program and its tests share.
#pragma once

#include <windows.h>

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Start-up up to the message loop: registers the class, creates the window
// and status bar, loads the accelerators, shows the window and runs the Open
// command. Returns the main window, or null when the class cannot be registered.
HWND startCorvane(HINSTANCE module, int showState);

// One turn of the message loop for a message already fetched.
void dispatchLoopMessage(HWND window, MSG* message);
int runMessageLoop(HWND window);
