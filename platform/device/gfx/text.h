// Text for the window system: the device's one typeface (linked into the executable, so no
// font file is needed at run time) rendered with FreeType, antialiased, into a Canvas.
#pragma once

#include <cstdint>
#include <string_view>

#include "gfx/canvas.h"
#include "core/geometry.h"

namespace kdev {

enum class TextAlign { Left, Center, Right };

class Font {
public:
    // The face at a pixel size (the height of an em). Fonts are cached; references stay valid
    // for the life of the process.
    static const Font& atPixels(int pixelSize);
    // The user-interface font: command bar, menus, message boxes, captions.
    static const Font& ui();
    // A dialog font given in points, as a dialog template names it (96 dots per inch).
    static const Font& dialog(int points);

    int pixelSize() const { return pixelSize_; }
    int ascent() const { return ascent_; }                      // baseline below the line box's top
    int lineHeight() const { return lineHeight_; }              // distance between baselines
    int averageCharWidth() const { return averageCharWidth_; }  // for dialog units

    // Advance width of one line of text, in pixels.
    int measure(std::u16string_view text) const;
    // One line, the top of its line box at y; clipped to the canvas.
    void draw(Canvas& canvas, int x, int y, std::u16string_view text, std::uint32_t colorref) const;
    // Text broken into lines at '\n' and, to fit rect's width, between words; each line
    // aligned in rect; lines that fall below rect are dropped. Returns the height used.
    int drawWrapped(Canvas& canvas, const Rect& rect, std::u16string_view text, TextAlign align,
                    std::uint32_t colorref) const;

    struct Impl;

private:
    explicit Font(int pixelSize);
    int pixelSize_ = 0;
    int ascent_ = 0;
    int lineHeight_ = 0;
    int averageCharWidth_ = 0;
    Impl* impl_ = nullptr;
};

}  // namespace kdev
