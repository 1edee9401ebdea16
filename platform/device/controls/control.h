// What the device's own controls share: how their procedures reach the window system, the
// state they keep beside a window, and the disabling of other windows under a modal box.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>

#include "core/geometry.h"
#include "wm/window_manager.h"

namespace kdev {

// The active device's window manager: a window procedure is given no more than a handle.
WindowManager& wm();

// The control state of type T kept beside a window; null when there is none of that type.
template <typename T>
T* dataOf(Window* w) {
    return w ? dynamic_cast<T*>(w->control.get()) : nullptr;
}
template <typename T>
const T* dataOf(const Window* w) {
    return w ? dynamic_cast<const T*>(w->control.get()) : nullptr;
}

constexpr WORD kButtonClicked = 0;  // the notification code in a button's WM_COMMAND
// WM_COMMAND's first parameter: the control id in the low word, the notification code above.
WPARAM commandParam(int id, WORD code);

// What a message box and a dialog do once built: with `owner` disabled (every other enabled
// top-level window, for one owned by nobody) and enabled again afterwards, `window` is shown,
// brought to the front (then `shown` runs) and a modal loop runs until done() holds.
void runModal(WindowManager& manager, std::uint32_t owner, std::uint32_t window,
              const std::function<bool()>& done, const std::function<void()>& shown = {});

}  // namespace kdev
