#include "fbdev/panel.h"

#include <cstring>

namespace khost {

namespace {

bool is(BitField f, unsigned offset, unsigned length) {
    return f.offset == offset && f.length == length;
}

std::uint32_t place(unsigned value8, BitField field) {
    if (field.length == 0) return 0;
    return static_cast<std::uint32_t>(value8 >> (8 - field.length)) << field.offset;
}

}  // namespace

std::optional<kdev::PixelFormat> directFormat(const PanelFormat& p) {
    if (p.bitsPerPixel != 16 || !is(p.red, 0, 5)) return std::nullopt;
    if (is(p.green, 5, 6) && is(p.blue, 11, 5)) return kdev::PixelFormat::Rgb565;
    if (is(p.green, 5, 5) && is(p.blue, 10, 5)) return kdev::PixelFormat::Rgb555;
    return std::nullopt;
}

kdev::PixelFormat drawingFormat(const PanelFormat& p) {
    return p.green.length == 5 ? kdev::PixelFormat::Rgb555 : kdev::PixelFormat::Rgb565;
}

bool PanelConverter::supports(const PanelFormat& p) {
    if (p.bitsPerPixel != 16 && p.bitsPerPixel != 32) return false;
    for (const BitField& f : {p.red, p.green, p.blue})
        if (f.length == 0 || f.length > 8 || f.offset + f.length > p.bitsPerPixel) return false;
    return true;
}

PanelConverter::PanelConverter(kdev::PixelFormat from, const PanelFormat& panel)
    : bytesPerPixel_(panel.bitsPerPixel / 8), table_(65536) {
    for (unsigned p = 0; p < 65536; ++p) {
        const unsigned r = kdev::expand5(p & 0x1F);
        unsigned g, b;
        if (from == kdev::PixelFormat::Rgb565) {
            g = kdev::expand6((p >> 5) & 0x3F);
            b = kdev::expand5(p >> 11);
        } else {
            g = kdev::expand5((p >> 5) & 0x1F);
            b = kdev::expand5((p >> 10) & 0x1F);
        }
        table_[p] = place(r, panel.red) | place(g, panel.green) | place(b, panel.blue);
    }
}

void PanelConverter::convertRow(const std::uint16_t* from, void* to, int pixels) const {
    auto* out = static_cast<unsigned char*>(to);
    for (int i = 0; i < pixels; ++i) {
        const std::uint32_t v = table_[from[i]];
        if (bytesPerPixel_ == 2) {
            const auto v16 = static_cast<std::uint16_t>(v);
            std::memcpy(out + 2 * i, &v16, 2);
        } else {
            std::memcpy(out + 4 * static_cast<long>(i), &v, 4);
        }
    }
}

int axisToPixel(int value, int minimum, int maximum, int pixels) {
    if (maximum <= minimum || pixels < 1) return 0;
    if (value <= minimum) return 0;
    if (value >= maximum) return pixels - 1;
    const long long span = static_cast<long long>(maximum) - minimum;
    return static_cast<int>((static_cast<long long>(value) - minimum) * (pixels - 1) / span);
}

}  // namespace khost
