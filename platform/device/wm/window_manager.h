// The window system: one class, its members defined by concern, one file each:
//   class.cpp         window classes
//   window.cpp        windows: the tree, showing, finding, enabling, destroying
//   foreground.cpp    z-order and the foreground, here and across instances
//   message.cpp       the message queue and the one pump
//   input.cpp         routing of stylus, keys, closes and commands; capture; what is disabled
//   painting.cpp      update regions, paint order, visible regions, presenting what changed
//   default_proc.cpp  default processing
#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "gfx/canvas.h"
#include "core/frontend.h"
#include "core/geometry.h"
#include "instances/publisher.h"

namespace kdev {

class Device;

struct WindowClass {
    std::u16string name;
    UINT style = 0;
    WNDPROC proc = nullptr;
    HINSTANCE instance = nullptr;
    HICON icon = nullptr;
    HBRUSH background = nullptr;
    bool system = false;  // one of the device's own classes (controls, dialogs, message boxes)
    // Holds its parent's menu: an F10 the parent leaves to default processing goes to it.
    bool menuBar = false;
};

// State a built-in control keeps beside its window.
struct ControlData {
    virtual ~ControlData() = default;
};

struct Window {
    std::uint32_t handle = 0;
    WindowClass cls;
    std::u16string title;
    DWORD style = 0;
    DWORD exStyle = 0;
    Rect rect;                 // the whole window, in screen coordinates
    std::uint32_t parent = 0;  // for child windows
    std::uint32_t owner = 0;   // for top-level windows
    std::vector<std::uint32_t> children;
    bool visible = false;
    bool enabled = true;
    bool destroying = false;
    int id = 0;          // a child's control id
    Region update;       // what needs painting, screen coordinates
    bool erase = false;  // the update region needs its background erased
    std::unique_ptr<ControlData> control;

    bool isChild() const { return (style & WS_CHILD) != 0; }
    bool hasCaption() const { return (style & WS_CAPTION) == WS_CAPTION; }
};

constexpr int kCaptionHeight = 20;

// Holds the input ahead of routing: a tracked menu. The pump hands it the stylus and keys; a
// close or a command ends the hold (dismiss) and is left for the message loop.
class InputOwner {
public:
    virtual void onInput(const InputEvent& ev) = 0;
    virtual void dismiss() = 0;

protected:
    ~InputOwner() = default;
};

class WindowManager {
public:
    explicit WindowManager(Device& device);
    ~WindowManager();

    // Classes.
    bool registerClass(const WindowClass& cls);
    const WindowClass* findClass(std::u16string_view name) const;

    // Windows. Handles are even 32-bit values; bit 0 is free for the "owned windows too" flag.
    HWND create(DWORD exStyle, std::u16string_view className, std::u16string_view title,
                DWORD style, int x, int y, int width, int height, HWND parent, int id,
                LPVOID param);
    bool destroy(HWND hwnd);
    Window* get(HWND hwnd);
    Window* get(std::uint32_t handle);
    static HWND toHwnd(std::uint32_t handle) {
        return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(handle));
    }
    static std::uint32_t toHandle(HWND hwnd) {
        return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(hwnd));
    }
    bool show(HWND hwnd, bool visible);
    void update(HWND hwnd);                                           // paints now what is invalid
    Rect clientRect(const Window& w) const;                           // screen coordinates
    std::vector<std::uint32_t> topLevels() const { return zOrder_; }  // bottom to top
    HWND find(std::u16string_view className, std::u16string_view title, bool anyClass,
              bool anyTitle) const;
    bool setForeground(HWND hwnd);
    // A handle standing for a window of another running instance.
    HWND foreignWindow(int pid, std::uint32_t remoteHandle);
    bool enable(HWND hwnd, bool enabled);
    // The program's main window: its first top-level window of a class of its own.
    HWND mainWindow() const;

    // Messages.
    LRESULT send(HWND hwnd, UINT message, WPARAM first, LPARAM second);
    bool post(HWND hwnd, UINT message, WPARAM first, LPARAM second);
    void postQuit(int code);
    // GetMessage: false when the quit message is taken.
    bool getMessage(MSG& msg);
    LRESULT dispatch(const MSG& msg);
    // Where the stylus was, in screen coordinates, when the message being dispatched was posted
    // (its `pt`, as GetMessagePos tells): a stylus message's own second parameter holds the same
    // point in the target's client coordinates.
    Point messagePos() const { return messagePos_; }
    LRESULT defaultProc(HWND hwnd, UINT message, WPARAM first, LPARAM second);

    // Runs a nested message loop for `window` until done() holds or the quit message arrives
    // (which is put back for the outer loop). Used by message boxes and dialogs.
    void modalLoop(std::uint32_t window, const std::function<bool()>& done);

    // The one pump: until `until()` holds, shows the screen if it changed, takes the next input
    // and hands it on: to the input owner while one holds the input, else to routing, which
    // queues messages. getMessage (so the modal loops) and menu tracking all wait here.
    // After the front end has no more input, every wait gives a Close, the way the platform
    // closes a program; a program that goes on asking for input through kMaxClosesAfterInput
    // of them is stopped with an exception that unwinds it, never left to spin.
    static constexpr int kMaxClosesAfterInput = 100;
    void pump(const std::function<bool()>& until);
    // Gives the input to `owner` (null: back to routing); returns the previous owner.
    InputOwner* holdInput(InputOwner* owner);
    InputOwner* inputOwner() const { return inputOwner_; }

    // Whether a command from the front end reaches the main window now: there is one and no
    // dialog or message box has disabled it, so a tap on it would reach it too.
    bool takesCommands() const;

    // Painting.
    void invalidate(Window& w, const Rect& r, bool erase);  // r in screen coordinates
    void invalidateBelow(std::uint32_t handle, const Rect& r);
    Region visibleRegion(const Window& w) const;
    Canvas windowCanvas(const Window& w) const;
    Canvas paintCanvas(const Window& w) const;  // visible part of the update region

    int quitCode() const { return quitCode_; }
    // Whether Shift was held with the key being handled (as GetKeyState(VK_SHIFT) tells).
    bool shiftHeld() const { return shiftHeld_; }

