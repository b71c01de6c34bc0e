// The playback, speed, stepping, view, close and exit commands.
#pragma once

#include <windows.h>

enum Speed { SPEED_FULL, SPEED_HALF, SPEED_QUARTER, SPEED_IGNORE };

void startPlayback(HWND window, HMENU menu);
void stopPlayback(HWND window, HMENU menu);

void closeCommand(HWND window, HMENU menu);
void exitCommand(HWND window);
void playCommand(HWND window, HMENU menu, int fromAccelerator);
void pauseCommand(HWND window, HMENU menu, int fromAccelerator);
void rewindCommand(HWND window, HMENU menu);
void speedCommand(HWND window, HMENU menu, Speed speed);
void combinedFieldsCommand(HWND window, HMENU menu);
void separateFieldsCommand(HWND window, HMENU menu);
void stepForwardCommand(HWND window, HMENU menu);
void stepBackCommand(HWND window, int frames);
void forwardTenCommand(HWND window);
void homeCommand(HWND window);
void endCommand(HWND window);
