// commctrl.h: the handheld platform's command bar, the strip along the top of a window that
// carries its menu and standard buttons. Written by us for our emulated device: the
// platform's names for what the program and the device use.
#pragma once

#include <windows.h>

extern "C" {

HWND WINAPI CommandBar_Create(HINSTANCE instance, HWND parent, int barId);
BOOL WINAPI CommandBar_InsertMenubar(HWND bar, HINSTANCE instance, WORD menuId, WORD button);
BOOL WINAPI CommandBar_AddAdornments(HWND bar, DWORD flags, DWORD reserved);
BOOL WINAPI CommandBar_Show(HWND bar, BOOL show);
int WINAPI CommandBar_Height(HWND bar);

}  // extern "C"

// The command bar's height in pixels on every display; CommandBar_Height answers it.
#define COMMANDBAR_HEIGHT 26
