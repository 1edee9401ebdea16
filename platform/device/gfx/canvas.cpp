#include "gfx/canvas.h"

namespace kdev {

Canvas::Canvas(Screen& screen, Region clip) : screen_(screen), clip_(std::move(clip)) {
    clip_.intersect(screen.bounds());
}

Canvas::Canvas(Screen& screen) : screen_(screen), clip_(screen.bounds()) {}

void Canvas::fillRect(const Rect& r, std::uint32_t colorref) {
    const std::uint16_t p = screen_.pack(colorref);
    const int hx = screen_.xPitch() / 2, hy = screen_.yPitch() / 2;
    for (const Rect& c : clip_.rects()) {
        Rect i = r.intersect(c);
        if (i.empty()) continue;
        std::uint16_t* row = screen_.at(i.left, i.top);
        for (int y = i.top; y < i.bottom; ++y, row += hy) {
            std::uint16_t* px = row;
            for (int x = i.left; x < i.right; ++x, px += hx) *px = p;
        }
    }
    screen_.touch();
}

void Canvas::frameRect(const Rect& r, std::uint32_t colorref, int t) {
    fillRect({r.left, r.top, r.right, r.top + t}, colorref);
    fillRect({r.left, r.bottom - t, r.right, r.bottom}, colorref);
    fillRect({r.left, r.top + t, r.left + t, r.bottom - t}, colorref);
    fillRect({r.right - t, r.top + t, r.right, r.bottom - t}, colorref);
}

void Canvas::hline(int x0, int x1, int y, std::uint32_t colorref) {
    fillRect({x0, y, x1, y + 1}, colorref);
}

void Canvas::vline(int x, int y0, int y1, std::uint32_t colorref) {
    fillRect({x, y0, x + 1, y1}, colorref);
}

void Canvas::drawImage(const Image& image, int x, int y) {
    const Rect target{x, y, x + image.width, y + image.height};
    for (const Rect& c : clip_.rects()) {
        Rect i = target.intersect(c);
        for (int py = i.top; py < i.bottom; ++py)
            for (int px = i.left; px < i.right; ++px) {
                std::size_t k =
                    static_cast<std::size_t>(py - y) * static_cast<std::size_t>(image.width) +
                    static_cast<std::size_t>(px - x);
                if (image.opaque[k]) screen_.set(px, py, screen_.pack(image.pixels[k]));
            }
    }
    screen_.touch();
}

void Canvas::blend(int x, int y, std::uint32_t colorref, unsigned coverage) {
    if (coverage == 0) return;
    bool inside = false;
    for (const Rect& c : clip_.rects())
        if (c.contains({x, y})) {
            inside = true;
            break;
        }
    if (!inside) return;
    if (coverage >= 255) {
        screen_.set(x, y, screen_.pack(colorref));
        return;
    }
    const std::uint32_t under = screen_.unpack(screen_.get(x, y));
    std::uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        unsigned a = (colorref >> shift) & 0xFF, b = (under >> shift) & 0xFF;
        unsigned v = (a * coverage + b * (255 - coverage) + 127) / 255;
        out |= v << shift;
    }
    screen_.set(x, y, screen_.pack(out));
}

SavedPixels Canvas::save(const Rect& r) const {
    SavedPixels s;
    s.rect = r.intersect(screen_.bounds());
    s.pixels.reserve(static_cast<std::size_t>(std::max(0, s.rect.width())) *
                     static_cast<std::size_t>(std::max(0, s.rect.height())));
    for (int y = s.rect.top; y < s.rect.bottom; ++y)
        for (int x = s.rect.left; x < s.rect.right; ++x) s.pixels.push_back(screen_.get(x, y));
    return s;
}

void Canvas::restore(const SavedPixels& s) {
    std::size_t k = 0;
    for (int y = s.rect.top; y < s.rect.bottom; ++y)
        for (int x = s.rect.left; x < s.rect.right; ++x) screen_.set(x, y, s.pixels[k++]);
    screen_.touch();
}

}  // namespace kdev
