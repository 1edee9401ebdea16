#include "placement.h"

#include <algorithm>

namespace kwin {

int largestZoom(int wanted, int width, int height, const Frame& frame, const Box& usable) {
    int zoom = std::clamp(wanted, 1, kMaxZoom);
    while (zoom > 1 && (width * zoom + frame.left + frame.right > usable.width ||
                        height * zoom + frame.top + frame.bottom > usable.height))
        --zoom;
    return zoom;
}

Box placeWindow(int width, int height, const Frame& frame, const Box& usable, const Point* at) {
    const int w = width + frame.left + frame.right, h = height + frame.top + frame.bottom;
    int x = at ? at->x - frame.left : usable.x + (usable.width - w) / 2;
    int y = at ? at->y - frame.top : usable.y + (usable.height - h) / 2;
    x = std::max(std::min(x, usable.x + usable.width - w), usable.x);
    y = std::max(std::min(y, usable.y + usable.height - h), usable.y);
    return {x, y, w, h};
}

}  // namespace kwin
