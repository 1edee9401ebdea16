#include "resources/resources.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace kdev {

namespace {

// Reads little-endian fields from a span; every read checks the bytes are there first and
// leaves the position unchanged when they are not.
class Cursor {
public:
    explicit Cursor(Bytes bytes, std::size_t pos = 0) : bytes_(bytes), pos_(pos) {}

    std::size_t pos() const { return pos_; }
    std::size_t remaining() const { return pos_ <= bytes_.size() ? bytes_.size() - pos_ : 0; }

    bool u8(std::uint8_t& v) {
        if (remaining() < 1) return false;
        v = bytes_[pos_++];
        return true;
    }
    bool u16(std::uint16_t& v) {
        if (remaining() < 2) return false;
        v = static_cast<std::uint16_t>(bytes_[pos_] | bytes_[pos_ + 1] << 8);
        pos_ += 2;
        return true;
    }
    bool i16(std::int16_t& v) {
        std::uint16_t u;
        if (!u16(u)) return false;
        v = static_cast<std::int16_t>(u);
        return true;
    }
    bool u32(std::uint32_t& v) {
        if (remaining() < 4) return false;
        v = static_cast<std::uint32_t>(bytes_[pos_]) |
            static_cast<std::uint32_t>(bytes_[pos_ + 1]) << 8 |
            static_cast<std::uint32_t>(bytes_[pos_ + 2]) << 16 |
            static_cast<std::uint32_t>(bytes_[pos_ + 3]) << 24;
        pos_ += 4;
        return true;
    }
    bool i32(std::int32_t& v) {
        std::uint32_t u;
        if (!u32(u)) return false;
        v = static_cast<std::int32_t>(u);
        return true;
    }
    bool skip(std::size_t n) {
        if (remaining() < n) return false;
        pos_ += n;
        return true;
    }
    // A NUL-terminated UTF-16 string; fails when no terminator lies inside the span.
    bool string(std::u16string& s) {
        std::size_t p = pos_;
        std::u16string out;
        for (;;) {
            if (p > bytes_.size() || bytes_.size() - p < 2) return false;
            char16_t c = static_cast<char16_t>(bytes_[p] | bytes_[p + 1] << 8);
            p += 2;
            if (c == 0) break;
            out.push_back(c);
        }
        s = std::move(out);
        pos_ = p;
        return true;
    }
    // Either 0xFFFF followed by an ordinal, or a NUL-terminated string.
    bool stringOrOrdinal(ResId& id) {
        std::size_t start = pos_;
        std::uint16_t first;
        if (!u16(first)) return false;
        if (first == 0xFFFF) {
            std::uint16_t n;
            if (!u16(n)) {
                pos_ = start;
                return false;
            }
            id = ResId::fromOrdinal(n);
            return true;
        }
        pos_ = start;
        std::u16string s;
        if (!string(s)) return false;
        id = ResId::fromName(s);
        return true;
    }
    // Dialog templates: 0 for none, 0xFFFF + ordinal, or a string.
    bool noneOrdinalOrString(ResId& id) {
        std::size_t start = pos_;
        std::uint16_t first;
        if (!u16(first)) return false;
        if (first == 0) {
            id = ResId::fromOrdinal(0);
            return true;
        }
        pos_ = start;
        return stringOrOrdinal(id);
    }
    // To the next multiple of four from the start of the span (or its end).
    void align4() { pos_ = std::min(bytes_.size(), (pos_ + 3) & ~std::size_t{3}); }

private:
    Bytes bytes_;
    std::size_t pos_;
};

bool fail(std::string* error, std::string reason) {
    if (error) *error = std::move(reason);
    return false;
}

char16_t asciiUpper(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
}

bool equalsIgnoreAsciiCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (asciiUpper(a[i]) != asciiUpper(b[i])) return false;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Device-independent bitmaps, shared by bitmaps and icons.

struct DibLayout {
    DibHeader header;
    std::size_t paletteOffset = 0;
    std::size_t bitsOffset = 0;
    std::size_t stride = 0;  // bytes per stored row
    int rows = 0;            // rows of colour (for an icon, half the header's height)
    bool topDown = false;
    std::size_t end = 0;  // first byte after the colour rows
};

// Checks the information header, the palette and that `rows` rows of colour fit. For an icon
// the header's height counts the colour rows and the mask rows together.
std::optional<DibLayout> layoutDib(Bytes dib, bool icon) {
    Cursor c(dib);
    DibLayout l;
    DibHeader& h = l.header;
    std::uint16_t planes;
    std::uint32_t sizeImage, clrUsed;
    std::int32_t xppm, yppm;
    if (!c.u32(h.headerSize) || h.headerSize < 40 || h.headerSize > dib.size()) return std::nullopt;
    if (!c.i32(h.width) || !c.i32(h.height) || !c.u16(planes) || !c.u16(h.bitsPerPixel) ||
        !c.u32(h.compression) || !c.u32(sizeImage) || !c.i32(xppm) || !c.i32(yppm) ||
        !c.u32(clrUsed))
        return std::nullopt;
    if (planes != 1 || h.compression != 0) return std::nullopt;
    const unsigned bpp = h.bitsPerPixel;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) return std::nullopt;
    if (h.width <= 0 || h.height == 0 || h.height == std::numeric_limits<std::int32_t>::min())
        return std::nullopt;
    if (icon) {
        if (h.height < 0 || h.height % 2 != 0) return std::nullopt;
        l.rows = h.height / 2;
    } else {
        l.topDown = h.height < 0;
        l.rows = h.height < 0 ? -h.height : h.height;
    }
    if (bpp <= 8) {
        if (clrUsed > (1u << bpp)) return std::nullopt;
        h.paletteEntries = clrUsed ? clrUsed : 1u << bpp;
    } else {
        // A palette after a true-colour header is only a hint for the display; skip it.
        if (clrUsed > 256) return std::nullopt;
        h.paletteEntries = clrUsed;
    }
    l.paletteOffset = h.headerSize;
    if (std::size_t{h.paletteEntries} * 4 > dib.size() - l.paletteOffset) return std::nullopt;
    l.bitsOffset = l.paletteOffset + std::size_t{h.paletteEntries} * 4;
    std::uint64_t strideBits = static_cast<std::uint64_t>(h.width) * bpp;
    l.stride = static_cast<std::size_t>((strideBits + 31) / 32 * 4);
    std::size_t available = dib.size() - l.bitsOffset;
    if (l.stride > available || static_cast<std::size_t>(l.rows) > available / l.stride)
        return std::nullopt;
    l.end = l.bitsOffset + l.stride * static_cast<std::size_t>(l.rows);
    return l;
}

