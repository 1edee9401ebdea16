// Builds a 32-bit .res image around resource data, so a fuzz target can hand one resource's
// bytes to the same reader the device uses for the program's own image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kfuzz {

class ResBuilder {
public:
    ResBuilder() { add(0, 0, nullptr, 0); }  // the leading empty entry

    void add(std::uint16_t type, std::uint16_t name, const std::uint8_t* data, std::size_t size) {
        std::vector<std::uint8_t> header;
        ordinal(header, type);
        ordinal(header, name);
        finish(header, data, size);
    }
    void add(std::uint16_t type, const std::u16string& name, const std::uint8_t* data,
             std::size_t size) {
        std::vector<std::uint8_t> header;
        ordinal(header, type);
        for (char16_t c : name) u16(header, c);
        u16(header, 0);
        finish(header, data, size);
    }

    // The image. The last entry's data ends exactly at its end (no trailing padding), so a
    // read past that resource's bytes runs off the image.
    const std::vector<std::uint8_t>& bytes() const { return image_; }

private:
    static void u16(std::vector<std::uint8_t>& out, std::uint32_t v) {
        out.push_back(static_cast<std::uint8_t>(v));
        out.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    static void u32(std::vector<std::uint8_t>& out, std::uint32_t v) {
        u16(out, v & 0xFFFF);
        u16(out, v >> 16);
    }
    static void ordinal(std::vector<std::uint8_t>& out, std::uint16_t n) {
        u16(out, 0xFFFF);
        u16(out, n);
    }

    void finish(std::vector<std::uint8_t>& names, const std::uint8_t* data, std::size_t size) {
        while (names.size() % 4) names.push_back(0);
        std::vector<std::uint8_t> entry;
        u32(entry, static_cast<std::uint32_t>(size));
        u32(entry, static_cast<std::uint32_t>(8 + names.size() + 16));
        entry.insert(entry.end(), names.begin(), names.end());
        u32(entry, 0);       // data version
        u16(entry, 0x1030);  // memory flags
        u16(entry, 0x0409);  // language
        u32(entry, 0);       // version
        u32(entry, 0);       // characteristics
        while (image_.size() % 4) image_.push_back(0);
        image_.insert(image_.end(), entry.begin(), entry.end());
        if (size) image_.insert(image_.end(), data, data + size);
    }

    std::vector<std::uint8_t> image_;
};

}  // namespace kfuzz
