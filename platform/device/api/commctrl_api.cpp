// Everything <commctrl.h> declares: the command bar, on the active device's window system.
#include <commctrl.h>

#include "controls/command_bar.h"
#include "core/device.h"
#include "wm/window_manager.h"

using kdev::Device;
using kdev::WindowManager;

extern "C" {

HWND WINAPI CommandBar_Create(HINSTANCE instance, HWND parent, int barId) {
    return kdev::createCommandBar(instance, parent, barId);
}

BOOL WINAPI CommandBar_InsertMenubar(HWND bar, HINSTANCE instance, WORD menuId, WORD button) {
    return kdev::insertMenubar(bar, instance, menuId, button) ? TRUE : FALSE;
}

BOOL WINAPI CommandBar_AddAdornments(HWND bar, DWORD, DWORD) {
    return kdev::addAdornments(bar) ? TRUE : FALSE;
}

BOOL WINAPI CommandBar_Show(HWND bar, BOOL show) {
    WindowManager& manager = Device::current().windows();
    if (!manager.get(bar)) return FALSE;
    manager.show(bar, show != FALSE);
    return TRUE;
}

int WINAPI CommandBar_Height(HWND barHwnd) {
    kdev::Window* bar = Device::current().windows().get(barHwnd);
    return bar ? bar->rect.height() : 0;
}

}  // extern "C"