// The colour rows of a checked layout, into a top-down, fully opaque image.
Image decodeColour(Bytes dib, const DibLayout& l) {
    const DibHeader& h = l.header;
    Image image;
    image.width = h.width;
    image.height = l.rows;
    const std::size_t count =
        static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
    image.pixels.assign(count, 0);
    image.opaque.assign(count, 1);

    std::vector<std::uint32_t> palette(h.paletteEntries);
    for (std::size_t i = 0; i < palette.size(); ++i) {
        const std::uint8_t* q = dib.data() + l.paletteOffset + 4 * i;
        palette[i] = q[2] | q[1] << 8 | static_cast<std::uint32_t>(q[0]) << 16;
    }
    const unsigned bpp = h.bitsPerPixel;
    for (int y = 0; y < image.height; ++y) {
        const int stored = l.topDown ? y : image.height - 1 - y;
        const std::uint8_t* row =
            dib.data() + l.bitsOffset + l.stride * static_cast<std::size_t>(stored);
        std::uint32_t* out = image.pixels.data() + static_cast<std::size_t>(y) * image.width;
        for (int x = 0; x < image.width; ++x) {
            if (bpp <= 8) {
                const unsigned perByte = 8 / bpp;
                const unsigned shift = 8 - bpp * (1 + x % perByte);
                const unsigned index = (row[x / perByte] >> shift) & ((1u << bpp) - 1);
                // An index past a shortened palette has no colour: black.
                out[x] = index < palette.size() ? palette[index] : 0;
            } else {
                const std::uint8_t* q = row + static_cast<std::size_t>(x) * (bpp / 8);
                out[x] = q[2] | q[1] << 8 | static_cast<std::uint32_t>(q[0]) << 16;
            }
        }
    }
    return image;
}

