#include "app/commands.h"

#include "app/shell.h"
#include "render/presenter.h"
#include "resources/resource.h"
#include "video/frame_rate.h"

// With no video open, Play, Pause, Rewind, the steps, Home and End do
// nothing: presenting would replace "No file open" with the position of no
// video, and starting or stopping playback would offer Play, Pause or Rewind
// for it and arm a timer with nothing to read. The speed commands, Combined
// fields and Close still run their steps, harmless then, except that a
// speed change arms no timer and nothing is fitted or presented.

static void present(HWND window) {
    if (videoIsOpen(&video)) presentFrame(&video, window, separateView);
}

static void restartTimer(HWND window) {
    killPlaybackTimer(window);
    setPlaybackTimer(window, playInterval);
}

void startPlayback(HWND window, HMENU menu) {
    grayCommand(menu, CMD_PLAY);
    enableCommand(menu, CMD_REWIND);
    enableCommand(menu, CMD_PAUSE);
    setPlaybackTimer(window, playInterval);
    playing = 1;
}

void stopPlayback(HWND window, HMENU menu) {
    endPlayback(window);
    enableCommand(menu, CMD_PLAY);
    grayCommand(menu, CMD_PAUSE);
    present(window);
}

void closeCommand(HWND window, HMENU menu) {
    killPlaybackTimer(window);
    closeVideo(&video);
    invalidateClient(window);
    static const UINT videoCommands[] = {
        CMD_CLOSE,          CMD_PLAY,          CMD_PAUSE,        CMD_REWIND,
        CMD_FULL_SPEED,     CMD_HALF_SPEED,    CMD_QUARTER_SPEED, CMD_IGNORE_SPEED,
        CMD_COMBINED_FIELDS, CMD_SEPARATE_FIELDS,
    };
    for (UINT command : videoCommands) grayCommand(menu, command);
    writeStatusTexts(window, &video, 0);
}

void exitCommand(HWND) {
    closeVideo(&video);
    PostQuitMessage(0);
}

void playCommand(HWND window, HMENU menu, int fromAccelerator) {
    if (!videoIsOpen(&video)) return;
    if (fromAccelerator && playing == 1) stopPlayback(window, menu);
    else startPlayback(window, menu);
}

void pauseCommand(HWND window, HMENU menu, int fromAccelerator) {
    if (!videoIsOpen(&video)) return;
    if (!fromAccelerator || playing != 0) stopPlayback(window, menu);
    else startPlayback(window, menu);
}

void rewindCommand(HWND window, HMENU menu) {
    if (!videoIsOpen(&video)) return;
    endPlayback(window);
    rewindVideo(&video);
    present(window);
    enableCommand(menu, CMD_PLAY);
    grayCommand(menu, CMD_REWIND);
    grayCommand(menu, CMD_PAUSE);
}

void speedCommand(HWND window, HMENU menu, Speed speed) {
    static const UINT items[] = {CMD_FULL_SPEED, CMD_HALF_SPEED, CMD_QUARTER_SPEED,
                                 CMD_IGNORE_SPEED};
    for (int i = 0; i < 4; ++i) setCommandState(menu, items[i], i == speed ? MFS_CHECKED : 0);
    switch (speed) {
    case SPEED_FULL:    playInterval = video.frameInterval; break;
    case SPEED_HALF:    playInterval = scaledInterval(video.frameInterval, 2); break;
    case SPEED_QUARTER: playInterval = scaledInterval(video.frameInterval, 4); break;
    case SPEED_IGNORE:  playInterval = IGNORE_SPEED_PERIOD; break;
    }
    if (playing && videoIsOpen(&video)) restartTimer(window);
}

// A window too narrow to change size with the view gets no resize and so no
// repaint of its own: the whole client is repainted so that neither the old
// view's wider picture nor, while playing, the old view until the next tick
// stays on screen.
static void switchView(HWND window) {
    fitWindowToVideo(window, &video, separateView);
    invalidateClient(window);
    if (!playing) present(window);
}

void combinedFieldsCommand(HWND window, HMENU menu) {
    if (separateView == 0) return;
    separateView = 0;
    setCommandState(menu, CMD_COMBINED_FIELDS, MFS_CHECKED);
    setCommandState(menu, CMD_SEPARATE_FIELDS, 0);
    switchView(window);
}

void separateFieldsCommand(HWND window, HMENU menu) {
    if (separateView == 1 || !videoIsOpen(&video) || video.format->code != 420) return;
    separateView = 1;
    setCommandState(menu, CMD_COMBINED_FIELDS, 0);
    setCommandState(menu, CMD_SEPARATE_FIELDS, MFS_CHECKED);
    switchView(window);
}

void stepForwardCommand(HWND window, HMENU menu) {
    if (!readNextFrame(&video)) return;
    present(window);
    enableCommand(menu, CMD_REWIND);
}

void stepBackCommand(HWND window, int frames) {
    if (!videoIsOpen(&video)) return;
    stepBack(&video, frames);
    present(window);
}

void forwardTenCommand(HWND window) {
    if (!videoIsOpen(&video)) return;
    for (int i = 0; i < 10 && readNextFrame(&video); ++i) {
    }
    present(window);
}

void homeCommand(HWND window) {
    if (!videoIsOpen(&video)) return;
    rewindVideo(&video);
    present(window);
}

void endCommand(HWND window) {
    if (!videoIsOpen(&video)) return;
    seekLastFrame(&video);
    present(window);
}
