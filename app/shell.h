// The shell's state, defined in app/shell.cpp: globals owned by the main
// window's thread, and the helpers that change the frame timer and the menu.
#pragma once

#include <windows.h>

#include "video/video_file.h"

enum { PLAYBACK_TIMER = 1, IGNORE_SPEED_PERIOD = 2 };

extern VideoFile video;        // the one open video (or the cleared record)
extern int playing;            // 1 while playback is considered running
extern int separateView;       // 0 combined colour view, 1 separate fields
extern int playInterval;       // frame timer period in milliseconds
extern int openWidth;          // last width entered in the open dialog
extern int openHeight;         // last height entered in the open dialog
extern int formatIndex;        // chromaFormats row chosen in the open dialog
extern HWND statusBar;         // the two-part status window
extern HINSTANCE instance;     // the program's module
extern HACCEL accelerators;    // keyboard table, or null when it failed to load
extern int playbackTimerPeriod; // period the armed frame timer asked for; 0 while it is off

// The shell's "open" for the readme and the About link. ShellExecuteA unless
// a test has put a recorder in its place.
using ShellOpenFunction = HINSTANCE(WINAPI*)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);
extern ShellOpenFunction shellOpen;

// The user guide, beside the program in the current directory.
extern const char readmePath[];

// The frame timer, always armed and killed through these so the shell knows
// whether it runs. A period of 0 or less (from a rate of 0, a negative rate,
// or none) says nothing usable about time: the timer then ticks at Ignore
// speed's 2 ms. Only the timer's period differs; playInterval and the
// video's frameInterval keep the value the rate gave.
void setPlaybackTimer(HWND window, int period);
void killPlaybackTimer(HWND window);

// Kills the frame timer and clears `playing`, for the steps that do both.
// The two are not the same thing: a Cancel in the open dialog during
// playback leaves the timer running with playing = 0, and Close kills the
// timer but leaves playing as it was.
void endPlayback(HWND window);

// Menu state helpers: each step is one line where a command changes the menu.
void enableCommand(HMENU menu, UINT command);
void grayCommand(HMENU menu, UINT command);
void setCommandState(HMENU menu, UINT command, UINT state);