// An icon image: colour rows, then the 1-bit AND mask (1 = transparent), both bottom-up.
std::optional<Image> decodeIconDib(Bytes dib) {
    std::optional<DibLayout> l = layoutDib(dib, true);
    if (!l) return std::nullopt;
    const std::size_t maskStride = (static_cast<std::size_t>(l->header.width) + 31) / 32 * 4;
    const std::size_t available = dib.size() - l->end;
    if (maskStride > available || static_cast<std::size_t>(l->rows) > available / maskStride)
        return std::nullopt;
    Image image = decodeColour(dib, *l);

    // 32-bit images carry their own alpha; older ones leave it zero and rely on the mask.
    bool hasAlpha = false;
    if (l->header.bitsPerPixel == 32) {
        for (int y = 0; y < l->rows && !hasAlpha; ++y) {
            const std::uint8_t* row =
                dib.data() + l->bitsOffset + l->stride * static_cast<std::size_t>(y);
            for (int x = 0; x < image.width; ++x)
                if (row[4 * static_cast<std::size_t>(x) + 3] != 0) {
                    hasAlpha = true;
                    break;
                }
        }
    }
    for (int y = 0; y < image.height; ++y) {
        const int stored = image.height - 1 - y;
        const std::uint8_t* mask =
            dib.data() + l->end + maskStride * static_cast<std::size_t>(stored);
        const std::uint8_t* colour =
            dib.data() + l->bitsOffset + l->stride * static_cast<std::size_t>(stored);
        for (int x = 0; x < image.width; ++x) {
            bool opaque;
            if (hasAlpha)
                opaque = colour[4 * static_cast<std::size_t>(x) + 3] >= 0x80;
            else
                opaque = ((mask[x / 8] >> (7 - x % 8)) & 1) == 0;
            image.opaque[static_cast<std::size_t>(y) * image.width + x] = opaque ? 1 : 0;
        }
    }
    return image;
}

// ---------------------------------------------------------------------------------------------
// Menus.

constexpr std::uint16_t kMfPopup = 0x0010;
constexpr std::uint16_t kMfEnd = 0x0080;
constexpr std::uint16_t kMfSeparator = 0x0800;
constexpr int kMaxMenuDepth = 8;

