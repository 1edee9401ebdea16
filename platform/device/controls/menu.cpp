#include "controls/menu.h"

#include <algorithm>

#include "controls/look.h"
#include "core/device.h"
#include "core/trace.h"
#include "gfx/text.h"
#include "wm/window_manager.h"

namespace kdev {

namespace {

constexpr int kMenuItemHeight = 20;
constexpr int kMenuSeparatorHeight = 7;
// A menu taller than the screen scrolls: a band with an arrow at its top and bottom.
constexpr int kScrollBandHeight = 10;

// The next item that is no separator from `from` (-1: from the start), wrapping around;
// -1 when every item is one.
int stepSelectable(const std::vector<MenuItem>& items, int from, int direction) {
    const int n = static_cast<int>(items.size());
    for (int k = 1; k <= n; ++k) {
        int i = ((from < 0 ? (direction > 0 ? -1 : 0) : from) + direction * k) % n;
        if (i < 0) i += n;
        if (!items[static_cast<std::size_t>(i)].separator) return i;
    }
    return -1;
}

}  // namespace

MenuTracker::MenuTracker(Device& device, const Rect& button, int top, std::u16string_view title,
                         std::vector<MenuItem> items, bool fromKeyboard)
    : device_(device),
      manager_(device.windows()),
      screen_(device.screen()),
      title_(title),
      items_(std::move(items)),
      lastStylus_{button.left + button.width() / 2, button.top + button.height() / 2} {
    // Below the button, as wide as its widest item, kept on the screen. The frame lies one
    // pixel outside the face: its top edge on the bar's bottom line, its left edge left of the
    // button, so the face lines up with the highlighted button and touches the bar.
    const Screen& screen = device.screen();
    const Font& font = Font::ui();
    int width = button.width() + 2;
    int height = 4;
    for (const MenuItem& item : items_) {
        width = std::max(width, font.measure(item.text) + 32);
        height += item.separator ? kMenuSeparatorHeight : kMenuItemHeight;
    }
    width = std::min(width, screen.width());
    int x = std::min(button.left - 1, screen.width() - width);
    int y = top - 1;
    // Too tall for the room below the bar: shifted up; taller than the screen: the whole
    // screen, scrolled.
    if (y + height > screen.height()) y = std::max(0, screen.height() - height);
    x = std::max(0, x);
    if (height > screen.height()) {
        height = screen.height();
        scrolls_ = true;
        upBand_ = {x + 2, y + 2, x + width - 2, y + 2 + kScrollBandHeight};
        downBand_ = {x + 2, y + height - 2 - kScrollBandHeight, x + width - 2, y + height - 2};
    }
    frame_ = {x, y, x + width, y + height};
    if (fromKeyboard) highlight_ = stepSelectable(items_, -1, 1);
    if (highlight_ >= 0) reveal(highlight_);
    layout();
}

// Each item's rectangle; in a scrolled menu, from first_ down as far as the bottom band, the
// items above and below an empty rectangle.
void MenuTracker::layout() {
    itemRects_.clear();
    int itemTop = scrolls_ ? upBand_.bottom : frame_.top + 2;
    const int bottom = scrolls_ ? downBand_.top : frame_.bottom - 2;
    for (std::size_t i = 0; i < items_.size(); ++i) {
        const int h = items_[i].separator ? kMenuSeparatorHeight : kMenuItemHeight;
        if (static_cast<int>(i) < first_ || itemTop + h > bottom) {
            itemRects_.push_back({});
            continue;
        }
        itemRects_.push_back({frame_.left + 2, itemTop, frame_.right - 2, itemTop + h});
        itemTop += h;
    }
}

// Scrolls so that the item shows whole: up to it, or down until it fits.
void MenuTracker::reveal(int item) {
    if (!scrolls_ || item < 0) return;
    if (item < first_) first_ = item;
    layout();
    while (first_ < item && itemRects_[static_cast<std::size_t>(item)].empty()) {
        ++first_;
        layout();
    }
}

bool MenuTracker::canScroll(int direction) const {
    if (!scrolls_) return false;
    if (direction < 0) return first_ > 0;
    return !items_.empty() && itemRects_.back().empty();
}

void MenuTracker::scroll(int direction) {
    if (!canScroll(direction)) return;
    first_ += direction;
    layout();
    highlight_ = -1;
    paint();
}

std::optional<std::uint16_t> MenuTracker::run() {
    const SavedPixels under = screen_.save(frame_);
    paint();
    TraceEvent(device_.trace(), "menu_opened").field("menu", title_);
    {
        // The menu holds the input while it is open; the window manager's pump feeds it.
        struct Hold {
            WindowManager& manager;
            InputOwner* previous;
            ~Hold() { manager.holdInput(previous); }
        } hold{manager_, manager_.holdInput(this)};
        manager_.pump([this] { return done_; });
    }
    screen_.restore(under);
    const std::uint16_t id = chosen_ >= 0 ? items_[static_cast<std::size_t>(chosen_)].id : 0;
    TraceEvent(device_.trace(), "menu_closed").field("chosen", static_cast<int>(id));
    if (chosen_ < 0) return std::nullopt;
    return id;
}

std::optional<Point> MenuTracker::locate(std::u16string_view text) {
    for (std::size_t i = 0; i < items_.size(); ++i)
        if (!items_[i].separator && items_[i].text == text) {
            // Scrolled into view first, as a user would before tapping it.
            if (itemRects_[i].empty()) {
                reveal(static_cast<int>(i));
                paint();
            }
            const Rect& r = itemRects_[i];
            if (r.empty()) return std::nullopt;  // a screen too small to show it at all
            return Point{r.left + r.width() / 2, r.top + r.height() / 2};
        }
    return std::nullopt;
}

void MenuTracker::onInput(const InputEvent& ev) {
    const Point p{ev.x, ev.y};
    switch (ev.kind) {
        case InputEvent::Kind::StylusDown:
            onStylusDown(p);
            break;
        case InputEvent::Kind::StylusMove:
            onStylusMove(p);
            break;
        case InputEvent::Kind::StylusUp:
            onStylusUp(p);
            break;
        case InputEvent::Kind::KeyDown:
            onKeyDown(ev.key);
            break;
        default:  // the pump keeps wakes, closes and commands
            break;
    }
}

void MenuTracker::dismiss() { done_ = true; }

// A tap outside closes the menu and is used up; inside, it arms the menu and highlights.
void MenuTracker::onStylusDown(Point p) {
    lastStylus_ = p;
    if (!frame_.contains(p)) {
        done_ = true;
        return;
    }
    armed_ = true;
    if (scrollBandAt(p)) {
        scroll(scrollBandAt(p));
        return;
    }
    highlight(itemAt(p));
}

// Onto a scroll band, the menu moves one item that way.
void MenuTracker::onStylusMove(Point p) {
    const Point last = lastStylus_;
    lastStylus_ = p;
    if (!frame_.contains(p)) return;
    if (!frame_.contains(last)) armed_ = true;
    if (const int direction = scrollBandAt(p)) {
        if (scrollBandAt(last) != direction) scroll(direction);
        return;
    }
    highlight(itemAt(p));
}

void MenuTracker::onStylusUp(Point p) {
    const int item = armed_ && frame_.contains(p) ? itemAt(p) : -1;
    if (item >= 0) choose(item);
}

void MenuTracker::onKeyDown(Key key) {
    switch (key) {
        case Key::Up:
            highlight(stepSelectable(items_, highlight_, -1));
            break;
        case Key::Down:
            highlight(stepSelectable(items_, highlight_, 1));
            break;
        case Key::Return:
            if (highlight_ >= 0) choose(highlight_);
            break;
        case Key::Escape:
        case Key::F10:
            done_ = true;
            break;
        default:
            break;
    }
}

void MenuTracker::highlight(int item) {
    if (item == highlight_) return;
    highlight_ = item;
    reveal(item);
    paint();
}

void MenuTracker::choose(int item) {
    chosen_ = item;
    done_ = true;
}

// -1 on the band that scrolls up, 1 on the one that scrolls down, else 0.
int MenuTracker::scrollBandAt(Point p) const {
    if (!scrolls_) return 0;
    if (upBand_.contains(p)) return -1;
    return downBand_.contains(p) ? 1 : 0;
}

// The item under p that is no separator, or -1.
int MenuTracker::itemAt(Point p) const {
    for (std::size_t i = 0; i < items_.size(); ++i)
        if (!items_[i].separator && itemRects_[i].contains(p)) return static_cast<int>(i);
    return -1;
}

void MenuTracker::paint() {
    const Font& font = Font::ui();
    screen_.fillRect(frame_, colors::kWhite);
    screen_.frameRect(frame_, colors::kBlack);
    if (scrolls_) {
        paintArrow(upBand_, -1);
        paintArrow(downBand_, 1);
    }
    for (std::size_t i = 0; i < items_.size(); ++i) {
        const Rect& r = itemRects_[i];
        if (r.empty()) continue;
        if (items_[i].separator) {
            screen_.hline(r.left + 2, r.right - 2, r.top + r.height() / 2, colors::kShadow);
            continue;
        }
        const bool hot = static_cast<int>(i) == highlight_;
        if (hot) screen_.fillRect(r, colors::kHighlight);
        Region clip = screen_.clip();
        clip.intersect(r);
        Canvas itemCanvas(screen_.screen(), clip);
        font.draw(itemCanvas, r.left + 14, r.top + (r.height() - font.lineHeight()) / 2,
                  items_[i].text, hot ? colors::kWhite : colors::kBlack);
    }
}

// A small triangle in the middle of a scroll band, pointing the way it scrolls; grey when the
// menu cannot go further that way.
void MenuTracker::paintArrow(const Rect& band, int direction) {
    const std::uint32_t color = canScroll(direction) ? colors::kBlack : colors::kShadow;
    const int cx = band.left + band.width() / 2;
    const int rows = std::min(4, band.height());
    const int top = band.top + (band.height() - rows) / 2;
    for (int k = 0; k < rows; ++k) {
        const int half = direction < 0 ? k : rows - 1 - k;
        screen_.hline(cx - half, cx + half + 1, top + k, color);
    }
}

}  // namespace kdev
