// Reads the PNG screenshots and raw dumps the headless front end writes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;
    // 0x00BBGGRR, like the program's colours.
    std::uint32_t at(int x, int y) const {
        const std::size_t k = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                               static_cast<std::size_t>(x)) *
                              3;
        return rgb[k] | (rgb[k + 1] << 8) | (rgb[k + 2] << 16);
    }
};

std::optional<RgbImage> readPng(const std::string& path);

// A raw dump: logical pixels, rows top to bottom, 16-bit little-endian.
std::vector<std::uint16_t> readDump(const std::string& path);
