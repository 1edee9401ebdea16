// Pop-up menus: their layout below the button that opens them, and their painting.
#pragma once

#include <vector>

#include "core/geometry.h"
#include "core/screen.h"
#include "gfx/canvas.h"
#include "resources/resources.h"

namespace kdev {

struct PopupLayout {
    Rect frame;
    std::vector<Rect> items;  // one per item, separators included
};

PopupLayout layoutPopup(const Screen& screen, const Rect& button,
                        const std::vector<MenuItem>& items);
void paintPopup(Canvas& canvas, const PopupLayout& layout, const std::vector<MenuItem>& items,
                int highlight);
int itemAt(const PopupLayout& layout, const std::vector<MenuItem>& items, Point p);
int stepSelectable(const std::vector<MenuItem>& items, int from, int direction);

}  // namespace kdev
