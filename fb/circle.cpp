// FbFillCircle: filled discs by the midpoint circle algorithm (d = 3 - 2r), each step giving
// four horizontal runs of 2x or 2y pixels that start at cx - x or cx - y. A run ends one pixel
// short of cx + x, so discs are one column narrower on the right than on the left.
#include "fbview.h"

// The four runs of one step, in the algorithm's order; parts outside the drawing area are
// skipped.
void FbFillCircleRows(int cx, int cy, int x, int y, Pixel16 pixel) {
    if (g_frameBuffer == NULL) return;
    const FbArea area = FbDrawingArea();
    FbFillRowClipped(area, (long long)cx - x, (long long)cy - y, 2LL * x, pixel);
    FbFillRowClipped(area, (long long)cx - x, (long long)cy + y, 2LL * x, pixel);
    FbFillRowClipped(area, (long long)cx - y, (long long)cy - x, 2LL * y, pixel);
    FbFillRowClipped(area, (long long)cx - y, (long long)cy + x, 2LL * y, pixel);
}

static inline void FillDiscRow(bool inside, const FbArea& area, long long x, long long y,
                               long long count, Pixel16 pixel) {
    if (inside)
        FbFillRow(PixelAddress((int)x, (int)y), (size_t)count, FbStepX(), pixel);
    else
        FbFillRowClipped(area, x, y, count, pixel);
}

// The same pixels as calling FbFillCircleRows for every step, but each row is written once,
// at its widest run. All runs of a row start at cx - w for a length of 2w, so the widest one
// covers the others. Row cy ± v for v up to the last x the loop reaches is widest in runs 3
// and 4 of the step with x = v (half-width y >= v); a row beyond that is widest in runs 1
// and 2 of the last step before y leaves it (half-width x).
void FbFillCircle(int cx, int cy, int radius, ColorRef color) {
    if (g_frameBuffer == NULL || radius < 1) return;  // radius 0: every run is empty
    const Pixel16 pixel = PackColor(color);
    const FbArea area = FbDrawingArea();
    const long long r = radius;

    // Bounding box: columns cx - r to cx + r - 1, rows cy - r to cy + r.
    const bool inside =
        cx - r >= area.left && cx + r <= area.right && cy - r >= area.top && cy + r < area.bottom;
    if (!inside &&
        (cx + r <= area.left || cx - r >= area.right || cy + r < area.top || cy - r >= area.bottom))
        return;

    long long x = 0, y = r, d = 3 - 2 * r;
    while (y >= x) {
        if (d < 0) {
            d += 4 * x + 6;
        } else {
            d += 4 * (x - y) + 10;
            --y;
        }
        ++x;
    }
    const long long lastX = x - 1;

    x = 0;
    y = r;
    d = 3 - 2 * r;
    while (y >= x) {
        FillDiscRow(inside, area, cx - y, cy - x, 2 * y, pixel);
        if (x != 0) FillDiscRow(inside, area, cx - y, cy + x, 2 * y, pixel);
        if (d < 0) {
            d += 4 * x + 6;
        } else {
            if (y > lastX && x != 0) {
                FillDiscRow(inside, area, cx - x, cy - y, 2 * x, pixel);
                FillDiscRow(inside, area, cx - x, cy + y, 2 * x, pixel);
            }
            d += 4 * (x - y) + 10;
            --y;
        }
        ++x;
    }
}
