#include "core/strings.h"

#include <cstdint>

namespace kdev {

std::string toUtf8(std::u16string_view text, LoneSurrogate lone) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000 && lone == LoneSurrogate::Replace) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u16string toUtf16(std::string_view s) {
    std::u16string out;
    for (std::size_t i = 0; i < s.size();) {
        auto b = static_cast<unsigned char>(s[i]);
        std::uint32_t c = 0xFFFD;
        std::size_t n = 1;
        if (b < 0x80) {
            c = b;
        } else if ((b >> 5) == 6 && i + 1 < s.size()) {
            c = ((b & 0x1F) << 6) | (s[i + 1] & 0x3F);
            n = 2;
        } else if ((b >> 4) == 14 && i + 2 < s.size()) {
            c = ((b & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F);
            n = 3;
        } else if ((b >> 3) == 30 && i + 3 < s.size()) {
            c = ((b & 0x07) << 18) | ((s[i + 1] & 0x3F) << 12) | ((s[i + 2] & 0x3F) << 6) |
                (s[i + 3] & 0x3F);
            n = 4;
        }
        i += n;
        if (c >= 0x10000 && c < 0x110000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

std::string printable(std::string_view s) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    auto escape = [&](std::size_t from, std::size_t n) {
        for (std::size_t k = from; k < from + n; ++k) {
            const auto b = static_cast<unsigned char>(s[k]);
            out += "\\x";
            out += hex[b >> 4];
            out += hex[b & 15];
        }
    };
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b == '\\') {
            out += "\\\\";
            ++i;
            continue;
        }
        if (b < 0x80) {
            if (b < 0x20 || b == 0x7F)
                escape(i, 1);
            else
                out += static_cast<char>(b);
            ++i;
            continue;
        }
        // The length and smallest value of a sequence by its first byte.
        const std::size_t n = b >= 0xC2 && b <= 0xDF   ? 2
                              : b >= 0xE0 && b <= 0xEF ? 3
                              : b >= 0xF0 && b <= 0xF4 ? 4
                                                       : 0;
        std::uint32_t c = n == 2 ? b & 0x1F : n == 3 ? b & 0x0F : b & 0x07;
        bool valid = n > 0 && i + n <= s.size();
        for (std::size_t k = 1; valid && k < n; ++k) {
            const auto cont = static_cast<unsigned char>(s[i + k]);
            valid = (cont & 0xC0) == 0x80;
            c = (c << 6) | (cont & 0x3F);
        }
        const std::uint32_t smallest = n == 2 ? 0x80 : n == 3 ? 0x800 : 0x10000;
        valid = valid && c >= smallest && c <= 0x10FFFF && !(c >= 0xD800 && c < 0xE000);
        if (!valid) {
            escape(i, 1);
            ++i;
            continue;
        }
        const bool control = c < 0xA0 || (c >= 0x202A && c <= 0x202E) ||
                             (c >= 0x2066 && c <= 0x2069) || c == 0x2028 || c == 0x2029;
        if (control)
            escape(i, n);
        else
            out.append(s, i, n);
        i += n;
    }
    return out;
}

}  // namespace kdev
