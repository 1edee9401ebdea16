// The static control: text (left, centred or right, wrapped, '\n' breaks a line) or an icon.
#pragma once

#include <windows.h>

#include <optional>
#include <string_view>

#include "gfx/canvas.h"
#include "gfx/text.h"
#include "wm/window_manager.h"

namespace kdev {

constexpr std::u16string_view kStaticClass = u"Static";
constexpr DWORD kStaticTypeMask = 0x1F;

struct StaticData : ControlData {
    const Font* font = &Font::ui();
    std::optional<Image> icon;
};

LRESULT CALLBACK staticProc(HWND hwnd, UINT message, WPARAM first, LPARAM second);

}  // namespace kdev
