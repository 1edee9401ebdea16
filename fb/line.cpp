// FbDrawLine: integer line of the Bresenham family.
#include "fbview.h"

// The plain loop, for a line wholly inside the drawing area: count pixels from p, each step
// straight along the major axis or diagonal. Two pixels per turn of the loop.
static void DrawLinePixels(Pixel16* p, ptrdiff_t count, ptrdiff_t e, ptrdiff_t raise,
                           ptrdiff_t lower, ptrdiff_t straight, ptrdiff_t diagonal, Pixel16 pixel) {
    if (count & 1) {
        e += raise;
        *p = pixel;
        p += e > 0 ? diagonal : straight;
        e -= e > 0 ? lower : 0;
    }
    for (count >>= 1; count != 0; --count) {
        e += raise;
        *p = pixel;
        p += e > 0 ? diagonal : straight;
        e -= e > 0 ? lower : 0;
        e += raise;
        *p = pixel;
        p += e > 0 ? diagonal : straight;
        e -= e > 0 ? lower : 0;
    }
}

// Bresenham with the error term raised before it is tested, on every pixel including the
// first: minor steps come one pixel early, so the minor coordinate of the last pixel is one
// past the far end exactly when the minor distance lies strictly between half the major
// distance and the major distance. The major coordinate stops at the far end; max(ax, ay) + 1
// pixels. Pixels outside the drawing area are skipped.
void FbDrawLine(int x1, int y1, int x2, int y2, ColorRef color) {
    if (g_frameBuffer == NULL) return;
    const Pixel16 pixel = PackColor(color);

    const long long dx = (long long)x2 - x1, dy = (long long)y2 - y1;
    const int sx = dx >= 0 ? 1 : -1, sy = dy >= 0 ? 1 : -1;
    const long long ax = dx >= 0 ? dx : -dx, ay = dy >= 0 ? dy : -dy;
    const bool xMajor = ax >= ay;

    // Major and minor axis: distances, coordinate steps and pixel steps.
    const long long major = xMajor ? ax : ay, minor = xMajor ? ay : ax;
    const ptrdiff_t majorStep = xMajor ? sx * FbStepX() : sy * FbStepY();
    const ptrdiff_t minorStep = xMajor ? sy * FbStepY() : sx * FbStepX();

    // The last pixel; the line is monotone in both axes, so it lies in the area when both
    // end pixels do.
    const bool overshoot = 2 * minor > major && minor < major;
    const long long lastX = x2 + (!xMajor && overshoot ? sx : 0);
    const long long lastY = y2 + (xMajor && overshoot ? sy : 0);
    const FbArea area = FbDrawingArea();

    long long e = 2 * minor - major;
    const long long raise = 2 * minor, lower = 2 * major;

    if (FbInArea(area, x1, y1) && FbInArea(area, lastX, lastY)) {
        DrawLinePixels(PixelAddress(x1, y1), (ptrdiff_t)major + 1, (ptrdiff_t)e, (ptrdiff_t)raise,
                       (ptrdiff_t)lower, majorStep, majorStep + minorStep, pixel);
        return;
    }

    // Some pixels fall outside: follow the coordinates and the pixel offset from the base
    // (an integer, since the position may lie outside the frame buffer), write only inside.
    // A monotone line that has left the rectangle never comes back into it.
    long long m = xMajor ? x1 : y1, n = xMajor ? y1 : x1;  // major and minor coordinate
    const long long majorLow = xMajor ? area.left : area.top;
    const long long majorHigh = xMajor ? area.right : area.bottom;
    const long long minorLow = xMajor ? area.top : area.left;
    const long long minorHigh = xMajor ? area.bottom : area.right;
    const int majorSign = xMajor ? sx : sy, minorSign = xMajor ? sy : sx;
    long long offset = (long long)x1 * FbStepX() + (long long)y1 * FbStepY();
    bool entered = false;
    for (long long count = major + 1; count != 0; --count) {
        e += raise;
        if (m >= majorLow && m < majorHigh && n >= minorLow && n < minorHigh) {
            g_frameBuffer[(ptrdiff_t)offset] = pixel;
            entered = true;
        } else if (entered) {
            return;
        }
        m += majorSign;
        offset += majorStep;
        if (e > 0) {
            n += minorSign;
            offset += minorStep;
            e -= lower;
        }
    }
}
