// The frame-buffer view: its state, pixel addressing, colour packing and clearing of the
// drawing area.
#include "fbview.h"

Pixel16* g_frameBuffer = NULL;        // frame-buffer base from GXBeginDraw, or null
GXDisplayProperties g_display;        // copy of the display description
int g_barHeight = COMMANDBAR_HEIGHT;  // command bar height; drawing starts below it

void FbAttach(Pixel16* base, GXDisplayProperties display, int barTop) {
    g_frameBuffer = base;
    g_display = display;
    g_barHeight = barTop;
}

void FbDetach(void) {
    GXDisplayProperties none = {0, 0, 0, 0, 0, 0};
    FbAttach(NULL, none, COMMANDBAR_HEIGHT);
}

Pixel16* PixelAddress(int x, int y) {
    if (g_frameBuffer == NULL) return NULL;
    return g_frameBuffer + (ptrdiff_t)x * FbStepX() + (ptrdiff_t)y * FbStepY();
}

// Top bits of each channel, blue in the top field: 5-6-5, or 5-5-5 with bit 15 clear.
Pixel16 PackColor(ColorRef color) {
    if (g_display.formatFlags & kfDirect565)
        return (Pixel16)(((color >> 8) & 0xF800) | ((color >> 5) & 0x7E0) | ((color >> 3) & 0x1F));
    return (Pixel16)(((color >> 9) & 0x7C00) | ((color >> 6) & 0x3E0) | ((color >> 3) & 0x1F));
}

void FbFillRowClipped(const FbArea& area, long long x, long long y, long long count,
                      Pixel16 pixel) {
    if (count <= 0 || y < area.top || y >= area.bottom) return;
    long long left = x > area.left ? x : area.left;
    long long right = x + count < area.right ? x + count : area.right;
    if (left >= right) return;
    FbFillRow(PixelAddress((int)left, (int)y), (size_t)(right - left), FbStepX(), pixel);
}

void FbClearDrawingArea(HWND window) {
    RECT client = {0, 0, 0, 0};
    if (!GetClientRect(window, &client)) return;
    FbClearClientRect(&client);
}

// Zeroes the client rectangle's rows below the bar, kept to the drawing area. Whichever axis
// has the smaller step is walked in the inner loop, so rotated layouts still sweep memory in
// order; adjacent pixels are cleared as blocks, and a normal layout's full rows as one block.
void FbClearClientRect(const RECT* client) {
    if (g_frameBuffer == NULL || client == NULL) return;
    const FbArea area = FbDrawingArea();
    long long left = client->left, right = client->right;
    long long top = (long long)client->top + g_barHeight, bottom = client->bottom;
    if (left < area.left) left = area.left;
    if (right > area.right) right = area.right;
    if (top < area.top) top = area.top;
    if (bottom > area.bottom) bottom = area.bottom;
    if (left >= right || top >= bottom) return;

    size_t columns = (size_t)(right - left), rows = (size_t)(bottom - top);
    Pixel16* start = PixelAddress((int)left, (int)top);
    ptrdiff_t inner = FbStepX(), outer = FbStepY();
    if ((outer < 0 ? -outer : outer) < (inner < 0 ? -inner : inner)) {
        size_t swap = columns;
        columns = rows;
        rows = swap;
        inner = FbStepY();
        outer = FbStepX();
    }

    if (inner == 1 || inner == -1) {
        if (inner == -1) start -= columns - 1;
        if (outer == (ptrdiff_t)columns) {
            memset(start, 0, rows * columns * sizeof(Pixel16));
        } else if (outer == -(ptrdiff_t)columns) {
            memset(start - (rows - 1) * columns, 0, rows * columns * sizeof(Pixel16));
        } else {
            for (; rows != 0; --rows, start += outer) memset(start, 0, columns * sizeof(Pixel16));
        }
        return;
    }
    for (; rows != 0; --rows, start += outer) FbFillStepped(start, columns, inner, 0);
}
