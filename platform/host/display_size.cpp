// Display geometry as text, shared by the command line, the window and the web page.
#include <charconv>

#include "options.h"

namespace khost {

namespace {

bool parseSide(std::string_view s, int* out) {
    int v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || p != s.data() + s.size() || v < 1 || v > kdev::kMaxScreenSide)
        return false;
    *out = v;
    return true;
}

}  // namespace

bool parseDisplaySize(const std::string& text, int* width, int* height) {
    const std::size_t x = text.find('x');
    if (x == std::string::npos) return false;
    return parseSide(std::string_view(text).substr(0, x), width) &&
           parseSide(std::string_view(text).substr(x + 1), height);
}

std::string geometryName(const kdev::Geometry& g) {
    const char* format = g.format == kdev::PixelFormat::Rgb565 ? "5-6-5" : "5-5-5";
    const char* layout = g.layout == kdev::Layout::Padded     ? "padded"
                         : g.layout == kdev::Layout::Mirrored ? "mirrored"
                         : g.layout == kdev::Layout::Rotated  ? "rotated"
                                                              : "normal";
    return std::to_string(g.width) + "x" + std::to_string(g.height) + " " + format + " " + layout;
}

}  // namespace khost
