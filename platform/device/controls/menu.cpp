#include "controls/menu.h"

#include <algorithm>

#include "controls/look.h"
#include "gfx/text.h"

namespace kdev {

namespace {

constexpr int kMenuItemHeight = 20;
constexpr int kMenuSeparatorHeight = 7;

}  // namespace

PopupLayout layoutPopup(const Screen& screen, const Rect& button,
                        const std::vector<MenuItem>& items) {
    const Font& font = Font::ui();
    int width = button.width();
    int height = 4;
    for (const MenuItem& item : items) {
        width = std::max(width, font.measure(item.text) + 32);
        height += item.separator ? kMenuSeparatorHeight : kMenuItemHeight;
    }
    width = std::min(width, screen.width());
    int x = std::min(button.left, screen.width() - width);
    int y = button.bottom + 3;
    if (y + height > screen.height()) y = std::max(0, screen.height() - height);
    x = std::max(0, x);
    PopupLayout layout;
    layout.frame = {x, y, x + width, y + height};
    int top = y + 2;
    for (const MenuItem& item : items) {
        const int h = item.separator ? kMenuSeparatorHeight : kMenuItemHeight;
        layout.items.push_back({x + 2, top, x + width - 2, top + h});
        top += h;
    }
    return layout;
}

void paintPopup(Canvas& canvas, const PopupLayout& layout, const std::vector<MenuItem>& items,
                int highlight) {
    const Font& font = Font::ui();
    canvas.fillRect(layout.frame, colors::kWhite);
    canvas.frameRect(layout.frame, colors::kBlack);
    for (std::size_t i = 0; i < items.size(); ++i) {
        const Rect& r = layout.items[i];
        if (items[i].separator) {
            canvas.hline(r.left + 2, r.right - 2, r.top + r.height() / 2, colors::kShadow);
            continue;
        }
        const bool hot = static_cast<int>(i) == highlight;
        if (hot) canvas.fillRect(r, colors::kHighlight);
        Region clip = canvas.clip();
        clip.intersect(r);
        Canvas itemCanvas(canvas.screen(), clip);
        font.draw(itemCanvas, r.left + 14, r.top + (r.height() - font.lineHeight()) / 2,
                  items[i].text, hot ? colors::kWhite : colors::kBlack);
    }
}

int itemAt(const PopupLayout& layout, const std::vector<MenuItem>& items, Point p) {
    for (std::size_t i = 0; i < items.size(); ++i)
        if (!items[i].separator && layout.items[i].contains(p)) return static_cast<int>(i);
    return -1;
}

int stepSelectable(const std::vector<MenuItem>& items, int from, int direction) {
    const int n = static_cast<int>(items.size());
    for (int k = 1; k <= n; ++k) {
        int i = ((from < 0 ? (direction > 0 ? -1 : 0) : from) + direction * k) % n;
        if (i < 0) i += n;
        if (!items[static_cast<std::size_t>(i)].separator) return i;
    }
    return -1;
}

}  // namespace kdev
