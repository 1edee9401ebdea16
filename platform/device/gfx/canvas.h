// Device-side drawing into the screen memory: every primitive goes through the screen's
// pitches and is clipped to the canvas's region.
#pragma once

#include <cstdint>
#include <vector>

#include "core/geometry.h"
#include "core/screen.h"

namespace kdev {

// A decoded icon or bitmap image, top-down, 0x00BBGGRR pixels with a transparency mask.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;  // width*height colours
    std::vector<std::uint8_t> opaque;   // width*height, 1 where the pixel is drawn
};

// Pixels saved from a rectangle of the screen, to be put back later (menus).
struct SavedPixels {
    Rect rect;
    std::vector<std::uint16_t> pixels;
};

class Canvas {
public:
    Canvas(Screen& screen, Region clip);
    // The whole screen.
    explicit Canvas(Screen& screen);

    Screen& screen() const { return screen_; }
    const Region& clip() const { return clip_; }

    void fillRect(const Rect& r, std::uint32_t colorref);
    void frameRect(const Rect& r, std::uint32_t colorref, int thickness = 1);
    void hline(int x0, int x1, int y, std::uint32_t colorref);  // x1 exclusive
    void vline(int x, int y0, int y1, std::uint32_t colorref);  // y1 exclusive
    void drawImage(const Image& image, int x, int y);
    // Blends colorref over the pixel at (x, y) with coverage 0..255, if inside the clip.
    void blend(int x, int y, std::uint32_t colorref, unsigned coverage);

    SavedPixels save(const Rect& r) const;
    void restore(const SavedPixels& saved);

private:
    Screen& screen_;
    Region clip_;
};

}  // namespace kdev
