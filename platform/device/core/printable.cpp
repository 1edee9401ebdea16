// printable(), declared in trace.h: on its own, so that the Windows build's option errors use
// it without the trace's files.
#include <string>
#include <string_view>

#include "core/trace.h"

namespace kdev {

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
