#include "core/display_geometry.h"

#include <algorithm>
#include <charconv>

#include "core/strings.h"

namespace kdev {

namespace {

bool parseNumber(std::string_view s, int low, int high, int* out) {
    int v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || p != s.data() + s.size() || v < low || v > high) return false;
    *out = v;
    return true;
}

bool parseSize(std::string_view text, int maxSide, int* width, int* height) {
    const std::size_t x = text.find('x');
    if (x == std::string_view::npos) return false;
    return parseNumber(text.substr(0, x), 1, maxSide, width) &&
           parseNumber(text.substr(x + 1), 1, maxSide, height);
}

std::vector<std::string_view> words(std::string_view line) {
    std::vector<std::string_view> found;
    while (!line.empty()) {
        const std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string_view::npos) break;
        line.remove_prefix(start);
        const std::size_t end = std::min(line.find_first_of(" \t"), line.size());
        found.push_back(line.substr(0, end));
        line.remove_prefix(end);
    }
    return found;
}

// The place a line's words give, from `first`: zoom, x and y after the sizes.
bool parsePlace(const std::vector<std::string_view>& w, std::size_t first, PlaceLine* place) {
    return parseNumber(w[first], 1, 8, &place->zoom) &&
           parseNumber(w[first + 1], -kMaxPlaceCoordinate, kMaxPlaceCoordinate, &place->x) &&
           parseNumber(w[first + 2], -kMaxPlaceCoordinate, kMaxPlaceCoordinate, &place->y);
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
    return parseSize(text, kMaxScreenSide, width, height);
}

std::vector<PlaceLine> readPlaceLines(std::string_view text, int* damagedLine) {
    std::vector<PlaceLine> places;
    *damagedLine = 0;
    for (int number = 1; !text.empty(); ++number) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const std::vector<std::string_view> w = words(line);
        if (w.empty() || w[0][0] == '#') continue;
        PlaceLine p;
        const bool sizes =
            w.size() == 5 && parseSize(w[0], kMaxPlaceSide, &p.width[0], &p.height[0]) &&
            parseSize(w[1], kMaxPlaceSide, &p.width[1], &p.height[1]) && parsePlace(w, 2, &p);
        if (sizes) {
            std::erase_if(places, [&](const PlaceLine& o) {
                return o.width[0] == p.width[0] && o.height[0] == p.height[0] &&
                       o.width[1] == p.width[1] && o.height[1] == p.height[1];
            });
            places.push_back(p);
        } else if (w.size() == 4 && parseSize(w[0], kMaxPlaceSide, &p.width[0], &p.height[0]) &&
                   parsePlace(w, 1, &p)) {
            // an earlier version's place, for no desktop in particular
        } else if (*damagedLine == 0) {
            *damagedLine = number;
        }
    }
    return places;
}

std::string placeLineText(const PlaceLine& p) {
    return std::to_string(p.width[0]) + "x" + std::to_string(p.height[0]) + " " +
           std::to_string(p.width[1]) + "x" + std::to_string(p.height[1]) + " " +
           std::to_string(p.zoom) + " " + std::to_string(p.x) + " " + std::to_string(p.y);
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
