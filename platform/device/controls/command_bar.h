// The command bar: a strip along the top of its window with a button for each of its menus
// and, with adornments, a close box.
#pragma once

#include <windows.h>

#include <optional>
#include <string_view>

#include "core/geometry.h"

namespace kdev {

class WindowManager;

constexpr std::u16string_view kCommandBarClass = u"CommandBar";
constexpr int kCommandBarHeight = 26;

LRESULT CALLBACK commandBarProc(HWND hwnd, UINT message, WPARAM first, LPARAM second);

// What the platform's CommandBar_ functions do.
HWND createCommandBar(HINSTANCE instance, HWND parent, int barId);
bool insertMenubar(HWND bar, HINSTANCE instance, WORD menuId, WORD button);
bool addAdornments(HWND bar);

// Where a script taps for the text: the item of the open menu with it, else a push button of
// the topmost visible window with it (a dialog's OK), else the button with it (or the close box,
// for "Close") on that window's command bar; nullopt when there is none on the screen.
std::optional<Point> locateMenuTarget(WindowManager& manager, std::u16string_view text);

}  // namespace kdev
