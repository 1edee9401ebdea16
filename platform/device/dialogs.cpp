// Dialogs built from dialog templates, and their controls.
#include <windows.h>

#include "device.h"
#include "window_manager.h"

namespace kdev {

void registerDialogClasses(WindowManager&) {}

}  // namespace kdev

extern "C" {

int WINAPI DialogBoxIndirectParamW(HINSTANCE, LPCDLGTEMPLATEW, HWND, DLGPROC, LPARAM) { return -1; }

BOOL WINAPI EndDialog(HWND, int) { return FALSE; }

}  // extern "C"
