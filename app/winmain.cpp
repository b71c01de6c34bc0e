#include <windows.h>

#include "app/main_window.h"

int WINAPI WinMain(HINSTANCE module, HINSTANCE, LPSTR, int showState) {
    HWND window = startCorvane(module, showState);
    if (!window) return 0;
    return runMessageLoop(window);
}