// Items up to and including the one flagged as the last of its level.
bool parseMenuItems(Cursor& c, int depth, std::vector<MenuItem>& items) {
    if (depth > kMaxMenuDepth) return false;
    for (;;) {
        std::uint16_t flags;
        if (!c.u16(flags)) return false;
        MenuItem item;
        if (flags & kMfPopup) {
            item.popup = true;
            if (!c.string(item.text)) return false;
            if (!parseMenuItems(c, depth + 1, item.children)) return false;
        } else {
            if (!c.u16(item.id) || !c.string(item.text)) return false;
            item.separator = (flags & kMfSeparator) != 0 || (item.id == 0 && item.text.empty());
        }
        items.push_back(std::move(item));
        if (flags & kMfEnd) return true;
    }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Resource names.

ResId ResId::fromOrdinal(std::uint16_t n) {
    ResId id;
    id.isOrdinal = true;
    id.ordinal = n;
    return id;
}

ResId ResId::fromName(std::u16string_view s) {
    ResId id;
    id.isOrdinal = false;
    id.name = std::u16string(s);
    return id;
}

ResId ResId::fromPointer(LPCWSTR p) {
    if (IS_INTRESOURCE(p))
        return fromOrdinal(static_cast<std::uint16_t>(reinterpret_cast<std::uintptr_t>(p)));
    std::u16string_view s(p);
    // "#123" names the ordinal 123.
    if (s.size() > 1 && s.size() <= 6 && s[0] == u'#') {
        unsigned n = 0;
        bool digits = true;
        for (char16_t ch : s.substr(1)) {
            if (ch < u'0' || ch > u'9') {
                digits = false;
                break;
            }
            n = n * 10 + (ch - u'0');
        }
        if (digits && n <= 0xFFFF) return fromOrdinal(static_cast<std::uint16_t>(n));
    }
    return fromName(s);
}

bool ResId::matches(const ResId& other) const {
    if (isOrdinal != other.isOrdinal) return false;
    if (isOrdinal) return ordinal == other.ordinal;
    return equalsIgnoreAsciiCase(name, other.name);
}

std::uint16_t predefinedClass(const ResId& className) {
    if (className.isOrdinal)
        return className.ordinal >= 0x80 && className.ordinal <= 0x85 ? className.ordinal : 0;
    static constexpr std::pair<std::u16string_view, std::uint16_t> kNames[] = {
        {u"button", 0x80},  {u"edit", 0x81},      {u"static", 0x82},
        {u"listbox", 0x83}, {u"scrollbar", 0x84}, {u"combobox", 0x85},
    };
    for (const auto& [name, ordinal] : kNames)
        if (equalsIgnoreAsciiCase(className.name, name)) return ordinal;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// The .res image: a leading empty entry, then one entry per resource, each a header (sizes,
// type, name, flags, language) and its data, both starting on a four-byte boundary.

std::optional<ResourceImage> ResourceImage::parse(Bytes image, std::string* error) {
    ResourceImage result;
    std::size_t pos = 0;
    bool first = true;
    auto failAt = [&](std::size_t at, const std::string& what) {
        fail(error, "resource entry at offset " + std::to_string(at) + ": " + what);
        return std::nullopt;
    };
    if (image.empty()) {
        fail(error, "empty resource image");
        return std::nullopt;
    }
    while (pos < image.size()) {
        const std::size_t start = pos;
        Cursor c(image, start);
        std::uint32_t dataSize, headerSize;
        if (!c.u32(dataSize) || !c.u32(headerSize)) return failAt(start, "header truncated");
        if (headerSize < 32)
            return failAt(start, "header size " + std::to_string(headerSize) + " too small");
        if (headerSize > image.size() - start) return failAt(start, "header runs past the end");

        Cursor h(image.subspan(start, headerSize), 8);
        ResourceEntry entry;
        std::uint32_t dataVersion, version, characteristics;
        std::uint16_t memoryFlags;
        if (!h.stringOrOrdinal(entry.type) || !h.stringOrOrdinal(entry.name))
            return failAt(start, "type or name runs past the header");
        h.align4();
        if (!h.u32(dataVersion) || !h.u16(memoryFlags) || !h.u16(entry.language) ||
            !h.u32(version) || !h.u32(characteristics))
            return failAt(start, "header fields run past the header size");
        if (dataSize > image.size() - start - headerSize)
            return failAt(start, "data runs past the end");
        entry.data = image.subspan(start + headerSize, dataSize);

        if (first) {
            if (dataSize != 0 || !entry.type.isOrdinal || entry.type.ordinal != 0 ||
                !entry.name.isOrdinal || entry.name.ordinal != 0)
                return failAt(start, "not a 32-bit resource image (no leading empty entry)");
            first = false;
        } else {
            result.entries_.push_back(std::move(entry));
        }
        pos = start + headerSize + dataSize;
        // The last entry's padding may be missing.
        pos = std::min(image.size(), (pos + 3) & ~std::size_t{3});
    }
    return result;
}

const ResourceEntry* ResourceImage::find(const ResId& type, const ResId& name) const {
    for (const ResourceEntry& e : entries_)
        if (e.type.matches(type) && e.name.matches(name)) return &e;
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Strings: block n of type 6 holds strings 16(n-1) to 16(n-1)+15, each a length and that many
// UTF-16 units, no terminator.

std::optional<std::u16string> loadString(const ResourceImage& image, unsigned id) {
    if (id > 0xFFFF) return std::nullopt;
    const ResourceEntry* block = image.find(
        ResId::fromPointer(RT_STRING), ResId::fromOrdinal(static_cast<std::uint16_t>(id / 16 + 1)));
    if (!block) return std::nullopt;
    Cursor c(block->data);
    std::optional<std::u16string> found;
    for (unsigned i = 0; i < 16; ++i) {
        std::uint16_t length;
        if (!c.u16(length) || c.remaining() / 2 < length) return std::nullopt;
        if (i == id % 16 && length > 0) {
            std::u16string s(length, u'\0');
            const std::uint8_t* p = block->data.data() + c.pos();
            for (std::size_t k = 0; k < length; ++k)
                s[k] = static_cast<char16_t>(p[2 * k] | p[2 * k + 1] << 8);
            found = std::move(s);
        }
        c.skip(std::size_t{length} * 2);
    }
    return found;
}

// ---------------------------------------------------------------------------------------------
// Icons: a group (RT_GROUP_ICON) lists its images, each an icon resource (RT_ICON) by ordinal.

std::optional<Image> loadIcon(const ResourceImage& image, const ResId& group, int size) {
    const ResourceEntry* dir = image.find(ResId::fromPointer(RT_GROUP_ICON), group);
    if (!dir) return std::nullopt;
    Cursor c(dir->data);
    std::uint16_t reserved, type, count;
    if (!c.u16(reserved) || !c.u16(type) || !c.u16(count)) return std::nullopt;
    if (reserved != 0 || type != 1 || count == 0 || c.remaining() / 14 < count) return std::nullopt;

    int bestSize = 0;
    std::uint16_t bestId = 0;
    for (unsigned i = 0; i < count; ++i) {
        std::uint8_t width, height, colours, zero;
        std::uint16_t planes, bits, id;
        std::uint32_t bytes;
        if (!c.u8(width) || !c.u8(height) || !c.u8(colours) || !c.u8(zero) || !c.u16(planes) ||
            !c.u16(bits) || !c.u32(bytes) || !c.u16(id))
            return std::nullopt;
        const int w = width ? width : 256;
        // Largest not above the wanted size; failing that, the smallest.
        const bool better = bestSize == 0 || (w <= size ? (bestSize > size || w > bestSize)
                                                        : (bestSize > size && w < bestSize));
        if (better) {
            bestSize = w;
            bestId = id;
        }
    }
    const ResourceEntry* entry =
        image.find(ResId::fromPointer(RT_ICON), ResId::fromOrdinal(bestId));
    if (!entry) return std::nullopt;
    return decodeIconDib(entry->data);
}

// ---------------------------------------------------------------------------------------------
// Bitmaps.

std::optional<DibHeader> parseDib(Bytes dib) {
    std::optional<DibLayout> l = layoutDib(dib, false);
    if (!l) return std::nullopt;
    return l->header;
}

std::optional<Image> decodeDib(Bytes dib) {
    std::optional<DibLayout> l = layoutDib(dib, false);
    if (!l) return std::nullopt;
    return decodeColour(dib, *l);
}

// ---------------------------------------------------------------------------------------------
// Menus: a version word (0), the size of the header that follows, then the items.

std::optional<std::vector<MenuItem>> parseMenu(Bytes menu) {
    Cursor c(menu);
    std::uint16_t version, offset;
    if (!c.u16(version) || !c.u16(offset) || version != 0 || !c.skip(offset)) return std::nullopt;
    std::vector<MenuItem> items;
    if (!parseMenuItems(c, 0, items)) return std::nullopt;
    return items;
}

// ---------------------------------------------------------------------------------------------
// Dialog templates: the fixed head, menu, class, title and (with DS_SETFONT) the font; then
// each control on a four-byte boundary: fixed part, class, text and creation data.

std::optional<DialogTemplate> parseDialogTemplate(Bytes bytes, std::string* error) {
    DialogTemplate d;
    Cursor c(bytes);
    std::uint16_t count;
    auto failWith = [&](const std::string& reason) {
        fail(error, "dialog template: " + reason);
        return std::nullopt;
    };
    if (!c.u32(d.style) || !c.u32(d.exStyle) || !c.u16(count) || !c.i16(d.x) || !c.i16(d.y) ||
        !c.i16(d.cx) || !c.i16(d.cy))
        return failWith("header truncated");
    if ((d.style & 0xFFFF) == 1 && (d.style >> 16) == 0xFFFF)
        return failWith("extended templates are not supported");
    if (!c.noneOrdinalOrString(d.menu)) return failWith("menu name runs past the end");
    if (!c.noneOrdinalOrString(d.className)) return failWith("class name runs past the end");
    if (!c.string(d.title)) return failWith("title runs past the end");
    if (d.style & DS_SETFONT) {
        d.hasFont = true;
        if (!c.u16(d.pointSize) || !c.string(d.faceName)) return failWith("font runs past the end");
    }
    for (unsigned i = 0; i < count; ++i) {
        const std::string which = "control " + std::to_string(i + 1);
        DialogControl ctl;
        c.align4();
        if (!c.u32(ctl.style) || !c.u32(ctl.exStyle) || !c.i16(ctl.x) || !c.i16(ctl.y) ||
            !c.i16(ctl.cx) || !c.i16(ctl.cy) || !c.u16(ctl.id))
            return failWith(which + " truncated");
        if (!c.stringOrOrdinal(ctl.className)) return failWith(which + ": class runs past the end");
        if (!c.stringOrOrdinal(ctl.text)) return failWith(which + ": text runs past the end");
        std::uint16_t extra;
        if (!c.u16(extra) || c.remaining() < extra)
            return failWith(which + ": creation data runs past the end");
        const std::uint8_t* p = bytes.data() + c.pos();
        ctl.creationData.assign(p, p + extra);
        c.skip(extra);
        d.controls.push_back(std::move(ctl));
    }
    return d;
}

// ---------------------------------------------------------------------------------------------
// The store. Handles are small numbers in a range of their own per kind, so one of the wrong
// kind is never mistaken for another.

namespace {

constexpr std::uintptr_t kInstanceBase = 0x00400000;
constexpr std::uintptr_t kInstanceStep = 0x00010000;
constexpr std::size_t kMaxModules = 0xC0;  // instances stay below the resource range
constexpr std::uintptr_t kResourceBase = 0x01000000;
constexpr std::uintptr_t kIconBase = 0x02000000;
constexpr std::uintptr_t kBitmapBase = 0x03000000;
constexpr std::uintptr_t kBrushBase = 0x04000000;
constexpr std::uintptr_t kRangeSize = 0x01000000;

template <typename H>
H makeHandle(std::uintptr_t value) {
    return reinterpret_cast<H>(value);
}

// The index of a handle inside its kind's range, or nullopt when it belongs to another.
std::optional<std::uintptr_t> indexIn(const void* handle, std::uintptr_t base) {
    const auto v = reinterpret_cast<std::uintptr_t>(handle);
    if (v <= base || v >= base + kRangeSize) return std::nullopt;
    return v - base - 1;
}

}  // namespace

struct ResourceStore::State {
    struct Module {
        std::vector<std::uint8_t> bytes;  // our own copy: loaded resources outlive the caller's
        ResourceImage image;
    };
    std::vector<std::unique_ptr<Module>> modules;
    // HRSRC n+1 is resources[n]: (module, entry) pairs handed out by find.
    std::vector<std::pair<std::size_t, std::size_t>> resources;
    std::map<std::uintptr_t, Image> icons;
    std::map<std::uintptr_t, BitmapObject> bitmaps;
    std::uintptr_t nextIcon = 0;
    std::uintptr_t nextBitmap = 0;
};

ResourceStore::ResourceStore() : state_(std::make_unique<State>()) {}
ResourceStore::~ResourceStore() = default;

HINSTANCE ResourceStore::addModule(Bytes image, std::string* error) {
    if (state_->modules.size() >= kMaxModules) {
        fail(error, "too many modules");
        return nullptr;
    }
    auto module = std::make_unique<State::Module>();
    module->bytes.assign(image.begin(), image.end());
    std::optional<ResourceImage> parsed = ResourceImage::parse(module->bytes, error);
    if (!parsed) return nullptr;
    module->image = std::move(*parsed);
    state_->modules.push_back(std::move(module));
    return makeHandle<HINSTANCE>(kInstanceBase + kInstanceStep * (state_->modules.size() - 1));
}

const ResourceImage* ResourceStore::module(HINSTANCE instance) const {
    const auto v = reinterpret_cast<std::uintptr_t>(instance);
    if (v < kInstanceBase || (v - kInstanceBase) % kInstanceStep != 0) return nullptr;
    const std::size_t index = (v - kInstanceBase) / kInstanceStep;
    if (index >= state_->modules.size()) return nullptr;
    return &state_->modules[index]->image;
}

HINSTANCE ResourceStore::mainModule() const {
    return state_->modules.empty() ? nullptr : makeHandle<HINSTANCE>(kInstanceBase);
}

HRSRC ResourceStore::find(HINSTANCE instance, const ResId& name, const ResId& type) {
    const ResourceImage* image = module(instance);
    if (!image) return nullptr;
    const ResourceEntry* e = image->find(type, name);
    if (!e) return nullptr;
    const std::size_t moduleIndex =
        (reinterpret_cast<std::uintptr_t>(instance) - kInstanceBase) / kInstanceStep;
    const std::size_t entryIndex = static_cast<std::size_t>(e - image->entries().data());
    const std::pair<std::size_t, std::size_t> key{moduleIndex, entryIndex};
    auto& list = state_->resources;
    auto it = std::find(list.begin(), list.end(), key);
    if (it == list.end()) {
        if (list.size() + 1 >= kRangeSize) return nullptr;
        list.push_back(key);
        it = list.end() - 1;
    }
    return makeHandle<HRSRC>(kResourceBase + static_cast<std::uintptr_t>(it - list.begin()) + 1);
}

const ResourceEntry* ResourceStore::entry(HRSRC resource) const {
    std::optional<std::uintptr_t> index = indexIn(resource, kResourceBase);
    if (!index || *index >= state_->resources.size()) return nullptr;
    const auto [moduleIndex, entryIndex] = state_->resources[*index];
    return &state_->modules[moduleIndex]->image.entries()[entryIndex];
}

std::optional<Bytes> ResourceStore::bytesFrom(const void* p) const {
    if (!p) return std::nullopt;
    const auto address = reinterpret_cast<std::uintptr_t>(p);
    for (const auto& module : state_->modules) {
        for (const ResourceEntry& e : module->image.entries()) {
            const auto begin = reinterpret_cast<std::uintptr_t>(e.data.data());
            if (address >= begin && address - begin < e.data.size())
                return e.data.subspan(address - begin);
        }
    }
    return std::nullopt;
}

HICON ResourceStore::addIcon(Image image) {
    if (state_->nextIcon + 1 >= kRangeSize) return nullptr;
    const std::uintptr_t index = state_->nextIcon++;
    state_->icons.emplace(index, std::move(image));
    return makeHandle<HICON>(kIconBase + index + 1);
}

const Image* ResourceStore::icon(HICON icon) const {
    std::optional<std::uintptr_t> index = indexIn(icon, kIconBase);
    if (!index) return nullptr;
    auto it = state_->icons.find(*index);
    return it == state_->icons.end() ? nullptr : &it->second;
}

HBITMAP ResourceStore::addBitmap(BitmapObject bitmap) {
    if (state_->nextBitmap + 1 >= kRangeSize) return nullptr;
    const std::uintptr_t index = state_->nextBitmap++;
    state_->bitmaps.emplace(index, std::move(bitmap));
    return makeHandle<HBITMAP>(kBitmapBase + index + 1);
}

const BitmapObject* ResourceStore::bitmap(HBITMAP bitmap) const {
    std::optional<std::uintptr_t> index = indexIn(bitmap, kBitmapBase);
    if (!index) return nullptr;
    auto it = state_->bitmaps.find(*index);
    return it == state_->bitmaps.end() ? nullptr : &it->second;
}

bool ResourceStore::deleteObject(HGDIOBJ object) {
    std::optional<std::uintptr_t> index = indexIn(object, kBitmapBase);
    return index && state_->bitmaps.erase(*index) == 1;
}

HBRUSH ResourceStore::stockBrush(int index) const {
    if (index != WHITE_BRUSH && index != BLACK_BRUSH) return nullptr;
    return makeHandle<HBRUSH>(kBrushBase + static_cast<std::uintptr_t>(index) + 1);
}

std::optional<COLORREF> ResourceStore::brushColor(HBRUSH brush) const {
    if (brush == stockBrush(WHITE_BRUSH)) return COLORREF{0xFFFFFF};
    if (brush == stockBrush(BLACK_BRUSH)) return COLORREF{0};
    return std::nullopt;
}

}  // namespace kdev
