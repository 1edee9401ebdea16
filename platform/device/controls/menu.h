// A pop-up menu, tracked modally: drawn over the screen below the button that opens it, it
// holds the input (the window manager's pump hands it the stylus and keys) until an item is
// chosen or the menu is dismissed, then puts back what was under it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/frontend.h"
#include "core/geometry.h"
#include "gfx/canvas.h"
#include "resources/resources.h"
#include "wm/window_manager.h"

namespace kdev {

class Device;

class MenuTracker final : public InputOwner {
public:
    // Opens under `button`, its face from the button's left edge and from row `top` down (the
    // first row below the bar), its frame one pixel outside that; shifted up when it would
    // pass the screen's bottom, and when taller than the screen, filling it and scrolled by
    // the arrow keys and by the stylus on the arrows at its top and bottom. `title` names the
    // menu in the trace; from the keyboard, the first item starts highlighted.
    MenuTracker(Device& device, const Rect& button, int top, std::u16string_view title,
                std::vector<MenuItem> items, bool fromKeyboard);
    MenuTracker(const MenuTracker&) = delete;
    MenuTracker& operator=(const MenuTracker&) = delete;

    // Shows the menu and tracks it to its end: the id of the chosen item, or nullopt when the
    // menu was dismissed. A close or a command from the front end dismisses it and is left for
    // the message loop.
    std::optional<std::uint16_t> run();

    // The centre of the item with this text, for scripts that tap it; an item scrolled out of
    // view is scrolled into it first.
    std::optional<Point> locate(std::u16string_view text);

    void onInput(const InputEvent& ev) override;
    void dismiss() override;

private:
    void onStylusDown(Point p);
    void onStylusMove(Point p);
    void onStylusUp(Point p);
    void onKeyDown(Key key);
    void highlight(int item);
    void choose(int item);
    int itemAt(Point p) const;
    int scrollBandAt(Point p) const;
    void layout();
    void reveal(int item);
    bool canScroll(int direction) const;
    void scroll(int direction);
    void paint();
    void paintArrow(const Rect& band, int direction);

    Device& device_;
    WindowManager& manager_;
    Canvas screen_;
    std::u16string title_;
    std::vector<MenuItem> items_;
    Rect frame_;
    std::vector<Rect> itemRects_;  // one per item, separators included; empty when out of view
    bool scrolls_ = false;         // taller than the screen: only some items show
    int first_ = 0;                // the first item in view
    Rect upBand_, downBand_;       // a scrolled menu's arrows
    int highlight_ = -1;
    int chosen_ = -1;
    bool done_ = false;
    // A release chooses only after the stylus went down or moved in the menu, so the release
    // of the tap that opened it never picks the item that happens to lie under the button.
    bool armed_ = false;
    Point lastStylus_;
};

}  // namespace kdev
