// The display library on desktop Windows. The screen memory is a 16-bit DIB section laid out
// as the chosen layout says (pitches and all, as GXGetDisplayProperties reports them); GDI
// shows it in the main window's client area, each device pixel as zoom x zoom desktop pixels.
// Window-system drawing never goes into it: the real windows lie above the picture.
#include <gx.h>

#include <cstdint>

#include "desktop.h"
#include "snapshot.h"

namespace {

constexpr int kPadPixels = 24;  // the padded layout's extra pixels at the end of each row

// The pixel formats as channel masks: blue in the top field, red in the bottom one.
struct Masks {
    DWORD red, green, blue;
};
constexpr Masks kMasks565{0x001F, 0x07E0, 0xF800};
constexpr Masks kMasks555{0x001F, 0x03E0, 0x7C00};

// A top-down 16-bit DIB section selected into a memory DC of its own.
struct Dib {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    std::uint8_t* bits = nullptr;
    LONG stride = 0;  // bytes per row: whole 32-bit words, as every DIB row

    bool create(int width, int height, const Masks& masks) {
        struct {
            BITMAPINFOHEADER header;
            DWORD masks[3];
        } info{};
        info.header.biSize = sizeof info.header;
        info.header.biWidth = width;
        info.header.biHeight = -height;  // negative: the first row in memory is the top one
        info.header.biPlanes = 1;
        info.header.biBitCount = 16;
        info.header.biCompression = BI_BITFIELDS;
        info.masks[0] = masks.red;
        info.masks[1] = masks.green;
        info.masks[2] = masks.blue;
        dc = CreateCompatibleDC(nullptr);
        void* memory = nullptr;
        if (dc)
            bitmap = CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS,
                                      &memory, nullptr, 0);
        if (!bitmap) {
            destroy();
            return false;
        }
        previous = SelectObject(dc, bitmap);
        bits = static_cast<std::uint8_t*>(memory);
        stride = (width * 16 + 31) / 32 * 4;
        return true;
    }

    void destroy() {
        if (dc && previous) SelectObject(dc, previous);
        if (bitmap) DeleteObject(bitmap);
        if (dc) DeleteDC(dc);
        *this = Dib{};
    }
};

struct Display {
    bool open = false;
    bool drawing = false;
    Dib memory;                    // the screen memory
    Dib logical;                   // mirrored and rotated layouts: a copy in logical order, for GDI
    std::uint8_t* base = nullptr;  // logical pixel (0, 0)
    LONG xPitch = 0;
    LONG yPitch = 0;
};

Display& display() {
    static Display d;
    return d;
}

bool logicalOrder(kdev::Layout layout) {
    return layout == kdev::Layout::Normal || layout == kdev::Layout::Padded;
}

// Makes the screen memory for the chosen geometry: the rotated layout is a landscape panel
// turned upright, so its rows are the display's columns.
bool openScreenMemory(Display& d) {
    const kdev::Geometry& g = kwin::displayGeometry();
    const Masks& masks = g.format == kdev::PixelFormat::Rgb565 ? kMasks565 : kMasks555;
    const bool rotated = g.layout == kdev::Layout::Rotated;
    const int rowPixels = rotated                            ? g.height
                          : g.layout == kdev::Layout::Padded ? g.width + kPadPixels
                                                             : g.width;
    if (!d.memory.create(rowPixels, rotated ? g.width : g.height, masks)) return false;
    if (!logicalOrder(g.layout) && !d.logical.create(g.width, g.height, masks)) {
        d.memory.destroy();
        return false;
    }
    switch (g.layout) {
        case kdev::Layout::Normal:
        case kdev::Layout::Padded:
            d.xPitch = 2;
            d.yPitch = d.memory.stride;
            d.base = d.memory.bits;
            break;
        case kdev::Layout::Mirrored:
            d.xPitch = -2;
            d.yPitch = d.memory.stride;
            d.base = d.memory.bits + 2 * (g.width - 1);
            break;
        case kdev::Layout::Rotated:
            d.xPitch = d.memory.stride;
            d.yPitch = -2;
            d.base = d.memory.bits + 2 * (g.height - 1);
            break;
    }
    return true;
}

// The mirrored or rotated screen memory into the logical copy, row by row.
void copyInLogicalOrder(const Display& d, const kdev::Geometry& g) {
    for (int y = 0; y < g.height; ++y) {
        const std::uint8_t* from = d.base + static_cast<std::ptrdiff_t>(y) * d.yPitch;
        auto* to = reinterpret_cast<std::uint16_t*>(
            d.logical.bits + static_cast<std::ptrdiff_t>(y) * d.logical.stride);
        for (int x = 0; x < g.width; ++x, from += d.xPitch)
            to[x] = *reinterpret_cast<const std::uint16_t*>(from);
    }
}

}  // namespace

