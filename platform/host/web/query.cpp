#include "web/query.h"

#include <array>
#include <charconv>
#include <utility>

#include "options.h"

namespace khost {

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// application/x-www-form-urlencoded: '+' is a space, %XX a byte. nullopt for a broken escape.
std::optional<std::string> decode(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '+') {
            out += ' ';
        } else if (text[i] != '%') {
            out += text[i];
        } else {
            const int hi = i + 2 < text.size() ? hexDigit(text[i + 1]) : -1;
            const int lo = hi >= 0 ? hexDigit(text[i + 2]) : -1;
            if (lo < 0) return std::nullopt;
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
        }
    }
    return out;
}

template <typename T, std::size_t N>
bool lookUp(const std::array<std::pair<std::string_view, T>, N>& names, std::string_view name,
            T* out) {
    for (const auto& [n, value] : names) {
        if (n == name) {
            *out = value;
            return true;
        }
    }
    return false;
}

constexpr std::array<std::pair<std::string_view, kdev::PixelFormat>, 2> kFormats{{
    {"565", kdev::PixelFormat::Rgb565},
    {"555", kdev::PixelFormat::Rgb555},
}};
constexpr std::array<std::pair<std::string_view, kdev::Layout>, 4> kLayouts{{
    {"normal", kdev::Layout::Normal},
    {"padded", kdev::Layout::Padded},
    {"mirrored", kdev::Layout::Mirrored},
    {"rotated", kdev::Layout::Rotated},
}};

}  // namespace

std::optional<PageOptions> parsePageQuery(std::string_view query, std::string* error) {
    auto fail = [&](const std::string& message) -> std::optional<PageOptions> {
        *error = message;
        return std::nullopt;
    };
    if (!query.empty() && query.front() == '?') query.remove_prefix(1);

    PageOptions options;
    std::string seen;  // one letter per parameter already given
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        if (pair.empty()) continue;
        const std::size_t eq = pair.find('=');
        const std::optional<std::string> key = decode(pair.substr(0, eq));
        const std::optional<std::string> value =
            decode(eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1));
        if (!key || !value) return fail("broken %-escape in '" + std::string(pair) + "'");

        const char letter = *key == "display"  ? 'd'
                            : *key == "format" ? 'f'
                            : *key == "layout" ? 'l'
                            : *key == "zoom"   ? 'z'
                            : *key == "trace"  ? 't'
                                               : '\0';
        if (!letter)
            return fail("unknown parameter '" + *key +
                        "' (the page takes display, format, layout, zoom and trace)");
        if (seen.find(letter) != std::string::npos)
            return fail("parameter '" + *key + "' is given twice");
        seen += letter;

        switch (letter) {
            case 'd':
                if (!parseDisplaySize(*value, &options.geometry.width, &options.geometry.height))
                    return fail("display: expected WxH with each side 1 to " +
                                std::to_string(kdev::kMaxScreenSide) + ", got '" + *value + "'");
                break;
            case 'f':
                if (!lookUp(kFormats, *value, &options.geometry.format))
                    return fail("format: expected 565 or 555, got '" + *value + "'");
                break;
            case 'l':
                if (!lookUp(kLayouts, *value, &options.geometry.layout))
                    return fail("layout: expected normal, padded, mirrored or rotated, got '" +
                                *value + "'");
                break;
            case 'z': {
                int zoom = 0;
                const auto [end, ec] =
                    std::from_chars(value->data(), value->data() + value->size(), zoom);
                if (ec != std::errc() || end != value->data() + value->size() || zoom < 1 ||
                    zoom > 8)
                    return fail("zoom: expected a whole number 1 to 8, got '" + *value + "'");
                options.zoom = zoom;
                break;
            }
            case 't':
                if (!value->empty() && *value != "1")
                    return fail("trace: takes no value (or 1), got '" + *value + "'");
                options.trace = true;
                break;
        }
    }
    return options;
}

}  // namespace khost
