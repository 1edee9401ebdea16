// What the device's own controls share: how their procedures reach the window system, the
// state they keep beside a window, and the disabling of other windows under a modal box.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

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

// Stylus position from a mouse message's second parameter (client coordinates, signed) to
// screen coordinates.
Point screenPoint(const WindowManager& manager, const Window& w, LPARAM second);

constexpr WORD kButtonClicked = 0;  // the notification code in a button's WM_COMMAND
// WM_COMMAND's first parameter: the control id in the low word, the notification code above.
WPARAM commandParam(int id, WORD code);

// Disables every enabled top-level window but `except`, for a modal box owned by nobody;
// restore() undoes it.
struct ModalDisable {
    WindowManager& wm;
    std::vector<std::uint32_t> disabled;
    ModalDisable(WindowManager& wm, std::uint32_t owner, std::uint32_t except);
    ~ModalDisable();
};

}  // namespace kdev
