#include "core/display_geometry.h"

#include <charconv>

#include "core/strings.h"

namespace kdev {

namespace {

bool parseSide(std::string_view s, int* out) {
    int v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || p != s.data() + s.size() || v < 1 || v > kMaxScreenSide) return false;
    *out = v;
    return true;
}

}  // namespace

std::optional<PixelFormat> formatNamed(std::string_view option) {
    for (const FormatName& n : kFormatNames)
        if (n.option == option) return n.format;
    return std::nullopt;
}

std::optional<Layout> layoutNamed(std::string_view option) {
    for (const LayoutName& n : kLayoutNames)
        if (n.option == option) return n.layout;
    return std::nullopt;
}

const FormatName& nameOf(PixelFormat format) {
    for (const FormatName& n : kFormatNames)
        if (n.format == format) return n;
    return kFormatNames[0];
}

std::string_view nameOf(Layout layout) {
    for (const LayoutName& n : kLayoutNames)
        if (n.layout == layout) return n.option;
    return kLayoutNames[0].option;
}

bool parseDisplaySize(std::string_view text, int* width, int* height) {
    const std::size_t x = text.find('x');
    if (x == std::string_view::npos) return false;
    return parseSide(text.substr(0, x), width) && parseSide(text.substr(x + 1), height);
}

std::string geometryName(const Geometry& g) {
    return std::to_string(g.width) + "x" + std::to_string(g.height) + " " +
           std::string(nameOf(g.format).shown) + " " + std::string(nameOf(g.layout));
}

bool readGeometry(const GeometryText& text, Geometry* geometry, std::string* error) {
    Geometry g;
    if (!parseDisplaySize(text.display, &g.width, &g.height)) {
        *error = "--display: expected WxH with each side 1 to " + std::to_string(kMaxScreenSide) +
                 ", got '" + printable(text.display) + "'";
        return false;
    }
    const std::optional<PixelFormat> format = formatNamed(text.format);
    if (!format) {
        *error = "--format: expected 565 or 555, got '" + printable(text.format) + "'";
        return false;
    }
    const std::optional<Layout> layout = layoutNamed(text.layout);
    if (!layout) {
        *error = "--layout: expected normal, padded, mirrored or rotated, got '" +
                 printable(text.layout) + "'";
        return false;
    }
    g.format = *format;
    g.layout = *layout;
    *geometry = g;
    return true;
}

}  // namespace kdev
