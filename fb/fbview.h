// Shared by the primitives in this folder: the drawing area, the halved pitches and the
// run fills. Nothing outside fb/ needs these.
#pragma once

#include <climits>
#include <cstddef>
#include <cstring>

#include "fb.h"

// The rectangle every primitive keeps to: columns 0..width-1 and rows g_barHeight..height-1
// of the display (the main window covers the display from (0, 0)). Right and bottom exclusive.
struct FbArea {
    long long left;
    long long top;
    long long right;
    long long bottom;
};

inline FbArea FbDrawingArea() {
    FbArea area;
    area.left = 0;
    area.top = g_barHeight > 0 ? g_barHeight : 0;
    area.right = g_display.width < INT_MAX ? g_display.width : INT_MAX;
    area.bottom = g_display.height < INT_MAX ? g_display.height : INT_MAX;
    return area;
}

inline bool FbInArea(const FbArea& area, long long x, long long y) {
    return x >= area.left && x < area.right && y >= area.top && y < area.bottom;
}

// Halved pitches, truncated toward zero: the step in pixels to the next column and row.
inline ptrdiff_t FbStepX() { return g_display.xPitch / 2; }
inline ptrdiff_t FbStepY() { return g_display.yPitch / 2; }

// Eight pixels from p: a fixed count the compiler turns into one 16-byte store.
inline void FbFill8(Pixel16* p, Pixel16 pixel) {
    for (int i = 0; i < 8; ++i) p[i] = pixel;
}

// count pixels from p upward in memory (xPitch == 2). Stores of 4, 8 or 16 bytes; the last
// store of a run may overlap the one before it, which writes the same value twice and no
// pixel outside the run.
inline void FbFillContiguous(Pixel16* p, size_t count, Pixel16 pixel) {
    if (count >= 8) {
        Pixel16* last = p + count - 8;
        for (; p + 8 < last; p += 16) {
            FbFill8(p, pixel);
            FbFill8(p + 8, pixel);
        }
        if (p < last) FbFill8(p, pixel);
        FbFill8(last, pixel);
    } else if (count >= 4) {
        for (int i = 0; i < 4; ++i) p[i] = pixel;
        for (int i = 0; i < 4; ++i) p[count - 4 + i] = pixel;
    } else if (count >= 2) {
        p[0] = p[1] = pixel;
        p[count - 2] = p[count - 1] = pixel;
    } else if (count == 1) {
        *p = pixel;
    }
}

// count pixels from source to p, both upward in memory and not overlapping; inline block
// moves, the last one overlapping the one before it, beat a library call per short row.
inline void FbCopyContiguous(Pixel16* p, const Pixel16* source, size_t count) {
    if (count >= 16) {
        size_t i = 0;
        for (; i + 16 < count; i += 16) memcpy(p + i, source + i, 32);
        memcpy(p + count - 16, source + count - 16, 32);
    } else if (count >= 8) {
        memcpy(p, source, 16);
        memcpy(p + count - 8, source + count - 8, 16);
    } else if (count >= 4) {
        memcpy(p, source, 8);
        memcpy(p + count - 4, source + count - 4, 8);
    } else if (count >= 2) {
        memcpy(p, source, 4);
        memcpy(p + count - 2, source + count - 2, 4);
    } else if (count == 1) {
        *p = *source;
    }
}

// count pixels from p, stepping step pixels between them (any layout).
inline void FbFillStepped(Pixel16* p, size_t count, ptrdiff_t step, Pixel16 pixel) {
    for (; count != 0; --count) {
        *p = pixel;
        p += step;
    }
}

// A horizontal run of count pixels starting at p, the leftmost pixel: one block when columns
// are adjacent in memory (xPitch 2 or -2), stepped otherwise.
inline void FbFillRow(Pixel16* p, size_t count, ptrdiff_t stepX, Pixel16 pixel) {
    if (stepX == 1)
        FbFillContiguous(p, count, pixel);
    else if (stepX == -1 && count != 0)
        FbFillContiguous(p - (count - 1), count, pixel);
    else
        FbFillStepped(p, count, stepX, pixel);
}

// The part of the run of count pixels from (x, y) rightward that lies in the area; nothing
// for count <= 0.
void FbFillRowClipped(const FbArea& area, long long x, long long y, long long count, Pixel16 pixel);
