#include "gfx/text.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_DRIVER_H
#include FT_MODULE_H

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <unordered_map>
#include <vector>

// The typeface's bytes, linked into the executable by the build.
extern "C" const unsigned char kestrova_font[];
extern "C" const unsigned char kestrova_font_end[];

namespace kdev {

namespace {

// Larger sizes are clamped: a dialog template names its point size, and nothing on a
// handheld's screen needs glyphs bigger than this.
constexpr int kMaxPixelSize = 256;
constexpr int kMinDialogPixels = 8;

// The face's own hints, run by the classic TrueType interpreter (see Library), snap stems to
// whole pixels in both directions: at 11-12 px that reads far crisper than vertical-only hinting.
constexpr FT_Int32 kLoadFlags = FT_LOAD_DEFAULT;

// 26.6 fixed point to whole pixels, halves rounded up.
int roundPixels(FT_Pos v) { return static_cast<int>((v + 32) >> 6); }

struct Glyph {
    int left = 0;  // bitmap's left column, right of the pen
    int top = 0;   // bitmap's top row, above the baseline
    int width = 0;
    int rows = 0;
    int advance = 0;                     // whole pixels
    FT_UInt index = 0;                   // in the face; 0 for none (no kerning either side)
    std::vector<std::uint8_t> coverage;  // width*rows, 0..255
};

// Next code point of UTF-16 text at i, which moves past it. A lone surrogate comes back as
// itself, which no face maps to a glyph.
char32_t nextCodePoint(std::u16string_view s, std::size_t& i) {
    const char32_t c = s[i++];
    if (c >= 0xD800 && c <= 0xDBFF && i < s.size()) {
        const char32_t low = s[i];
        if (low >= 0xDC00 && low <= 0xDFFF) {
            ++i;
            return 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        }
    }
    return c;
}

// The FreeType library and every font made from it, freed at exit.
class Library {
public:
    static Library& instance() {
        static Library library;
        return library;
    }
    ~Library() {
        fonts_.clear();
        faces_.clear();
        if (ft_) FT_Done_FreeType(ft_);
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    FT_Library ft() const { return ft_; }
    std::map<int, std::unique_ptr<Font>>& fonts() { return fonts_; }
    Font::Impl& newImpl(int pixelSize);

private:
    Library() {
        if (FT_Init_FreeType(&ft_) != 0) {
            std::fputs("kestrova: cannot start the font renderer\n", stderr);
            std::abort();
        }
        // A FreeType built without this interpreter keeps its default, which still renders.
        FT_UInt interpreter = TT_INTERPRETER_VERSION_35;
        FT_Property_Set(ft_, "truetype", "interpreter-version", &interpreter);
    }
    FT_Library ft_ = nullptr;
    std::vector<std::unique_ptr<Font::Impl>> faces_;
    std::map<int, std::unique_ptr<Font>> fonts_;
};

}  // namespace

// One FreeType face set to one pixel size, with the glyphs rendered so far.
struct Font::Impl {
    explicit Impl(int pixelSize) {
        const FT_Long bytes = static_cast<FT_Long>(kestrova_font_end - kestrova_font);
        if (FT_New_Memory_Face(Library::instance().ft(), kestrova_font, bytes, 0, &face) != 0 ||
            FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixelSize)) != 0) {
            std::fputs("kestrova: cannot open the built-in typeface\n", stderr);
            std::abort();
        }
    }
    ~Impl() { FT_Done_Face(face); }
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    const Glyph& glyph(char32_t code);
    // The glyph of a line's next character and the pen's move before it: the face's kerning
    // between `previous` and it ("Wa", "Te", "AV"), to the nearest whole pixel. `previous`
    // then names this glyph; a control character leaves it as it was.
    const Glyph& next(std::u16string_view text, std::size_t& i, FT_UInt& previous, int& kern);

    FT_Face face = nullptr;
    // Keyed by glyph index, so every character the face lacks shares the one .notdef entry.
    std::unordered_map<FT_UInt, Glyph> glyphs;
    // Kerning in whole pixels, keyed by the pair of glyph indices.
    std::unordered_map<std::uint64_t, int> kerning;
};

