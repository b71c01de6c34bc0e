// The open dialog, the help text, the readme and the About box.
#pragma once

#include <windows.h>

#include "video/video_file.h"

void openCommand(HWND window, HMENU menu, int separate);
UINT_PTR CALLBACK openDialogHook(HWND panel, UINT message, WPARAM wParam, LPARAM lParam);

// The Help box's text, shown as it stands.
extern const char helpText[];
void showHelp(HWND window);
void readmeCommand(HWND window, HMENU menu);
void aboutCommand(HWND window);
INT_PTR CALLBACK aboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

enum { LINK_TARGET_SIZE = 260 };

// One per link control, from the process heap, kept in the control's user data.
struct LinkData {
    char target[LINK_TARGET_SIZE]; // what a click opens; empty: the control's own text
    WNDPROC previous;              // the control's procedure before it became a link
};

extern int linkPressed;      // 1 between a press on any link and the next release on one
extern HCURSOR linkCursor;   // the hand cursor, built on first use and kept for the run

// Turns the dialog's control `controlId` (a static) into a link that opens
// `target` (at most 259 characters; null: the control's text). Returns 1, or 0
// when the dialog has no such control.
int makeHyperlink(HWND dialog, int controlId, const char* target);
LRESULT CALLBACK linkWindowProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam);