void kwin::presentDisplay() {
    Display& d = display();
    HWND window = mainWindow();
    if (!d.memory.bitmap || !window) return;
    const kdev::Geometry& g = displayGeometry();
    HDC source = d.memory.dc;
    if (!logicalOrder(g.layout)) {
        copyInLogicalOrder(d, g);
        source = d.logical.dc;
    }
    // The command bar, a child window, keeps its own pixels.
    HDC target = GetDCEx(window, nullptr, DCX_CACHE | DCX_CLIPCHILDREN | DCX_CLIPSIBLINGS);
    if (!target) return;
    const int z = zoom();
    const POINT at = pictureOrigin();
    if (at.x != 0 || at.y != 0) {
        // Filling the monitor: black around the picture.
        ExcludeClipRect(target, at.x, at.y, at.x + g.width * z, at.y + g.height * z);
        const RECT all{0, 0, 0x7FFF, 0x7FFF};
        FillRect(target, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        SelectClipRgn(target, nullptr);
    }
    if (z == 1) {
        BitBlt(target, at.x, at.y, g.width, g.height, source, 0, 0, SRCCOPY);
    } else {
        // Whole-number scale with COLORONCOLOR: each pixel repeated, never blended.
        SetStretchBltMode(target, COLORONCOLOR);
        StretchBlt(target, at.x, at.y, g.width * z, g.height * z, source, 0, 0, g.width, g.height,
                   SRCCOPY);
    }
    ReleaseDC(window, target);
}

bool kwin::screenPicture(Picture* picture) {
    const Display& d = display();
    if (!d.memory.bitmap) return false;
    GdiFlush();  // what GDI drew into the memory is there
    const kdev::Geometry& g = displayGeometry();
    const bool is565 = g.format == kdev::PixelFormat::Rgb565;
    // 5 and 6 bits widened to 8 by repeating their top bits, as the device's pictures are.
    auto widen5 = [](unsigned v) { return static_cast<std::uint8_t>(v << 3 | v >> 2); };
    auto widen6 = [](unsigned v) { return static_cast<std::uint8_t>(v << 2 | v >> 4); };
    picture->width = g.width;
    picture->height = g.height;
    picture->bgr.resize(static_cast<std::size_t>(g.width) * static_cast<std::size_t>(g.height) * 3);
    std::uint8_t* out = picture->bgr.data();
    for (int y = 0; y < g.height; ++y) {
        const std::uint8_t* from = d.base + static_cast<std::ptrdiff_t>(y) * d.yPitch;
        for (int x = 0; x < g.width; ++x, from += d.xPitch, out += 3) {
            const unsigned p = *reinterpret_cast<const std::uint16_t*>(from);
            out[0] = widen5(is565 ? p >> 11 & 0x1F : p >> 10 & 0x1F);
            out[1] = is565 ? widen6(p >> 5 & 0x3F) : widen5(p >> 5 & 0x1F);
            out[2] = widen5(p & 0x1F);
        }
    }
    return true;
}

extern "C" {

int GXOpenDisplay(HWND, DWORD) {
    Display& d = display();
    if (!d.memory.bitmap && !openScreenMemory(d)) return 0;
    d.open = true;
    return 1;
}

GXDisplayProperties GXGetDisplayProperties(void) {
    const Display& d = display();
    const kdev::Geometry& g = kwin::displayGeometry();
    GXDisplayProperties p{};
    p.width = static_cast<DWORD>(g.width);
    p.height = static_cast<DWORD>(g.height);
    p.xPitch = d.xPitch;
    p.yPitch = d.yPitch;
    p.bitsPerPixel = 16;
    p.formatFlags = kfDirect | (g.format == kdev::PixelFormat::Rgb565 ? kfDirect565 : kfDirect555);
    return p;
}

void* GXBeginDraw(void) {
    Display& d = display();
    d.drawing = d.open;
    return d.open ? d.base : nullptr;
}

int GXEndDraw(void) {
    Display& d = display();
    const bool was = d.drawing;
    d.drawing = false;
    // What the program drew is now final: show it.
    kwin::presentDisplay();
    return was ? 1 : 0;
}

int GXCloseDisplay(void) {
    Display& d = display();
    const bool was = d.open;
    d.open = false;
    d.drawing = false;
    d.memory.destroy();
    d.logical.destroy();
    d.base = nullptr;
    return was ? 1 : 0;
}

}  // extern "C"
