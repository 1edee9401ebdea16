// The push-button behaviour the device's buttons share: the push button, a dialog's caption OK,
// the message box's OK and the command bar's close box. Down on the face holds it; it looks
// pressed while the stylus is inside; it acts only when the stylus comes up inside.
#pragma once

#include <functional>

#include "core/geometry.h"

namespace kdev {

class PressTracker {
public:
    // Each calls `repaint` when the pressed look changes. down() starts a hold only inside the
    // face; up() ends the hold and tells whether the button acts.
    void down(const Rect& face, Point p, const std::function<void()>& repaint);
    void move(const Rect& face, Point p, const std::function<void()>& repaint);
    bool up(const Rect& face, Point p, const std::function<void()>& repaint);

    bool held() const { return held_; }
    bool pressed() const { return pressed_; }

private:
    void setPressed(bool pressed, const std::function<void()>& repaint);

    bool held_ = false;     // the stylus went down on the face and is still down
    bool pressed_ = false;  // ...and is inside it
};

}  // namespace kdev
