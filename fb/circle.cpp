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

// A disc wholly inside the drawing area on a layout whose columns are adjacent in memory
// (stepX 1 or -1). mid is the lowest address of the zero-width run at (cx, row cy), so the run
// of 2w pixels from cx - w starts in memory at mid - w on that row; pitch is the row step.
// Four row pointers follow the loop, each moved by the pitch: rows cy - x and cy + x, and
// rows cy - y and cy + y.
static void FillDiscContiguous(Pixel16* mid, ptrdiff_t pitch, long long r, Pixel16 pixel) {
    Pixel16 *nearUp = mid, *nearDown = mid;
    Pixel16 *farUp = mid - r * pitch, *farDown = mid + r * pitch;
    long long x = 0, y = r, d = 3 - 2 * r;
    while (y >= x) {
        FbFillContiguous(nearUp - y, (size_t)(2 * y), pixel);
        if (x != 0) FbFillContiguous(nearDown - y, (size_t)(2 * y), pixel);
        if (d < 0) {
            d += 4 * x + 6;
        } else {
            if (y != x && x != 0) {
                FbFillContiguous(farUp - x, (size_t)(2 * x), pixel);
                FbFillContiguous(farDown - x, (size_t)(2 * x), pixel);
            }
            d += 4 * (x - y) + 10;
            --y;
            farUp += pitch;
            farDown -= pitch;
        }
        ++x;
        nearUp -= pitch;
        nearDown += pitch;
    }
}

// The same pixels as calling FbFillCircleRows for every step, but each row is written once,
// at its widest run. All runs of a row start at cx - w for a length of 2w, so the widest one
// covers the others. Row cy ± v is widest in runs 3 and 4 of the step with x = v (half-width
// y >= v) while the loop reaches x = v; a row beyond the last x is widest in runs 1 and 2 of
// the last step before y leaves it (half-width x). When y steps down from y to y - 1 at x,
// row y lies beyond the last x unless y == x: if the loop goes on, the last x is at most the
// y it ends with, which is below y; if it stops, the last x is this x.
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

    const ptrdiff_t stepX = FbStepX();
    if (inside && (stepX == 1 || stepX == -1)) {
        // Reversed columns: the run from cx - w ends at cx + w - 1, the lowest address.
        FillDiscContiguous(PixelAddress(cx, cy) + (stepX == -1 ? 1 : 0), FbStepY(), r, pixel);
        return;
    }

    long long x = 0, y = r, d = 3 - 2 * r;
    while (y >= x) {
        FillDiscRow(inside, area, cx - y, cy - x, 2 * y, pixel);
        if (x != 0) FillDiscRow(inside, area, cx - y, cy + x, 2 * y, pixel);
        if (d < 0) {
            d += 4 * x + 6;
        } else {
            if (y != x && x != 0) {
                FillDiscRow(inside, area, cx - x, cy - y, 2 * x, pixel);
                FillDiscRow(inside, area, cx - x, cy + y, 2 * x, pixel);
            }
            d += 4 * (x - y) + 10;
            --y;
        }
        ++x;
    }
}
