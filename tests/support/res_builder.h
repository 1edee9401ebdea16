// Hand-made resource bytes for tests and fuzz targets: little-endian fields, and 32-bit .res
// images around resource data, read by the same reader the device uses for the program's own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace fixture {

// Little-endian bytes: templates, bitmaps, string blocks, .res headers.
struct ByteWriter {
    std::vector<std::uint8_t> b;

    ByteWriter& u8(unsigned v) {
        b.push_back(static_cast<std::uint8_t>(v));
        return *this;
    }
    ByteWriter& u16(unsigned v) { return u8(v & 0xFF).u8(v >> 8 & 0xFF); }
    ByteWriter& u32(std::uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
    // UTF-16 text and its terminator.
    ByteWriter& str(std::u16string_view s) {
        for (char16_t c : s) u16(c);
        return u16(0);
    }
    // A resource id given by number: 0xFFFF, then the number.
    ByteWriter& ord(unsigned n) { return u16(0xFFFF).u16(n); }
    ByteWriter& align4() {
        while (b.size() % 4) u8(0);
        return *this;
    }
    ByteWriter& bytes(const std::uint8_t* data, std::size_t size) {
        if (size) b.insert(b.end(), data, data + size);
        return *this;
    }
    ByteWriter& bytes(const std::vector<std::uint8_t>& v) { return bytes(v.data(), v.size()); }
};

// A resource type or name: a number, or a string.
struct ResName {
    ResName(unsigned ordinal) : ordinal(static_cast<std::uint16_t>(ordinal)) {}
    ResName(const char16_t* text) : isText(true), text(text) {}
    ResName(std::u16string text) : isText(true), text(std::move(text)) {}

    bool isText = false;
    std::uint16_t ordinal = 0;
    std::u16string text;
};

// A 32-bit .res image: the leading empty entry, then each entry added, its header and data
// each starting on a four-byte boundary.
class ResBuilder {
public:
    ResBuilder() { add(0u, 0u, nullptr, 0); }

    ResBuilder& add(const ResName& type, const ResName& name, const std::uint8_t* data,
                    std::size_t size) {
        ByteWriter names;
        put(names, type);
        put(names, name);
        names.align4();
        image_.align4();
        image_.u32(static_cast<std::uint32_t>(size))
            .u32(static_cast<std::uint32_t>(8 + names.b.size() + 16))
            .bytes(names.b);
        image_.u32(0);       // data version
        image_.u16(0x1030);  // memory flags
        image_.u16(0x0409);  // language
        image_.u32(0);       // version
        image_.u32(0);       // characteristics
        image_.bytes(data, size);
        return *this;
    }
    ResBuilder& add(const ResName& type, const ResName& name,
                    const std::vector<std::uint8_t>& data) {
        return add(type, name, data.data(), data.size());
    }

    // The image as it stands: the last entry's data ends it, with no padding after, so a read
    // past that resource's bytes runs off the image.
    const std::vector<std::uint8_t>& bytes() const { return image_.b; }
    // The image as a resource compiler writes it, the last entry padded too.
    std::vector<std::uint8_t> padded() const {
        ByteWriter w = image_;
        return w.align4().b;
    }

private:
    static void put(ByteWriter& w, const ResName& id) {
        if (id.isText)
            w.str(id.text);
        else
            w.ord(id.ordinal);
    }

    ByteWriter image_;
};

}  // namespace fixture
