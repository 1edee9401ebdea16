#include "gfx/text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "gfx/canvas.h"
#include "core/screen.h"

namespace kdev {
namespace {

constexpr std::uint32_t kInk = 0xFFFFFF;
constexpr std::uint32_t kPaper = 0x402010;  // not black, so blending over it shows

std::unique_ptr<Screen> makeScreen(int w, int h, PixelFormat format = PixelFormat::Rgb565,
                                   Layout layout = Layout::Normal) {
    std::string error;
    auto screen = Screen::create(Geometry{w, h, format, layout}, &error);
    EXPECT_TRUE(screen) << error;
    Canvas(*screen).fillRect(screen->bounds(), kPaper);
    return screen;
}

// Pixels that differ from the paper, as a box (empty when there are none).
Rect inkBounds(const Screen& s) {
    const std::uint16_t paper = s.pack(kPaper);
    Rect box;
    for (int y = 0; y < s.height(); ++y)
        for (int x = 0; x < s.width(); ++x)
            if (s.get(x, y) != paper) box = box.unite({x, y, x + 1, y + 1});
    return box;
}

// Where the red channel differs from the paper's: red has 5 bits in both pixel formats, so
// the same coverage gives the same mask on either.
std::vector<bool> inkMask(const Screen& s) {
    const std::uint32_t paperRed = s.unpack(s.pack(kPaper)) & 0xFF;
    std::vector<bool> mask;
    for (int y = 0; y < s.height(); ++y)
        for (int x = 0; x < s.width(); ++x)
            mask.push_back((s.unpack(s.get(x, y)) & 0xFF) != paperRed);
    return mask;
}

TEST(FontTest, MetricsAreSaneAtEverySize) {
    struct Case {
        const Font& font;
        int pixels;
    };
    const Case cases[] = {{Font::ui(), 12},       {Font::dialog(8), 11},  {Font::dialog(9), 12},
                          {Font::dialog(12), 16}, {Font::atPixels(8), 8}, {Font::atPixels(24), 24},
                          {Font::dialog(1), 8},   {Font::dialog(0), 8},   {Font::dialog(-7), 8}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pixels);
        EXPECT_EQ(c.font.pixelSize(), c.pixels);
        EXPECT_GT(c.font.ascent(), 0);
        EXPECT_LT(c.font.ascent(), c.font.lineHeight());
        EXPECT_GE(c.font.lineHeight(), c.font.pixelSize());
        EXPECT_LE(c.font.lineHeight(), c.font.pixelSize() * 3 / 2);
        EXPECT_GE(c.font.averageCharWidth(), c.font.pixelSize() / 3);
        EXPECT_LE(c.font.averageCharWidth(), c.font.pixelSize() * 3 / 4);
    }
    EXPECT_GE(Font::dialog(8).averageCharWidth(), 5);
    EXPECT_LE(Font::dialog(8).averageCharWidth(), 7);
    // One cached font per pixel size, however it was asked for.
    EXPECT_EQ(&Font::dialog(8), &Font::atPixels(11));
    EXPECT_EQ(&Font::ui(), &Font::dialog(9));
}

TEST(FontTest, OutlandishSizesAreClampedAndStillDraw) {
    for (int size : {0, -40, INT_MIN, 100000, INT_MAX}) {
        SCOPED_TRACE(size);
        const Font& f = Font::atPixels(size);
        EXPECT_GE(f.pixelSize(), 1);
        EXPECT_LE(f.pixelSize(), 256);
        EXPECT_GT(f.lineHeight(), 0);
        auto screen = makeScreen(40, 30);
        Canvas canvas(*screen);
        f.draw(canvas, 2, 2, u"W", kInk);
    }
    // A template's point size is a 16-bit value; the largest must not ask for giant glyphs.
    EXPECT_LE(Font::dialog(65535).pixelSize(), 256);
}

// Ink stays inside the measured line box at each size and on every screen layout and format.
TEST(FontTest, DrawInksOnlyInsideTheMeasuredLineBox) {
    const std::u16string text = u"Hello Kestrova: gjpqy|_ 123";
    for (int px : {8, 11, 12, 16, 24}) {
        SCOPED_TRACE(px);
        const Font& f = Font::atPixels(px);
        auto screen = makeScreen(f.measure(text) + 20, f.lineHeight() + 14);
        Canvas canvas(*screen);
        f.draw(canvas, 9, 7, text, kInk);
        const Rect ink = inkBounds(*screen);
        ASSERT_FALSE(ink.empty());
        const Rect box{9, 7, 9 + f.measure(text), 7 + f.lineHeight()};
        EXPECT_EQ(ink.intersect(box), ink)
            << "ink " << ink.left << "," << ink.top << " - " << ink.right << "," << ink.bottom;
        // The text is not squeezed into a corner of the box either.
        EXPECT_LE(ink.left, box.left + 2);
        EXPECT_GE(ink.right, box.right - 2);
    }
}

TEST(FontTest, SameInkOnEveryScreenFormatAndLayout) {
    const Font& f = Font::dialog(8);
    struct Case {
        PixelFormat format;
        Layout layout;
    };
    const Case cases[] = {{PixelFormat::Rgb565, Layout::Normal},
                          {PixelFormat::Rgb555, Layout::Normal},
                          {PixelFormat::Rgb565, Layout::Mirrored},
                          {PixelFormat::Rgb555, Layout::Rotated},
                          {PixelFormat::Rgb565, Layout::Padded}};
    std::vector<bool> reference;
    for (const Case& c : cases) {
        auto screen = makeScreen(83, 19, c.format, c.layout);
        Canvas canvas(*screen);
        f.draw(canvas, 3, 2, u"Clear Screen", kInk);
        // Full coverage gives exactly the packed colour, in this screen's format.
        bool solid = false;
        for (int y = 0; y < 19; ++y)
            for (int x = 0; x < 83; ++x) solid |= screen->get(x, y) == screen->pack(kInk);
        EXPECT_TRUE(solid);
        if (reference.empty())
            reference = inkMask(*screen);
        else
            EXPECT_EQ(inkMask(*screen), reference);
    }
}

TEST(FontTest, NothingDrawnWhereTheClipExcludes) {
    const Font& f = Font::ui();
    auto screen = makeScreen(120, 30);
    const auto before = screen->logicalPixels();
    Region clip(Rect{0, 0, 120, 30});
    clip.subtract({30, 0, 60, 30});
    clip.subtract({0, 0, 120, 6});
    Canvas canvas(*screen, clip);
    f.draw(canvas, 2, 2, u"WWWWWWWWWWWWWWWW", kInk);
    f.drawWrapped(canvas, {0, 0, 120, 30}, u"Menu items\nmore text here", TextAlign::Left, kInk);

    bool inkInside = false;
    const auto after = screen->logicalPixels();
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 120; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * 120 + static_cast<std::size_t>(x);
            const bool inClip = (x < 30 || x >= 60) && y >= 6;
            if (inClip)
                inkInside |= after[i] != before[i];
            else
                EXPECT_EQ(after[i], before[i]) << x << "," << y;
        }
    EXPECT_TRUE(inkInside);