private:
    // Windows. Destroying, in steps: WM_DESTROY to a window, its children after it (deepest
    // first), then forgetting a window and its queued messages.
    void beginDestroy(Window& w);
    void destroyChildren(std::uint32_t handle);
    void forget(std::uint32_t handle);
    std::uint32_t topLevelOf(std::uint32_t handle) const;
    void showIcon(const Window& w);
    // Z-order and the foreground.
    void raiseTop(std::uint32_t handle, bool withOwned);
    void publishWindows();
    // Handles the requests of other instances now (a Wake event).
    void serveRequests();
    // The queue. A queued message, the quit message (false) or a paint; nullopt when there is
    // none.
    std::optional<bool> takeMessage(MSG& msg);
    // The next input event: one put back by the pump, or the front end's.
    InputEvent nextInput();
    // Input.
    void routeInput(const InputEvent& ev);
    std::uint32_t hitTest(Point p) const;
    std::uint32_t hitChild(std::uint32_t handle, Point p) const;
    // The one rule for disabled windows: a window takes input only when it and every parent
    // above it are enabled.
    bool inputEnabled(std::uint32_t handle) const;
    std::uint32_t focusWindow() const;
    // Painting.
    bool nextPaint(MSG& msg);
    // The front end shows the screen, only when it changed since it last did.
    void presentIfChanged();
    // Default processing, message by message.
    LRESULT defaultPaint(Window& w);
    LRESULT defaultErase(Window& w);
    LRESULT defaultSysKeyDown(Window& w, WPARAM key, LPARAM second);

    Device& device_;
    std::map<std::u16string, WindowClass> classes_;
    std::map<std::uint32_t, std::unique_ptr<Window>> windows_;
    std::vector<std::uint32_t> zOrder_;  // top-level windows, bottom to top
    std::uint32_t nextHandle_ = 0x10000;
    std::deque<MSG> queue_;
    bool quitPending_ = false;
    int quitCode_ = 0;
    std::deque<InputEvent> pendingInput_;
    bool inputEnded_ = false;
    int closesAfterInput_ = 0;
    std::vector<std::uint32_t> modal_;  // the windows of the running modal loops, innermost last
    std::uint32_t capture_ = 0;
    Point stylus_;      // where the stylus last was, screen coordinates
    Point messagePos_;  // the `pt` of the message being dispatched
    InputOwner* inputOwner_ = nullptr;
    std::optional<std::uint64_t> presented_;  // the screen's generation last presented
    std::map<std::uint32_t, std::pair<int, std::uint32_t>>
        foreign_;  // handle -> (pid, remote handle)
    std::uint32_t nextForeign_ = 0x40000000;
    WindowPublisher publisher_;
    bool shiftHeld_ = false;
    bool iconShown_ = false;
};

}  // namespace kdev
