#include <windows.h>

#include "dialogs/dialogs.h"

void showHelp(HWND) {}
void readmeCommand(HWND, HMENU) {}
void aboutCommand(HWND) {}
