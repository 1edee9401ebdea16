// The command bar: a strip along the top of its window with a button for each of its menus
// and, with adornments, a close box.
#pragma once

#include <windows.h>

#include <string_view>

namespace kdev {

constexpr std::u16string_view kCommandBarClass = u"CommandBar";
constexpr int kCommandBarHeight = 26;

LRESULT CALLBACK commandBarProc(HWND hwnd, UINT message, WPARAM first, LPARAM second);

// What the platform's CommandBar_ functions do.
HWND createCommandBar(HINSTANCE instance, HWND parent, int barId);
bool insertMenubar(HWND bar, HINSTANCE instance, WORD menuId, WORD button);
bool addAdornments(HWND bar);

}  // namespace kdev
