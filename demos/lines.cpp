// The Lines demonstration: two crossing fans of lines, twenty passes in a colour cycle.
#include "demos.h"

void RunLinesDemo(HWND window) {
    RECT client = {0, 0, 0, 0};
    if (!GetClientRect(window, &client)) return;
    LinesDemoDraw(client.right, client.bottom);
}

// The first fan joins every fourth column of the drawing area's top row to row bottom - 2,
// taken in the opposite direction; the second joins column 0 to column right - 2 the same way.
// Every pass draws the same lines; only the colour changes.
void LinesDemoDraw(int right, int bottom) {
    static const ColorRef colors[7] = {0x0080FF, 0x80FF80, 0xFF8080, 0x8080FF,
                                       0xFF8080, 0xFFFF00, 0x000000};
    for (int pass = 0; pass < 20; ++pass) {
        const ColorRef color = colors[pass % 7];
        const int bar = g_barHeight;
        if (right > 0)
            for (int k = 0; k < right; k += 4) FbDrawLine(k, bar, right - k - 2, bottom - 2, color);
        if (bottom - bar > 0)
            for (int k = 0; k < bottom - bar; k += 4)
                FbDrawLine(0, bottom - k - 2, right - 2, bar + k, color);
    }
}