    auto untouched = makeScreen(120, 30);
    Canvas none(*untouched, Region{});
    f.draw(none, 2, 2, u"Hidden", kInk);
    f.drawWrapped(none, {0, 0, 120, 30}, u"Hidden", TextAlign::Center, kInk);
    EXPECT_TRUE(inkBounds(*untouched).empty());
}

TEST(FontTest, AlignmentPlacesTheInk) {
    const Font& f = Font::dialog(8);
    const Rect rect{10, 4, 150, 40};
    struct Case {
        TextAlign align;
        const char* name;
    };
    for (const Case& c : {Case{TextAlign::Left, "left"}, Case{TextAlign::Center, "center"},
                          Case{TextAlign::Right, "right"}}) {
        SCOPED_TRACE(c.name);
        auto screen = makeScreen(160, 44);
        Canvas canvas(*screen);
        EXPECT_EQ(f.drawWrapped(canvas, rect, u"Hello OK", c.align, kInk), f.lineHeight());
        const Rect ink = inkBounds(*screen);
        ASSERT_FALSE(ink.empty());
        EXPECT_GE(ink.top, rect.top);
        EXPECT_LE(ink.bottom, rect.top + f.lineHeight());
        const int leftGap = ink.left - rect.left, rightGap = rect.right - ink.right;
        switch (c.align) {
            case TextAlign::Left:
                EXPECT_LE(leftGap, 2);
                break;
            case TextAlign::Right:
                EXPECT_LE(rightGap, 2);
                break;
            case TextAlign::Center:
                EXPECT_LE(std::abs(leftGap - rightGap), 3);
                break;
        }
    }
}

