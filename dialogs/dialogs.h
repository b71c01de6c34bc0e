// The open dialog, the help text, the readme and the About box.
#pragma once

#include <windows.h>

#include "video/video_file.h"

void openCommand(HWND window, HMENU menu, int separate);
UINT_PTR CALLBACK openDialogHook(HWND panel, UINT message, WPARAM wParam, LPARAM lParam);

void showHelp(HWND window);
void readmeCommand(HWND window, HMENU menu);
void aboutCommand(HWND window);
