// The Circles demonstration: one thousand filled discs with random centres, radii and colours.
#include "demos.h"

// Centres keep 60 pixels from every edge and radii stay below 60, so the discs need more than
// 120 pixels each way; on a smaller client area the command only clears.
BOOL CirclesDemoFits(int right, int bottom) {
    return right > 120 && (long long)bottom - g_barHeight > 120;
}

void RunCirclesDemo(HWND window) {
    RECT client = {0, 0, 0, 0};
    if (!GetClientRect(window, &client)) return;
    if (!CirclesDemoFits(client.right, client.bottom)) return;
    for (int i = 0; i < 1000; ++i) {
        int numbers[6];
        for (int k = 0; k < 6; ++k) numbers[k] = rand();
        CirclesDemoDisc(client.right, client.bottom, numbers);
    }
}

void CirclesDemoDisc(int right, int bottom, const int numbers[6]) {
    const int bar = g_barHeight;
    if (!CirclesDemoFits(right, bottom)) return;
    const int a = numbers[0], b = numbers[1], c = numbers[2];
    const int d = numbers[3], e = numbers[4], f = numbers[5];
    const int cy = (int)(bar + b % ((long long)bottom - bar - 120) + 60);
    const ColorRef color = (d & 0xFF) | ((e & 0xFF) << 8) | ((f & 0xFF) << 16);
    const int radius = c % 60;
    const int cx = a % (right - 120) + 60;
    FbFillCircle(cx, cy, radius, color);
}
