#include "controls/control.h"

#include <vector>

#include "core/device.h"

namespace kdev {

WindowManager& wm() { return Device::current().windows(); }

WPARAM commandParam(int id, WORD code) {
    return static_cast<WPARAM>(static_cast<WORD>(id)) | (static_cast<WPARAM>(code) << 16);
}

namespace {

// Disables every enabled top-level window but `except` (only `owner`, when there is one) and
// enables them again when it goes.
struct ModalDisable {
    WindowManager& wm;
    std::vector<std::uint32_t> disabled;
    ModalDisable(WindowManager& manager, std::uint32_t owner, std::uint32_t except) : wm(manager) {
        std::vector<std::uint32_t> targets;
        if (owner)
            targets.push_back(owner);
        else
            targets = wm.topLevels();
        for (std::uint32_t h : targets) {
            Window* w = wm.get(h);
            if (!w || h == except || !w->enabled) continue;
            wm.enable(WindowManager::toHwnd(h), false);
            disabled.push_back(h);
        }
    }
    ~ModalDisable() {
        for (std::uint32_t h : disabled) wm.enable(WindowManager::toHwnd(h), true);
    }
};

}  // namespace

void runModal(WindowManager& manager, std::uint32_t owner, std::uint32_t window,
              const std::function<bool()>& done, const std::function<void()>& shown) {
    ModalDisable modal(manager, owner, window);
    const HWND hwnd = WindowManager::toHwnd(window);
    manager.show(hwnd, true);
    manager.setForeground(hwnd);
    if (shown) shown();
    manager.modalLoop(window, done);
}
}  // namespace kdev
