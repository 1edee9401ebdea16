// The command bar: a strip along the top of its window with a button for each of its menus
// and, with adornments, a close box.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <optional>
#include <string_view>

#include "core/geometry.h"

namespace kdev {

class WindowManager;

constexpr std::u16string_view kCommandBarClass = u"CommandBar";

LRESULT CALLBACK commandBarProc(HWND hwnd, UINT message, WPARAM first, LPARAM second);

// What the platform's CommandBar_ functions do.
HWND createCommandBar(HINSTANCE instance, HWND parent, int barId);
bool insertMenubar(HWND bar, HINSTANCE instance, WORD menuId, WORD button);
bool addAdornments(HWND bar);

class MenuTracker;
struct Window;

// The menu being tracked on this device, if any.
MenuTracker* openMenuTracker(WindowManager& manager);
// The centre of the bar's button with the text (or of its close box, for "Close"); nullopt when
// `bar` is no command bar or has no such button.
std::optional<Point> commandBarTarget(const Window& bar, std::u16string_view text);

}  // namespace kdev
