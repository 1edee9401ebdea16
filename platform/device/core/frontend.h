// The one seam between the device and whatever shows it: the SDL2 window or the headless
// runner. The device core knows nothing else of them.
#pragma once

#include <cstdint>

namespace kdev {

class Screen;
struct Image;

// Device keys, named as the platform's virtual-key codes.
enum class Key : unsigned {
    Return = 0x0D,
    Escape = 0x1B,
    Tab = 0x09,
    Space = 0x20,
    Left = 0x25,
    Up = 0x26,
    Right = 0x27,
    Down = 0x28,
    F10 = 0x79,
};

struct InputEvent {
    enum class Kind {
        StylusDown,  // x, y in device pixels
        StylusMove,
        StylusUp,
        KeyDown,  // key
        Close,    // the host window's close button: closes the main window
        Command,  // posts WM_COMMAND with `command` to the main window
        Wake,     // the wake descriptor became readable (another instance is asking)
    };
    Kind kind = Kind::Wake;
    int x = 0;
    int y = 0;
    Key key = Key::Return;
    bool shift = false;  // Shift was held with the key
    unsigned command = 0;

    // Named constructors: every front end, script player and test builds its events with these.
    static InputEvent stylusDown(int x, int y) { return at(Kind::StylusDown, x, y); }
    static InputEvent stylusMove(int x, int y) { return at(Kind::StylusMove, x, y); }
    static InputEvent stylusUp(int x, int y) { return at(Kind::StylusUp, x, y); }
    static InputEvent keyDown(Key k, bool withShift = false) {
        InputEvent e;
        e.kind = Kind::KeyDown;
        e.key = k;
        e.shift = withShift;
        return e;
    }
    static InputEvent closeRequest() { return of(Kind::Close); }
    static InputEvent postCommand(unsigned id) {
        InputEvent e = of(Kind::Command);
        e.command = id;
        return e;
    }
    static InputEvent wakeUp() { return of(Kind::Wake); }

private:
    static InputEvent of(Kind k) {
        InputEvent e;
        e.kind = k;
        return e;
    }
    static InputEvent at(Kind k, int px, int py) {
        InputEvent e = of(k);
        e.x = px;
        e.y = py;
        return e;
    }
};

class FrontEnd {
public:
    virtual ~FrontEnd() = default;

    // Blocks until the next input event. Returns false when no more input will ever come
    // (a script has ended); the device then closes the main window.
    virtual bool waitEvent(InputEvent& event) = 0;

    // The screen changed: show it. Called when the device waits for input or has dispatched
    // a message, and only when the screen changed since the last call; a front end may
    // coalesce.
    virtual void present(const Screen& screen) = 0;

    // Another instance asked this one to come to the front.
    virtual void raise() = 0;

    // A descriptor that becomes readable when another instance sends a request; waitEvent
    // returns a Wake event when it does. -1 for none.
    virtual void setWakeDescriptor(int fd) = 0;

    // The program's main window has this class icon: a front end with a window of its own
    // shows it as that window's icon. Others have nothing to show it on.
    virtual void setIcon(const Image& icon) { (void)icon; }
};

}  // namespace kdev
