// The push button: a tap that goes down and comes up on it sends its command to the parent, and
// so does Space while it has the focus, which it shows with a dotted mark inside its frame.
#pragma once

#include <windows.h>

#include <string_view>

#include "controls/press.h"
#include "gfx/text.h"
#include "wm/window_manager.h"

namespace kdev {

constexpr std::u16string_view kButtonClass = u"Button";

struct ButtonData : ControlData {
    const Font* font = &Font::ui();
    bool isDefault = false;
    PressTracker press;
    bool focused = false;
};

LRESULT CALLBACK buttonProc(HWND hwnd, UINT message, WPARAM first, LPARAM second);

}  // namespace kdev
