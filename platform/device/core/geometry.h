// Rectangles and simple regions in screen pixels, right and bottom exclusive.
#pragma once

#include <algorithm>
#include <vector>

namespace kdev {

struct Point {
    int x = 0;
    int y = 0;
};

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool empty() const { return right <= left || bottom <= top; }
    bool contains(Point p) const {
        return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
    }
    Rect intersect(const Rect& o) const {
        return {std::max(left, o.left), std::max(top, o.top), std::min(right, o.right),
                std::min(bottom, o.bottom)};
    }
    Rect unite(const Rect& o) const {
        if (empty()) return o;
        if (o.empty()) return *this;
        return {std::min(left, o.left), std::min(top, o.top), std::max(right, o.right),
                std::max(bottom, o.bottom)};
    }
    Rect offset(int dx, int dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
    Rect inflate(int d) const { return {left - d, top - d, right + d, bottom + d}; }
    bool operator==(const Rect&) const = default;
};

// A set of pixels kept as disjoint rectangles: enough for clipping a window against the
// few windows above it.
class Region {
public:
    Region() = default;
    explicit Region(const Rect& r) {
        if (!r.empty()) rects_.push_back(r);
    }

    const std::vector<Rect>& rects() const { return rects_; }
    bool empty() const { return rects_.empty(); }

    void intersect(const Rect& clip) {
        std::vector<Rect> out;
        for (const Rect& r : rects_) {
            Rect i = r.intersect(clip);
            if (!i.empty()) out.push_back(i);
        }
        rects_ = std::move(out);
    }

    void subtract(const Rect& hole) {
        std::vector<Rect> out;
        for (const Rect& r : rects_) {
            Rect i = r.intersect(hole);
            if (i.empty()) {
                out.push_back(r);
                continue;
            }
            // Up to four pieces: above, below, left and right of the hole.
            if (r.top < i.top) out.push_back({r.left, r.top, r.right, i.top});
            if (i.bottom < r.bottom) out.push_back({r.left, i.bottom, r.right, r.bottom});
            if (r.left < i.left) out.push_back({r.left, i.top, i.left, i.bottom});
            if (i.right < r.right) out.push_back({i.right, i.top, r.right, i.bottom});
        }
        rects_ = std::move(out);
    }

    // Adds r, keeping the rectangles disjoint.
    void unite(const Rect& r) {
        if (r.empty()) return;
        subtract(r);
        rects_.push_back(r);
    }

    Rect bounds() const {
        Rect b;
        for (const Rect& r : rects_) b = b.unite(r);
        return b;
    }

private:
    std::vector<Rect> rects_;
};

}  // namespace kdev
