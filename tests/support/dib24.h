// 24-bit pictures in the resource's format, built for tests and benchmarks: a header-first,
// bottom-up DIB with a 40-byte header and rows of ((width + 1) * 3) & ~3 bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace model {

using Bgr = std::array<std::uint8_t, 3>;  // blue, green, red, as stored

inline std::size_t Dib24Stride(int width) {
    return (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
}

// Pixel (x, y), y counted from the top of the picture, is colour(x, y). Every byte the pixels
// leave (row ends) is `fill`, so a stride error shows; the header gives bitsPerPixel and the
// size of the pixel rows.
template <class Colour>
std::vector<std::uint8_t> MakeDib24(int width, int height, Colour&& colour, std::uint8_t fill = 0,
                                    int bitsPerPixel = 24) {
    const std::size_t stride = Dib24Stride(width);
    std::vector<std::uint8_t> dib(40 + stride * static_cast<std::size_t>(height), fill);
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) dib[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    for (std::size_t at = 0; at < 40; ++at) dib[at] = 0;
    put32(0, 40);
    put32(4, static_cast<std::uint32_t>(width));
    put32(8, static_cast<std::uint32_t>(height));
    dib[12] = 1;
    dib[14] = static_cast<std::uint8_t>(bitsPerPixel);
    put32(20, static_cast<std::uint32_t>(stride * static_cast<std::size_t>(height)));
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = &dib[40 + stride * static_cast<std::size_t>(height - 1 - y)];
        for (int x = 0; x < width; ++x) {
            const Bgr c = colour(x, y);
            for (int i = 0; i < 3; ++i) row[3 * static_cast<std::size_t>(x) + i] = c[i];
        }
    }
    return dib;
}

// A stored blue-green-red triple as the program converts it: 5-6-5, blue in the top field.
inline std::uint16_t Bgr565(const std::uint8_t* c) {
    return static_cast<std::uint16_t>(((c[0] & 0xF8) << 8) | ((c[1] & 0xFC) << 3) | (c[2] >> 3));
}

// Pixel (x, y), y counted from the top, of width x height 24-bit rows stored bottom first from
// rows on, converted to 5-6-5.
inline std::uint16_t Dib24Pixel565(const std::uint8_t* rows, int width, int height, int x, int y) {
    return Bgr565(rows + Dib24Stride(width) * static_cast<std::size_t>(height - 1 - y) +
                  3 * static_cast<std::size_t>(x));
}

}  // namespace model
