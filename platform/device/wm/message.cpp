// The message queue and the one pump: sending, posting, the quit message, GetMessage and the
// modal loops, all waiting for input in pump().
#include <stdexcept>
#include <string>
#include <utility>

#include "core/device.h"
#include "core/trace.h"
#include "wm/window_manager.h"

namespace kdev {

LRESULT WindowManager::send(HWND hwnd, UINT message, WPARAM first, LPARAM second) {
    Window* w = get(hwnd);
    if (!w || !w->cls.proc) return 0;
    const bool program = !w->cls.system;
    const LRESULT r = w->cls.proc(hwnd, message, first, second);
    // The program writes straight into the screen memory, unseen: whatever one of its
    // procedures did counts as a change.
    if (program) device_.screen().touch();
    return r;
}

bool WindowManager::post(HWND hwnd, UINT message, WPARAM first, LPARAM second) {
    if (hwnd && !get(hwnd)) return false;
    MSG m{};
    m.hwnd = hwnd;
    m.message = message;
    m.wParam = first;
    m.lParam = second;
    m.pt = {stylus_.x, stylus_.y};
    queue_.push_back(m);
    return true;
}

void WindowManager::postQuit(int code) {
    quitPending_ = true;
    quitCode_ = code;
}

std::optional<bool> WindowManager::takeMessage(MSG& msg) {
    if (!queue_.empty()) {
        msg = queue_.front();
        queue_.pop_front();
        return true;
    }
    if (quitPending_) {
        quitPending_ = false;
        msg = MSG{};
        msg.message = WM_QUIT;
        msg.wParam = static_cast<WPARAM>(quitCode_);
        return false;
    }
    if (nextPaint(msg)) return true;
    return std::nullopt;
}

bool WindowManager::getMessage(MSG& msg) {
    std::optional<bool> taken;
    pump([&] { return (taken = takeMessage(msg)).has_value(); });
    return *taken;
}

void WindowManager::pump(const std::function<bool()>& until) {
    using K = InputEvent::Kind;
    while (!until()) {
        presentIfChanged();
        const InputEvent ev = nextInput();
        if (!inputOwner_ || ev.kind == K::Wake) {
            routeInput(ev);
        } else if (ev.kind == K::Close || ev.kind == K::Command) {
            // Ends the hold and is left for the message loop, which routes it next.
            pendingInput_.push_front(ev);
            inputOwner_->dismiss();
        } else {
            inputOwner_->onInput(ev);
        }
    }
}

InputOwner* WindowManager::holdInput(InputOwner* owner) {
    InputOwner* previous = inputOwner_;
    inputOwner_ = owner;
    return previous;
}

LRESULT WindowManager::dispatch(const MSG& msg) {
    if (!msg.hwnd) return 0;
    const std::uint32_t handle = toHandle(msg.hwnd);
    if (msg.message == WM_COMMAND)
        TraceEvent(device_.trace(), "command")
            .field("id", static_cast<int>(LOWORD(msg.wParam)))
            .field("hwnd", static_cast<std::int64_t>(handle));
    const Point outer = std::exchange(messagePos_, Point{msg.pt.x, msg.pt.y});
    LRESULT r = send(msg.hwnd, msg.message, msg.wParam, msg.lParam);
    messagePos_ = outer;
    // A window procedure that does not paint must not be asked again and again.
    if (msg.message == WM_PAINT)
        if (Window* w = get(handle)) {
            w->update = Region();
            w->erase = false;
        }
    presentIfChanged();
    return r;
}

void WindowManager::modalLoop(std::uint32_t window, const std::function<bool()>& done) {
    struct Running {
        std::vector<std::uint32_t>& loops;
        explicit Running(std::vector<std::uint32_t>& l, std::uint32_t w) : loops(l) {
            loops.push_back(w);
        }
        ~Running() { loops.pop_back(); }
    } running(modal_, window);
    MSG msg;
    while (!done()) {
        if (!getMessage(msg)) {
            postQuit(static_cast<int>(msg.wParam));
            return;
        }
        dispatch(msg);
    }
}

InputEvent WindowManager::nextInput() {
    if (!pendingInput_.empty()) {
        InputEvent ev = pendingInput_.front();
        pendingInput_.pop_front();
        return ev;
    }
    InputEvent ev;
    if (!inputEnded_ && device_.frontEnd().waitEvent(ev)) return ev;
    inputEnded_ = true;
    if (++closesAfterInput_ > kMaxClosesAfterInput)
        throw std::runtime_error("the program did not end though asked to close " +
                                 std::to_string(kMaxClosesAfterInput) +
                                 " times after its input ended; stopped");
    ev = InputEvent{};
    ev.kind = InputEvent::Kind::Close;
    return ev;
}

}  // namespace kdev