namespace {

Font::Impl& Library::newImpl(int pixelSize) {
    faces_.push_back(std::make_unique<Font::Impl>(pixelSize));
    return *faces_.back();
}

Glyph render(FT_Face face, FT_UInt index) {
    Glyph g;
    g.index = index;
    if (FT_Load_Glyph(face, index, kLoadFlags) != 0) return g;
    FT_GlyphSlot slot = face->glyph;
    g.advance = roundPixels(slot->advance.x);
    if (slot->format != FT_GLYPH_FORMAT_BITMAP && FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0)
        return g;
    const FT_Bitmap& bm = slot->bitmap;
    if (bm.pixel_mode != FT_PIXEL_MODE_GRAY && bm.pixel_mode != FT_PIXEL_MODE_MONO) return g;
    g.left = slot->bitmap_left;
    g.top = slot->bitmap_top;
    g.width = static_cast<int>(bm.width);
    g.rows = static_cast<int>(bm.rows);
    g.coverage.resize(static_cast<std::size_t>(g.width) * static_cast<std::size_t>(g.rows));
    // The pitch steps one row down; when it is negative the rows are stored bottom up and the
    // top one is the last in memory.
    const unsigned char* top = bm.buffer;
    if (bm.pitch < 0) top -= static_cast<std::ptrdiff_t>(bm.pitch) * (g.rows - 1);
    for (int y = 0; y < g.rows; ++y) {
        const unsigned char* row = top + static_cast<std::ptrdiff_t>(y) * bm.pitch;
        std::uint8_t* out =
            g.coverage.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(g.width);
        for (int x = 0; x < g.width; ++x) {
            if (bm.pixel_mode == FT_PIXEL_MODE_GRAY) {
                const unsigned levels = bm.num_grays > 1 ? bm.num_grays - 1 : 255;
                out[x] = static_cast<std::uint8_t>(row[x] * 255u / levels);
            } else {
                out[x] = (row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
            }
        }
    }
    return g;
}

// Control characters take no room and leave no ink.
const Glyph kNoGlyph{};

bool isControl(char32_t c) { return c < 0x20 || c == 0x7F; }

}  // namespace

const Glyph& Font::Impl::glyph(char32_t code) {
    if (isControl(code)) return kNoGlyph;
    const FT_UInt index = FT_Get_Char_Index(face, code);
    auto it = glyphs.find(index);
    if (it == glyphs.end()) it = glyphs.emplace(index, render(face, index)).first;
    return it->second;
}

const Glyph& Font::Impl::next(std::u16string_view text, std::size_t& i, FT_UInt& previous,
                              int& kern) {
    const char32_t code = nextCodePoint(text, i);
    kern = 0;
    // A control character takes no room, so the letters either side of it still pair.
    if (isControl(code)) return kNoGlyph;
    const Glyph& g = glyph(code);
    if (previous != 0 && g.index != 0 && FT_HAS_KERNING(face)) {
        const std::uint64_t pair = (static_cast<std::uint64_t>(previous) << 32) | g.index;
        auto it = kerning.find(pair);
        if (it == kerning.end()) {
            FT_Vector delta{0, 0};
            // Unfitted, then rounded: the grid-fitted value drops the pairs of a small size
            // ("Wa" is -0.77 pixels at 12) to nothing.
            if (FT_Get_Kerning(face, previous, g.index, FT_KERNING_UNFITTED, &delta) != 0)
                delta.x = 0;
            it = kerning.emplace(pair, roundPixels(delta.x)).first;
        }
        kern = it->second;
    }
    previous = g.index;
    return g;
}

Font::Font(int pixelSize) : pixelSize_(pixelSize), impl_(&Library::instance().newImpl(pixelSize)) {
    // FreeType rounds the size's ascender up and its descender down, which together overrun the
    // rounded line height, so descenders would spill into the next line's box (g, j, p, q, y at
    // 12 px). Rounding the scaled ascender to the nearest pixel keeps them inside.
    const FT_Face face = impl_->face;
    const FT_Size_Metrics& m = face->size->metrics;
    ascent_ = roundPixels(FT_MulFix(face->ascender, m.y_scale));
    lineHeight_ = std::max(roundPixels(m.height), 1);
    // Dialog units come from the mean advance of the Latin letters, rounded half up.
    const int total = measure(u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    averageCharWidth_ = std::max((total / 26 + 1) / 2, 1);
}

const Font& Font::atPixels(int pixelSize) {
    pixelSize = std::clamp(pixelSize, 1, kMaxPixelSize);
    auto& fonts = Library::instance().fonts();
    auto it = fonts.find(pixelSize);
    if (it == fonts.end())
        it = fonts.emplace(pixelSize, std::unique_ptr<Font>(new Font(pixelSize))).first;
    return *it->second;
}

const Font& Font::ui() { return atPixels(12); }

const Font& Font::dialog(int points) {
    // Points at 96 dots per inch, rounded to the nearest pixel.
    const long long pixels = (static_cast<long long>(std::max(points, 0)) * 96 + 36) / 72;
    return atPixels(
        static_cast<int>(std::clamp<long long>(pixels, kMinDialogPixels, kMaxPixelSize)));
}

int Font::measure(std::u16string_view text) const {
    long long width = 0;
    FT_UInt previous = 0;
    int kern = 0;
    for (std::size_t i = 0; i < text.size();) {
        const Glyph& g = impl_->next(text, i, previous, kern);
        width += kern + g.advance;
    }
    return static_cast<int>(std::clamp<long long>(width, 0, INT_MAX));
}

void Font::draw(Canvas& canvas, int x, int y, std::u16string_view text,
                std::uint32_t colorref) const {
    const Rect bounds = canvas.clip().bounds();
    if (bounds.empty()) return;
    const int baseline = y + ascent_;
    // No glyph reaches further left of its pen than an em, so past this nothing can show.
    const long long stop = static_cast<long long>(bounds.right) + pixelSize_;
    long long pen = x;
    FT_UInt previous = 0;
    int kern = 0;
    for (std::size_t i = 0; i < text.size() && pen < stop;) {
        const Glyph& g = impl_->next(text, i, previous, kern);
        pen += kern;
        const int gx = static_cast<int>(pen) + g.left, gy = baseline - g.top;
        pen += g.advance;
        const Rect box = Rect{gx, gy, gx + g.width, gy + g.rows}.intersect(bounds);
        if (box.empty()) continue;
        for (int py = box.top; py < box.bottom; ++py) {
            const std::uint8_t* row = g.coverage.data() + static_cast<std::size_t>(py - gy) *
                                                              static_cast<std::size_t>(g.width);
            for (int px = box.left; px < box.right; ++px)
                canvas.blend(px, py, colorref, row[px - gx]);
        }
    }
    canvas.screen().touch();
}

namespace {

std::u16string_view trimTrailingSpaces(std::u16string_view s) {
    while (!s.empty() && s.back() == u' ') s.remove_suffix(1);
    return s;
}

std::size_t skipSpaces(std::u16string_view s, std::size_t i) {
    while (i < s.size() && s[i] == u' ') ++i;
    return i;
}

}  // namespace

// Greedy word wrap: words join a line while they fit; a break swallows the spaces at it; a
// word too wide for an empty line is cut between characters (at least one a line, so wrapping
// always moves on). Layout stops at the first line that would not fit above rect.bottom.
int Font::drawWrapped(Canvas& canvas, const Rect& rect, std::u16string_view text, TextAlign align,
                      std::uint32_t colorref) const {
    if (text.empty()) return 0;
    Region clip = canvas.clip();
    clip.intersect(rect);
    Canvas inside(canvas.screen(), clip);
    const int maxWidth = std::max(rect.width(), 0);
    int used = 0;

    auto emit = [&](std::u16string_view line) {
        if (static_cast<long long>(rect.top) + used + lineHeight_ > rect.bottom) return false;
        line = trimTrailingSpaces(line);
        const int w = measure(line);
        int x = rect.left;
        if (align == TextAlign::Center) x = rect.left + (maxWidth - w) / 2;
        if (align == TextAlign::Right) x = rect.right - w;
        draw(inside, x, rect.top + used, line, colorref);
        used += lineHeight_;
        return true;
    };

    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t nl = text.find(u'\n', start);
        if (nl == std::u16string_view::npos) nl = text.size();
        const std::u16string_view para = text.substr(start, nl - start);
        start = nl + 1;

        if (para.empty() && !emit(para)) return used;
        std::size_t pos = 0;
        while (pos < para.size()) {
            std::size_t end = pos;  // the line so far is para[pos, end)
            int width = 0;
            while (end < para.size()) {
                const std::size_t wordStart = skipSpaces(para, end);
                std::size_t wordEnd = wordStart;
                while (wordEnd < para.size() && para[wordEnd] != u' ') ++wordEnd;
                const int w = measure(para.substr(end, wordEnd - end));
                if (width + static_cast<long long>(w) <= maxWidth) {
                    width += w;
                    end = wordEnd;
                    continue;
                }
                if (end == pos) {
                    // Nothing on the line yet: take as many characters as fit, at least one.
                    std::size_t i = end;
                    FT_UInt previous = 0;
                    int kern = 0;
                    do {
                        std::size_t next = i;
                        const Glyph& g = impl_->next(para, next, previous, kern);
                        const int adv = kern + g.advance;
                        if (i > end && width + static_cast<long long>(adv) > maxWidth) break;
                        width += adv;
                        i = next;
                    } while (i < wordEnd);
                    end = i;
                }
                break;
            }
            if (!emit(para.substr(pos, end - pos))) return used;
            pos = skipSpaces(para, end);
        }
    }
    return used;
}

}  // namespace kdev