// drawWrapped must put exactly the expected lines, each drawn on its own, one line height apart.
TEST(FontTest, WrapsAtSpacesAndNewlines) {
    const Font& f = Font::dialog(8);
    const int W = f.measure(u"W");
    struct Case {
        const char16_t* text;
        int width;
        std::vector<std::u16string> lines;
    };
    const Case cases[] = {
        {u"alpha beta gamma", f.measure(u"alpha beta") + 2, {u"alpha beta", u"gamma"}},
        {u"alpha beta gamma", f.measure(u"alpha beta gamma"), {u"alpha beta gamma"}},
        {u"alpha   beta", f.measure(u"alpha") + 2, {u"alpha", u"beta"}},
        {u"one\ntwo three", 200, {u"one", u"two three"}},
        {u"one\r\ntwo", 200, {u"one", u"two"}},
        {u"a\n\nb", 200, {u"a", u"", u"b"}},
        {u"  indented text", 200, {u"  indented text"}},
        // A word wider than the box is cut between characters.
        {u"WWWWWWWWWW", 3 * W + 1, {u"WWW", u"WWW", u"WWW", u"W"}},
        {u"ok WWWWWWW", 3 * W + 1, {u"ok", u"WWW", u"WWW", u"W"}},
        // Too narrow for anything: one character a line, so wrapping still ends.
        {u"abc", 0, {u"a", u"b", u"c"}},
        // A surrogate pair is one character and is never split.
        {u"\U0001F600\U0001F600", 1, {u"\U0001F600", u"\U0001F600"}},
    };
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        const Case& c = cases[k];
        SCOPED_TRACE(k);
        const Rect rect{5, 3, 5 + c.width, 3 + 8 * f.lineHeight()};
        auto actual = makeScreen(220, rect.bottom + 4);
        Canvas canvas(*actual);
        EXPECT_EQ(f.drawWrapped(canvas, rect, c.text, TextAlign::Left, kInk),
                  static_cast<int>(c.lines.size()) * f.lineHeight());

        auto expected = makeScreen(220, rect.bottom + 4);
        Canvas reference(*expected, Region(rect));
        for (std::size_t i = 0; i < c.lines.size(); ++i)
            f.draw(reference, rect.left, rect.top + static_cast<int>(i) * f.lineHeight(),
                   c.lines[i], kInk);
        EXPECT_EQ(actual->logicalPixels(), expected->logicalPixels());
    }
}

TEST(FontTest, WrappedTextStaysInsideItsRect) {
    const Font& f = Font::ui();
    const std::u16string text =
        u"Kestrova draws lines, circles and a photograph straight into the "
        u"frame buffer. Pneumonoultramicroscopicsilicovolcanoconiosis!";
    // The last rect is too short for all the lines: the ones that would cross its bottom go.
    for (const Rect rect :
         {Rect{7, 5, 97, 140}, Rect{7, 5, 60, 140}, Rect{7, 5, 97, 5 + 2 * f.lineHeight() + 9}}) {
        SCOPED_TRACE(rect.width());
        auto screen = makeScreen(110, 150);
        Canvas canvas(*screen);
        const int used = f.drawWrapped(canvas, rect, text, TextAlign::Center, kInk);
        EXPECT_GT(used, 0);
        EXPECT_EQ(used % f.lineHeight(), 0);
        EXPECT_LE(rect.top + used, rect.bottom);
        const Rect ink = inkBounds(*screen);
        EXPECT_EQ(ink.intersect({rect.left, rect.top, rect.right, rect.top + used}), ink);
    }
    auto screen = makeScreen(110, 150);
    Canvas canvas(*screen);
    EXPECT_EQ(f.drawWrapped(canvas, {7, 5, 97, 140}, u"", TextAlign::Left, kInk), 0);
    EXPECT_EQ(f.drawWrapped(canvas, {7, 5, 97, 5 + f.lineHeight() - 1}, u"too low", TextAlign::Left,
                            kInk),
              0);
    EXPECT_EQ(f.drawWrapped(canvas, {97, 140, 7, 5}, u"inverted rect", TextAlign::Right, kInk), 0);
    EXPECT_TRUE(inkBounds(*screen).empty());
}

