// Platform functions the device offers beyond what the program calls, for tests and tools
// that drive the device from outside.
#pragma once

#include <windows.h>

extern "C" {

BOOL WINAPI IsWindow(HWND window);
BOOL WINAPI EnableWindow(HWND window, BOOL enable);
BOOL WINAPI PostMessageW(HWND window, UINT message, WPARAM first, LPARAM second);

}  // extern "C"
