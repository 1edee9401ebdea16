#include "controls/press.h"

namespace kdev {

void PressTracker::down(const Rect& face, Point p, const std::function<void()>& repaint) {
    if (!face.contains(p)) return;
    held_ = true;
    setPressed(true, repaint);
}

void PressTracker::move(const Rect& face, Point p, const std::function<void()>& repaint) {
    if (held_) setPressed(face.contains(p), repaint);
}

bool PressTracker::up(const Rect& face, Point p, const std::function<void()>& repaint) {
    if (!held_) return false;
    held_ = false;
    setPressed(false, repaint);
    return face.contains(p);
}

void PressTracker::setPressed(bool pressed, const std::function<void()>& repaint) {
    if (pressed_ == pressed) return;
    pressed_ = pressed;
    repaint();
}

}  // namespace kdev