TEST(FontTest, SurrogatesAndMissingGlyphs) {
    const Font& f = Font::ui();
    const std::u16string pair = u"\xD83D\xDE00";     // U+1F600, which the face has
    const std::u16string missing = u"\xDBFF\xDFFD";  // U+10FFFD, which it has not
    // A decoded pair is one glyph, not two .notdef boxes.
    EXPECT_GT(f.measure(pair), 0);
    EXPECT_NE(f.measure(pair), 2 * f.measure(missing));

    // Characters the face lacks, lone surrogates included, all draw the same visible box.
    const std::u16string boxes[] = {missing, u"\xD800", u"\xDC00", u"\xE0FF"};
    std::vector<bool> reference;
    for (const std::u16string& s : boxes) {
        EXPECT_EQ(f.measure(s), f.measure(missing));
        auto screen = makeScreen(30, 20);
        Canvas canvas(*screen);
        f.draw(canvas, 4, 2, s, kInk);
        EXPECT_FALSE(inkBounds(*screen).empty());
        if (reference.empty())
            reference = inkMask(*screen);
        else
            EXPECT_EQ(inkMask(*screen), reference);
    }

    // Surrogates cut off at either end of the text.
    auto screen = makeScreen(120, 40);
    Canvas canvas(*screen);
    for (const std::u16string& s : {std::u16string(u"ab\xD83D"), u"\xDE00" + std::u16string(u"ab"),
                                    std::u16string(u"\xD83D\xD83D\xDE00")}) {
        f.draw(canvas, 2, 2, s, kInk);
        EXPECT_GT(f.drawWrapped(canvas, {0, 0, 120, 40}, s, TextAlign::Center, kInk), 0);
        EXPECT_GT(f.measure(s), 0);
    }
}

// The typeface's kerning pairs pull their letters together, in measuring, drawing and
// wrapping alike; letters without a pair keep their advances; a control character between
// the two leaves the pair as it is.
TEST(FontTest, KerningPairsMoveCloser) {
    for (int px : {11, 12, 16, 24}) {
        SCOPED_TRACE(px);
        const Font& f = Font::atPixels(px);
        for (const std::u16string pair : {u"Wa", u"AV", u"Te", u"Yo", u"Ke"}) {
            SCOPED_TRACE(std::string(pair.begin(), pair.end()));
            const int apart = f.measure(pair.substr(0, 1)) + f.measure(pair.substr(1));
            EXPECT_LT(f.measure(pair), apart);
            EXPECT_EQ(f.measure(pair[0] + std::u16string(u"\t") + pair[1]), f.measure(pair));
            // Drawn, the second letter's ink ends where the kerned width says.
            auto together = makeScreen(2 * px + 20, f.lineHeight() + 4);
            auto separate = makeScreen(2 * px + 20, f.lineHeight() + 4);
            Canvas a(*together), b(*separate);
            f.draw(a, 4, 2, pair, kInk);
            f.draw(b, 4, 2, pair.substr(0, 1), kInk);
            f.draw(b, 4 + f.measure(pair.substr(0, 1)), 2, pair.substr(1), kInk);
            EXPECT_EQ(inkBounds(*together).right - inkBounds(*separate).right,
                      f.measure(pair) - apart);
            // Wrapped into a rect exactly as wide as the kerned pair, it stays on one line.
            auto wrapped = makeScreen(2 * px + 20, 3 * f.lineHeight());
            Canvas w(*wrapped);
            EXPECT_EQ(f.drawWrapped(w, {4, 0, 4 + f.measure(pair), 3 * f.lineHeight()}, pair,
                                    TextAlign::Left, kInk),
                      f.lineHeight());
        }
        for (const std::u16string plain : {u"HH", u"nn", u"va"})
            EXPECT_EQ(f.measure(plain), f.measure(plain.substr(0, 1)) + f.measure(plain.substr(1)));
    }
}

TEST(FontTest, ControlCharactersTakeNoRoom) {
    const Font& f = Font::ui();
    EXPECT_EQ(f.measure(u"a\tb\rc"), f.measure(u"abc"));
    EXPECT_EQ(f.measure(u""), 0);
    EXPECT_GT(f.measure(u"ab"), f.measure(u"a"));
}

}  // namespace
}  // namespace kdev
