#include "sdl/placement.h"

#include <algorithm>

namespace khost {

bool fitsIn(const Area& usable, int w, int h, const Frame& f) {
    return w + f.left + f.right <= usable.w && h + f.top + f.bottom <= usable.h;
}

Spot keepInside(const Area& usable, int x, int y, int w, int h, const Frame& f) {
    x = std::max(std::min(x, usable.x + usable.w - f.right - w), usable.x + f.left);
    y = std::max(std::min(y, usable.y + usable.h - f.bottom - h), usable.y + f.top);
    return {x, y};
}

Spot centredIn(const Area& usable, int w, int h, const Frame& f) {
    return keepInside(usable, usable.x + f.left + (usable.w - f.left - f.right - w) / 2,
                      usable.y + f.top + (usable.h - f.top - f.bottom - h) / 2, w, h, f);
}

int largestZoom(const Area& usable, int screenW, int screenH, const Frame& f, int most) {
    int zoom = std::clamp(most, 1, kMaxZoom);
    while (zoom > 1 && !fitsIn(usable, screenW * zoom, screenH * zoom, f)) --zoom;
    return zoom;
}

Spot firstPosition(const Area& usable, const std::optional<RememberedPlace>& remembered, int zoom,
                   int w, int h, const Frame& f) {
    if (remembered && remembered->zoom == zoom) {
        const Spot kept = keepInside(usable, remembered->at.x, remembered->at.y, w, h, f);
        if (kept == remembered->at) return kept;
    }
    return centredIn(usable, w, h, f);
}

std::string tooLargeNotice(const Area& usable, int screenW, int screenH, const Frame& f) {
    if (fitsIn(usable, screenW, screenH, f)) return {};
    return "the " + std::to_string(screenW) + "x" + std::to_string(screenH) +
           " display does not fit the desktop (" + std::to_string(usable.w) + "x" +
           std::to_string(usable.h) +
           " usable) even at zoom 1; the window shows its top-left part, the command bar in "
           "view";
}

Spot minimumSize(const Area& usable, int screenW, int screenH, const Frame& f) {
    return {std::clamp(usable.w - f.left - f.right, 1, screenW),
            std::clamp(usable.h - f.top - f.bottom, 1, screenH)};
}

}  // namespace khost
