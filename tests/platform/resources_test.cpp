// The resource reader: the program's compiled .res image, then hand-made and damaged inputs.
// Damaged inputs are always copied into a buffer of their own exact size, so a read past the
// end is caught by AddressSanitizer; those that end on an odd byte are also put right before
// an unreadable page, so that a read one byte too far crashes any build.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "core/device.h"
#include "resources/resources.h"
#include "core/screen.h"
#include "resources/resource.h"
#include "res_builder.h"

namespace kdev {
namespace {

using ByteVector = std::vector<std::uint8_t>;

const ByteVector& programRes() {
    static const ByteVector bytes = [] {
        std::ifstream in(KESTROVA_RES_FILE, std::ios::binary);
        return ByteVector(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }();
    return bytes;
}

const ResourceImage& programImage() {
    static const ResourceImage image = [] {
        std::string error;
        std::optional<ResourceImage> parsed = ResourceImage::parse(programRes(), &error);
        if (!parsed) ADD_FAILURE() << "program .res: " << error;
        return parsed.value_or(ResourceImage{});
    }();
    return image;
}

ByteVector resourceData(std::uint16_t type, const ResId& name) {
    const ResourceEntry* e = programImage().find(ResId::fromOrdinal(type), name);
    if (!e) return {};
    return ByteVector(e->data.begin(), e->data.end());
}

ByteVector prefix(const ByteVector& bytes, std::size_t length) {
    return ByteVector(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
}

using Writer = fixture::ByteWriter;

fixture::ResName resName(const ResId& id) {
    if (id.isOrdinal) return id.ordinal;
    return id.name;
}

using Entries = std::vector<std::pair<std::pair<ResId, ResId>, ByteVector>>;

fixture::ResBuilder resOf(const Entries& entries) {
    fixture::ResBuilder res;
    for (const auto& [id, data] : entries) res.add(resName(id.first), resName(id.second), data);
    return res;
}

// A .res image of the entries, padded as a resource compiler writes it.
ByteVector makeRes(const Entries& entries) { return resOf(entries).padded(); }

// A .res image together with the bytes its entries point into.
class ParsedRes {
public:
    explicit ParsedRes(ByteVector bytes)
        : bytes_(std::move(bytes)), image_(ResourceImage::parse(bytes_)) {}
    ParsedRes(const ParsedRes&) = delete;
    ParsedRes& operator=(const ParsedRes&) = delete;
    explicit operator bool() const { return image_.has_value(); }
    const ResourceImage& operator*() const { return *image_; }

private:
    ByteVector bytes_;
    std::optional<ResourceImage> image_;
};

// ---------------------------------------------------------------------------------------------
// The program's own resources.

TEST(ProgramResources, StringsForTitleAndClass) {
    EXPECT_EQ(loadString(programImage(), 1), u"Kestrova");
    EXPECT_EQ(loadString(programImage(), 3), u"KESTROVA");
    EXPECT_EQ(loadString(programImage(), 2), std::nullopt);   // in the block, empty
    EXPECT_EQ(loadString(programImage(), 16), std::nullopt);  // no such block
}

TEST(ProgramResources, ToolsMenuItemsInOrder) {
    std::optional<std::vector<MenuItem>> menu = parseMenu(resourceData(4, ResId::fromOrdinal(102)));
    ASSERT_TRUE(menu);
    ASSERT_EQ(menu->size(), 1u);
    const MenuItem& tools = (*menu)[0];
    EXPECT_TRUE(tools.popup);
    EXPECT_EQ(tools.text, u"Tools");
    struct Expected {
        std::u16string text;
        std::uint16_t id;
        bool separator;
    };
    const Expected expected[] = {
        {u"BitBlt", CMD_BITBLT, false},
        {u"Lines", CMD_LINES, false},
        {u"Circles", CMD_CIRCLES, false},
        {u"Clear Screen", CMD_CLEAR, false},
        {u"", 0, true},
        {u"About", CMD_ABOUT, false},
        {u"Exit", CMD_EXIT, false},
    };
    ASSERT_EQ(tools.children.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(tools.children[i].text, expected[i].text);
        EXPECT_EQ(tools.children[i].id, expected[i].id);
        EXPECT_EQ(tools.children[i].separator, expected[i].separator);
        EXPECT_FALSE(tools.children[i].popup);
    }
}

TEST(ProgramResources, IconGroupHasBothSizes) {
    // The group directory: two 16-colour images, 32 and 16 pixels square.
    ByteVector dir = resourceData(14, ResId::fromOrdinal(101));
    ASSERT_EQ(dir.size(), 6u + 2 * 14);
    EXPECT_EQ(dir[4], 2);
    for (int i = 0; i < 2; ++i) {
        const std::uint8_t* e = dir.data() + 6 + 14 * i;
        EXPECT_EQ(e[0], i == 0 ? 32 : 16);
        EXPECT_EQ(e[1], i == 0 ? 32 : 16);
        EXPECT_EQ(e[2], 16);  // colours
        EXPECT_EQ(e[6], 4);   // bits per pixel
    }
    struct Case {
        int wanted;
        int got;
    };
    for (Case c : {Case{32, 32}, Case{16, 16}, Case{24, 16}, Case{8, 16}, Case{48, 32}}) {
        SCOPED_TRACE(c.wanted);
        std::optional<Image> icon = loadIcon(programImage(), ResId::fromOrdinal(101), c.wanted);
        ASSERT_TRUE(icon);
        EXPECT_EQ(icon->width, c.got);
        EXPECT_EQ(icon->height, c.got);
        ASSERT_EQ(icon->pixels.size(), std::size_t(c.got * c.got));
        ASSERT_EQ(icon->opaque.size(), std::size_t(c.got * c.got));
        // A round badge: corners see through, the middle is drawn.
        EXPECT_EQ(icon->opaque[0], 0);
        EXPECT_EQ(icon->opaque[std::size_t(c.got * c.got - 1)], 0);
        EXPECT_EQ(icon->opaque[std::size_t(c.got / 2 * c.got + c.got / 2)], 1);
    }
    EXPECT_FALSE(loadIcon(programImage(), ResId::fromOrdinal(102), 32));
}

TEST(ProgramResources, ParrotBitmap) {
    const ResourceEntry* e = programImage().find(ResId::fromOrdinal(2), ResId::fromName(u"parrot"));
    ASSERT_TRUE(e);
    EXPECT_EQ(e->data.size(), 53860u);
    std::optional<DibHeader> h = parseDib(e->data);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->headerSize, 40u);
    EXPECT_EQ(h->width, 155);
    EXPECT_EQ(h->height, 115);
    EXPECT_EQ(h->bitsPerPixel, 24);
    EXPECT_EQ(h->compression, 0u);
    EXPECT_EQ(h->paletteEntries, 0u);
    const std::uint8_t* d = e->data.data();
    std::uint32_t rowBytes, ppmX, ppmY;
    std::memcpy(&rowBytes, d + 20, 4);
    std::memcpy(&ppmX, d + 24, 4);
    std::memcpy(&ppmY, d + 28, 4);
    EXPECT_EQ(rowBytes, 53820u);
    EXPECT_EQ(ppmX, 4724u);
    EXPECT_EQ(ppmY, 4724u);

    // Bottom-up: the top-left pixel is the first triple of the last stored row.
    std::optional<Image> image = decodeDib(e->data);
    ASSERT_TRUE(image);
    const std::uint8_t* top = d + 40 + 114 * 468;
    EXPECT_EQ(image->pixels[0], std::uint32_t(top[2] | top[1] << 8 | top[0] << 16));
    const std::uint8_t* bottomRight = d + 40 + 154 * 3;
    EXPECT_EQ(image->pixels.back(),
              std::uint32_t(bottomRight[2] | bottomRight[1] << 8 | bottomRight[0] << 16));
}

TEST(ProgramResources, ShortenedParrotIsRefused) {
    const ByteVector parrot = resourceData(2, ResId::fromName(u"PARROT"));
    ASSERT_EQ(parrot.size(), 53860u);
    // Every cut inside the header, then through the rows, and one byte short.
    for (std::size_t length = 0; length < parrot.size(); length += length < 64 ? 1 : 97) {
        ByteVector cut = prefix(parrot, length);
        EXPECT_FALSE(parseDib(cut)) << "cut at " << length;
        EXPECT_FALSE(decodeDib(cut)) << "cut at " << length;
    }
    EXPECT_FALSE(parseDib(prefix(parrot, parrot.size() - 1)));
}

TEST(ProgramResources, AboutDialogTemplate) {
    std::string error;
    std::optional<DialogTemplate> d =
        parseDialogTemplate(resourceData(5, ResId::fromOrdinal(103)), &error);
    ASSERT_TRUE(d) << error;
    EXPECT_EQ(d->style, 0x80C00840u);
    EXPECT_EQ(d->exStyle, 0x80000000u);
    EXPECT_EQ(d->x, 0);
    EXPECT_EQ(d->y, 0);
    EXPECT_EQ(d->cx, 139);
    EXPECT_EQ(d->cy, 106);
    EXPECT_TRUE(d->menu.isOrdinal && d->menu.ordinal == 0);
    EXPECT_TRUE(d->className.isOrdinal && d->className.ordinal == 0);
    EXPECT_EQ(d->title, u"About Kestrova");
    EXPECT_TRUE(d->hasFont);
    EXPECT_EQ(d->pointSize, 8);
    EXPECT_EQ(d->faceName, u"System");

    struct Expected {
        std::uint16_t cls;  // predefined class
        std::uint16_t id;
        std::int16_t x, y, cx, cy;
        std::uint32_t style;
        std::u16string text;  // empty: the icon's ordinal
    };
    const Expected expected[] = {
        {0x82, 0xFFFF, 10, 5, 20, 20, 0x50000003, u""},
        {0x82, 0xFFFF, 39, 10, 93, 8, 0x50020080, u"Kestrova Version 1.1"},
        {0x82, 0xFFFF, 20, 35, 95, 8, 0x50020001, u"By the Kestrova team"},
        {0x80, 1, 42, 84, 50, 14, 0x50010000, u"OK"},
        {0x82, 0xFFFF, 5, 50, 126, 25, 0x50020001,
         u"Cat photograph (CC0) by\nStefan van der Walt\nscikit-image.org"},
    };
    ASSERT_EQ(d->controls.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        const DialogControl& c = d->controls[i];
        const Expected& e = expected[i];
        EXPECT_EQ(predefinedClass(c.className), e.cls);
        EXPECT_EQ(c.id, e.id);
        EXPECT_EQ(c.x, e.x);
        EXPECT_EQ(c.y, e.y);
        EXPECT_EQ(c.cx, e.cx);
        EXPECT_EQ(c.cy, e.cy);
        EXPECT_EQ(c.style, e.style);
        EXPECT_EQ(c.exStyle, 0u);
        EXPECT_TRUE(c.creationData.empty());
        if (e.text.empty()) {
            EXPECT_TRUE(c.text.isOrdinal);
            EXPECT_EQ(c.text.ordinal, 101);
        } else {
            EXPECT_FALSE(c.text.isOrdinal);
            EXPECT_EQ(c.text.name, e.text);
        }
    }
}

// Every byte of the About dialog, as the template was first written (styles in hex): the
// header, no menu, the standard class, the title and font, then each control on a 4-byte
// boundary with its class by name (in capitals, as windres writes it too), its text or icon
// ordinal, and no creation data. The .rc names its styles; this holds them to the numbers.
TEST(ProgramResources, AboutDialogBytes) {
    Writer w;
    w.u32(0x80C00840).u32(0x80000000).u16(5).u16(0).u16(0).u16(139).u16(106);
    w.u16(0).u16(0).str(u"About Kestrova").u16(8).str(u"System");
    struct Control {
        std::uint32_t style;
        std::uint16_t x, y, cx, cy, id;
        std::u16string_view cls;
        std::u16string_view text;  // empty: icon 101's ordinal
    };
    const Control controls[] = {
        {0x50000003, 10, 5, 20, 20, 0xFFFF, u"STATIC", u""},
        {0x50020080, 39, 10, 93, 8, 0xFFFF, u"STATIC", u"Kestrova Version 1.1"},
        {0x50020001, 20, 35, 95, 8, 0xFFFF, u"STATIC", u"By the Kestrova team"},
        {0x50010000, 42, 84, 50, 14, 1, u"BUTTON", u"OK"},
        {0x50020001, 5, 50, 126, 25, 0xFFFF, u"STATIC",
         u"Cat photograph (CC0) by\nStefan van der Walt\nscikit-image.org"},
    };
    for (const Control& c : controls) {
        w.align4().u32(c.style).u32(0).u16(c.x).u16(c.y).u16(c.cx).u16(c.cy).u16(c.id).str(c.cls);
        if (c.text.empty())
            w.ord(101);
        else
            w.str(c.text);
        w.u16(0);
    }
    EXPECT_EQ(resourceData(5, ResId::fromOrdinal(103)), w.b);
}

// ---------------------------------------------------------------------------------------------
// Names.

TEST(ResId, MatchingAndPointers) {
    EXPECT_TRUE(ResId::fromName(u"Parrot").matches(ResId::fromName(u"PARROT")));
    EXPECT_FALSE(ResId::fromName(u"PARROT").matches(ResId::fromName(u"PARROTS")));
    EXPECT_FALSE(ResId::fromOrdinal(2).matches(ResId::fromName(u"2")));
    EXPECT_TRUE(ResId::fromOrdinal(7).matches(ResId::fromOrdinal(7)));

    ResId fromInt = ResId::fromPointer(MAKEINTRESOURCE(101));
    EXPECT_TRUE(fromInt.isOrdinal && fromInt.ordinal == 101);
    ResId hash = ResId::fromPointer(u"#103");
    EXPECT_TRUE(hash.isOrdinal && hash.ordinal == 103);
    for (const char16_t* s : {u"PARROT", u"#", u"#70000", u"#1x"}) {
        ResId named = ResId::fromPointer(s);
        EXPECT_FALSE(named.isOrdinal) << toUtf8(s);
        EXPECT_EQ(named.name, s);
    }
}

TEST(ResId, PredefinedClasses) {
    EXPECT_EQ(predefinedClass(ResId::fromName(u"static")), 0x82);
    EXPECT_EQ(predefinedClass(ResId::fromName(u"BUTTON")), 0x80);
    EXPECT_EQ(predefinedClass(ResId::fromOrdinal(0x82)), 0x82);
    EXPECT_EQ(predefinedClass(ResId::fromOrdinal(0x86)), 0);
    EXPECT_EQ(predefinedClass(ResId::fromName(u"KESTROVA")), 0);
}

// ---------------------------------------------------------------------------------------------
// Damaged .res images.

// Cutting the image anywhere gives either a shorter valid image (a cut at the end of an entry
// or inside its padding) or a clean failure.
TEST(ResourceImageDamage, EveryTruncationOfTheProgramImage) {
    const ByteVector& full = programRes();
    ASSERT_FALSE(programImage().entries().empty());
    // Each entry may end at the end of its data or anywhere in its padding; the leading
    // empty entry is 32 bytes.
    std::vector<std::pair<std::size_t, std::size_t>> validCuts = {{32, 32}};
    for (const ResourceEntry& e : programImage().entries()) {
        const std::size_t end =
            static_cast<std::size_t>(e.data.data() - full.data()) + e.data.size();
        validCuts.push_back({end, (end + 3) & ~std::size_t{3}});
    }
    for (std::size_t length = 0; length < full.size(); ++length) {
        ByteVector cut = prefix(full, length);
        std::string error;
        std::optional<ResourceImage> parsed = ResourceImage::parse(cut, &error);
        std::size_t entriesBefore = 0;
        bool valid = false;
        for (std::size_t k = 0; k < validCuts.size(); ++k) {
            if (length >= validCuts[k].first && length <= validCuts[k].second) {
                valid = true;
                entriesBefore = k;
            }
        }
        ASSERT_EQ(parsed.has_value(), valid) << "cut at " << length;
        if (parsed)
            EXPECT_EQ(parsed->entries().size(), entriesBefore) << "cut at " << length;
        else
            EXPECT_FALSE(error.empty());
    }
}

TEST(ResourceImageDamage, BrokenHeaders) {
    const ByteVector good =
        makeRes({{{ResId::fromOrdinal(6), ResId::fromOrdinal(1)}, ByteVector(32, 0)}});
    ASSERT_TRUE(ResourceImage::parse(good));

    auto patched = [&](std::size_t offset, std::uint32_t value) {
        ByteVector b = good;
        std::memcpy(b.data() + offset, &value, 4);
        return b;
    };
    struct Case {
        const char* what;
        ByteVector bytes;
    };
    const Case cases[] = {
        {"empty", {}},
        {"no leading empty entry", ByteVector(good.begin() + 32, good.end())},
        {"leading entry with data", patched(0, 4)},
        {"header size below the fixed fields", patched(32 + 4, 16)},
        {"huge header size", patched(32 + 4, 0xFFFFFFF0u)},
        {"huge data size", patched(32, 0xFFFFFFF0u)},
        {"data one byte past the end", patched(32, 33)},
        {"trailing bytes", Writer{good}.u16(0).b},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(ResourceImage::parse(c.bytes, &error)) << c.what;
        EXPECT_FALSE(error.empty()) << c.what;
    }

    // A type name whose terminator would lie past the header.
    Writer w{fixture::ResBuilder().bytes()};
    w.u32(0).u32(32);
    for (int i = 0; i < 12; ++i) w.u16('A');
    EXPECT_FALSE(ResourceImage::parse(w.b));
}

TEST(ResourceImageDamage, NamedEntriesAndLookup) {
    const ByteVector res = makeRes({
        {{ResId::fromName(u"CUSTOM"), ResId::fromName(u"First")}, {1, 2, 3}},
        {{ResId::fromOrdinal(2), ResId::fromOrdinal(7)}, {}},
    });
    std::optional<ResourceImage> image = ResourceImage::parse(res);
    ASSERT_TRUE(image);
    ASSERT_EQ(image->entries().size(), 2u);
    const ResourceEntry* first = image->find(ResId::fromName(u"custom"), ResId::fromName(u"FIRST"));
    ASSERT_TRUE(first);
    EXPECT_EQ(ByteVector(first->data.begin(), first->data.end()), (ByteVector{1, 2, 3}));
    EXPECT_EQ(first->language, 0x409);
    EXPECT_TRUE(image->find(ResId::fromOrdinal(2), ResId::fromOrdinal(7)));
    EXPECT_FALSE(image->find(ResId::fromOrdinal(7), ResId::fromOrdinal(2)));
}

// ---------------------------------------------------------------------------------------------
// Strings.

TEST(StringTable, DamagedBlocks) {
    // Block 1 (ids 0 to 15): id 1 is "Hi", the rest empty.
    Writer block;
    block.u16(0).u16(2).u16('H').u16('i');
    for (int i = 2; i < 16; ++i) block.u16(0);
    auto imageWith = [](const ByteVector& data) {
        return ParsedRes(makeRes({{{ResId::fromOrdinal(6), ResId::fromOrdinal(1)}, data}}));
    };
    ParsedRes whole = imageWith(block.b);
    ASSERT_TRUE(whole);
    EXPECT_EQ(loadString(*whole, 1), u"Hi");
    EXPECT_EQ(loadString(*whole, 0x10000), std::nullopt);

    for (std::size_t length = 0; length < block.b.size(); ++length) {
        ParsedRes image = imageWith(prefix(block.b, length));
        ASSERT_TRUE(image);
        EXPECT_EQ(loadString(*image, 1), std::nullopt) << "block cut at " << length;
    }
    // A length that runs past the block.
    Writer huge;
    huge.u16(0).u16(0xFFFF).u16('H');
    ParsedRes image = imageWith(huge.b);
    ASSERT_TRUE(image);
    EXPECT_EQ(loadString(*image, 1), std::nullopt);
}

// Bytes whose last one is the last readable byte before a page that cannot be read.
class GuardedBytes {
public:
    explicit GuardedBytes(const ByteVector& bytes)
        : page_(static_cast<std::size_t>(sysconf(_SC_PAGESIZE))), size_(bytes.size()) {
        void* map =
            mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (map == MAP_FAILED || size_ > page_) return;
        base_ = static_cast<std::uint8_t*>(map);
        std::memcpy(base_ + page_ - size_, bytes.data(), size_);
        if (mprotect(base_ + page_, page_, PROT_NONE) != 0) {
            munmap(base_, 2 * page_);
            base_ = nullptr;
        }
    }
    ~GuardedBytes() {
        if (base_) munmap(base_, 2 * page_);
    }
    GuardedBytes(const GuardedBytes&) = delete;
    GuardedBytes& operator=(const GuardedBytes&) = delete;
    explicit operator bool() const { return base_ != nullptr; }
    Bytes span() const { return {base_ + page_ - size_, size_}; }

private:
    std::size_t page_;
    std::size_t size_;
    std::uint8_t* base_ = nullptr;
};

// The image with its last entry's padding left off, so it ends where that entry's data does.
ByteVector unpadded(const Entries& entries) { return resOf(entries).bytes(); }

// Every reader of UTF-16 text, given bytes that end right before an unreadable page: the text
// that ends one byte short (on an odd byte) is refused, the one that ends exactly there is
// read whole, and neither is read past.
TEST(OddByteEnds, TextAtTheVeryEndIsReadExactlyOrRefused) {
    const ResId strings = ResId::fromOrdinal(6);
    // Block 1 (ids 0 to 15), id 15 last: "Hi", whole or one byte short.
    Writer block;
    for (int i = 0; i < 15; ++i) block.u16(0);
    block.u16(2).u16('H').u16('i');
    const ByteVector shortBlock = prefix(block.b, block.b.size() - 1);
    auto stringOf = [](Bytes image) -> std::optional<std::u16string> {
        std::optional<ResourceImage> parsed = ResourceImage::parse(image);
        if (!parsed) return std::nullopt;
        return loadString(*parsed, 15);
    };
    // A menu whose last item's text is "Go"; a dialog template that ends with its title "Ab".
    Writer menu;
    menu.u16(0).u16(0).u16(0x80).u16(7).str(u"Go");
    Writer dialog;
    dialog.u32(WS_POPUP).u32(0).u16(0).u16(0).u16(0).u16(10).u16(10).u16(0).u16(0).str(u"Ab");
    auto menuText = [](Bytes bytes) -> std::optional<std::u16string> {
        std::optional<std::vector<MenuItem>> items = parseMenu(bytes);
        if (!items || items->empty()) return std::nullopt;
        return items->back().text;
    };
    auto dialogTitle = [](Bytes bytes) -> std::optional<std::u16string> {
        std::optional<DialogTemplate> tpl = parseDialogTemplate(bytes);
        if (!tpl) return std::nullopt;
        return tpl->title;
    };

    struct Case {
        const char* name;
        ByteVector bytes;
        std::function<std::optional<std::u16string>(Bytes)> read;
        std::optional<std::u16string> expected;
    };
    const Case cases[] = {
        {"string table, whole", unpadded({{{strings, ResId::fromOrdinal(1)}, block.b}}), stringOf,
         u"Hi"},
        {"string table, one byte short", unpadded({{{strings, ResId::fromOrdinal(1)}, shortBlock}}),
         stringOf, std::nullopt},
        {"menu item text, whole", menu.b, menuText, u"Go"},
        {"menu item text, one byte short", prefix(menu.b, menu.b.size() - 1), menuText,
         std::nullopt},
        {"dialog title, whole", dialog.b, dialogTitle, u"Ab"},
        {"dialog title, one byte short", prefix(dialog.b, dialog.b.size() - 1), dialogTitle,
         std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GuardedBytes guarded(c.bytes);
        ASSERT_TRUE(guarded) << "no guarded page";
        EXPECT_EQ(c.read(guarded.span()), c.expected);
    }
}

// ---------------------------------------------------------------------------------------------
// Device-independent bitmaps and icons.

constexpr std::uint32_t kRed = 0x0000FF, kGreen = 0x00FF00, kBlue = 0xFF0000, kWhite = 0xFFFFFF,
                        kBlack = 0;

// A DIB of the top-down grid `colours` at `bpp`, stored bottom-up unless topDown. Palette
// depths use `palette` for the indices.
ByteVector makeDib(const std::vector<std::vector<std::uint32_t>>& colours, unsigned bpp,
                   const std::vector<std::uint32_t>& palette = {}, bool topDown = false,
                   bool icon = false, const std::vector<std::vector<int>>& transparent = {}) {
    const int h = static_cast<int>(colours.size());
    const int w = static_cast<int>(colours[0].size());
    const std::size_t stride = (std::size_t(w) * bpp + 31) / 32 * 4;
    Writer out;
    out.u32(40)
        .u32(std::uint32_t(w))
        .u32(std::uint32_t(icon      ? 2 * h
                           : topDown ? -h
                                     : h))
        .u16(1)
        .u16(bpp);
    out.u32(0).u32(0).u32(0).u32(0).u32(static_cast<std::uint32_t>(palette.size())).u32(0);
    for (std::uint32_t c : palette) out.u8(c >> 16 & 0xFF).u8(c >> 8 & 0xFF).u8(c & 0xFF).u8(0);
    for (int r = 0; r < h; ++r) {
        const auto& row = colours[std::size_t(topDown ? r : h - 1 - r)];
        ByteVector line(stride, 0);
        for (int x = 0; x < w; ++x) {
            const std::uint32_t c = row[std::size_t(x)];
            if (bpp <= 8) {
                unsigned index = 0;
                while (palette[index] != c) ++index;
                const unsigned perByte = 8 / bpp;
                line[std::size_t(x) / perByte] |=
                    static_cast<std::uint8_t>(index << (8 - bpp * (1 + x % perByte)));
            } else {
                std::uint8_t* q = line.data() + std::size_t(x) * (bpp / 8);
                q[0] = c >> 16 & 0xFF;
                q[1] = c >> 8 & 0xFF;
                q[2] = c & 0xFF;
            }
        }
        out.bytes(line);
    }
    if (icon) {
        const std::size_t maskStride = (std::size_t(w) + 31) / 32 * 4;
        for (int r = h - 1; r >= 0; --r) {
            ByteVector line(maskStride, 0);
            for (int x = 0; x < w; ++x)
                if (transparent[std::size_t(r)][std::size_t(x)])
                    line[std::size_t(x) / 8] |= 0x80 >> (x % 8);
            out.bytes(line);
        }
    }
    return out.b;
}

// 5 x 3: an odd width that leaves fill at the end of every row at every depth.
const std::vector<std::vector<std::uint32_t>> kGrid = {
    {kRed, kGreen, kBlue, kWhite, kBlack},
    {kBlue, kBlue, kRed, kRed, kGreen},
    {kWhite, kBlack, kWhite, kBlack, kRed},
};

TEST(Dib, DecodesEveryDepthBothRowOrders) {
    struct Case {
        unsigned bpp;
        std::vector<std::uint32_t> palette;
    };
    const std::vector<std::uint32_t> five = {kBlack, kRed, kGreen, kBlue, kWhite};
    const Case cases[] = {{4, five}, {8, five}, {24, {}}, {32, {}}};
    for (const Case& c : cases) {
        for (bool topDown : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.bpp << " bpp, top-down " << topDown);
            ByteVector dib = makeDib(kGrid, c.bpp, c.palette, topDown);
            std::optional<DibHeader> h = parseDib(dib);
            ASSERT_TRUE(h);
            EXPECT_EQ(h->width, 5);
            EXPECT_EQ(h->height, topDown ? -3 : 3);
            std::optional<Image> image = decodeDib(dib);
            ASSERT_TRUE(image);
            ASSERT_EQ(image->width, 5);
            ASSERT_EQ(image->height, 3);
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 5; ++x) {
                    EXPECT_EQ(image->pixels[std::size_t(y * 5 + x)],
                              kGrid[std::size_t(y)][std::size_t(x)])
                        << "(" << x << ", " << y << ")";
                    EXPECT_EQ(image->opaque[std::size_t(y * 5 + x)], 1);
                }
            // Every shorter copy is refused.
            for (std::size_t length = 0; length < dib.size(); ++length) {
                ByteVector cut = prefix(dib, length);
                EXPECT_FALSE(parseDib(cut)) << "cut at " << length;
                EXPECT_FALSE(decodeDib(cut)) << "cut at " << length;
            }
        }
    }
    // One bit per pixel, two colours.
    const std::vector<std::vector<std::uint32_t>> mono = {{kWhite, kBlack, kWhite},
                                                          {kBlack, kBlack, kWhite}};
    std::optional<Image> image = decodeDib(makeDib(mono, 1, {kBlack, kWhite}));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixels,
              (std::vector<std::uint32_t>{kWhite, kBlack, kWhite, kBlack, kBlack, kWhite}));
}

TEST(Dib, RefusesBrokenHeaders) {
    const ByteVector good = makeDib(kGrid, 24);
    auto with = [&](std::size_t offset, std::uint32_t value, int size = 4) {
        ByteVector b = good;
        std::memcpy(b.data() + offset, &value, std::size_t(size));
        return b;
    };
    struct Case {
        const char* what;
        ByteVector bytes;
    };
    const Case cases[] = {
        {"header size 12", with(0, 12)},
        {"header size past the end", with(0, 0x7FFFFFFF)},
        {"zero width", with(4, 0)},
        {"negative width", with(4, 0xFFFFFFFF)},
        {"huge width", with(4, 0x7FFFFFFF)},
        {"zero height", with(8, 0)},
        {"huge height", with(8, 0x7FFFFFFF)},
        {"most negative height", with(8, 0x80000000)},
        {"two planes", with(12, 2, 2)},
        {"16 bits per pixel", with(14, 16, 2)},
        {"compressed", with(16, 1)},
        {"bit fields", with(16, 3)},
        {"huge palette", with(32, 0x40000000)},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(parseDib(c.bytes)) << c.what;
        EXPECT_FALSE(decodeDib(c.bytes)) << c.what;
    }
    // A palette larger than the depth allows, or running past the end.
    ByteVector eight = makeDib(kGrid, 8, {kBlack, kRed, kGreen, kBlue, kWhite});
    std::uint32_t tooMany = 257;
    std::memcpy(eight.data() + 32, &tooMany, 4);
    EXPECT_FALSE(parseDib(eight));
}

TEST(Dib, IndexPastAShortPaletteIsBlack) {
    // A 4-bit image whose palette has two entries, pointing at entry 9.
    ByteVector dib = makeDib({{kRed, kGreen}}, 4, {kRed, kGreen});
    dib[dib.size() - 4] = 0x19;
    std::optional<Image> image = decodeDib(dib);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixels, (std::vector<std::uint32_t>{kGreen, kBlack}));
}

// An icon group 101 listing `images` (size, DIB), stored as icons 1, 2, ...
ByteVector makeIconRes(const std::vector<std::pair<int, ByteVector>>& images,
                       const ByteVector* dirOverride = nullptr) {
    Writer dir;
    dir.u16(0).u16(1).u16(static_cast<unsigned>(images.size()));
    for (std::size_t i = 0; i < images.size(); ++i)
        dir.u8(unsigned(images[i].first))
            .u8(unsigned(images[i].first))
            .u8(16)
            .u8(0)
            .u16(1)
            .u16(4)
            .u32(static_cast<std::uint32_t>(images[i].second.size()))
            .u16(unsigned(i + 1));
    // The images last, so the last one ends the buffer.
    Entries entries;
    entries.push_back(
        {{ResId::fromOrdinal(14), ResId::fromOrdinal(101)}, dirOverride ? *dirOverride : dir.b});
    for (std::size_t i = 0; i < images.size(); ++i)
        entries.push_back(
            {{ResId::fromOrdinal(3), ResId::fromOrdinal(std::uint16_t(i + 1))}, images[i].second});
    return makeRes(entries);
}

TEST(Icon, ColourAndMaskRowsInOrder) {
    const std::vector<std::vector<std::uint32_t>> colours = {{kRed, kGreen, kBlue},
                                                             {kWhite, kBlack, kRed}};
    const std::vector<std::vector<int>> clear = {{1, 0, 0}, {0, 0, 1}};
    struct Case {
        unsigned bpp;
        std::vector<std::uint32_t> palette;
    };
    const std::vector<std::uint32_t> palette = {kBlack, kRed, kGreen, kBlue, kWhite};
    for (const Case& c : {Case{4, palette}, Case{8, palette}, Case{24, {}}}) {
        SCOPED_TRACE(c.bpp);
        ByteVector dib = makeDib(colours, c.bpp, c.palette, false, true, clear);
        ParsedRes image(makeIconRes({{3, dib}}));
        ASSERT_TRUE(image);
        std::optional<Image> icon = loadIcon(*image, ResId::fromOrdinal(101), 32);
        ASSERT_TRUE(icon);
        ASSERT_EQ(icon->width, 3);
        ASSERT_EQ(icon->height, 2);
        EXPECT_EQ(icon->pixels,
                  (std::vector<std::uint32_t>{kRed, kGreen, kBlue, kWhite, kBlack, kRed}));
        EXPECT_EQ(icon->opaque, (std::vector<std::uint8_t>{0, 1, 1, 1, 1, 0}));

        // Any shorter icon image, the mask included, is refused.
        for (std::size_t length = 0; length < dib.size(); ++length) {
            ParsedRes cut(makeIconRes({{3, prefix(dib, length)}}));
            ASSERT_TRUE(cut);
            EXPECT_FALSE(loadIcon(*cut, ResId::fromOrdinal(101), 32)) << "cut at " << length;
        }
    }
}

TEST(Icon, ThirtyTwoBitAlphaDecidesWhatIsDrawn) {
    ByteVector dib = makeDib({{kRed, kGreen}}, 32, {}, false, true, {{0, 0}});
    dib[40 + 3] = 0xFF;  // first pixel opaque, second left at alpha 0
    ParsedRes image(makeIconRes({{2, dib}}));
    ASSERT_TRUE(image);
    std::optional<Image> icon = loadIcon(*image, ResId::fromOrdinal(101), 32);
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->opaque, (std::vector<std::uint8_t>{1, 0}));
}

TEST(Icon, DamagedGroups) {
    const ByteVector dib = makeDib({{kRed}}, 24, {}, false, true, {{0}});
    // Every shorter group directory is refused.
    Writer dir;
    dir.u16(0)
        .u16(1)
        .u16(1)
        .u8(1)
        .u8(1)
        .u8(0)
        .u8(0)
        .u16(1)
        .u16(24)
        .u32(std::uint32_t(dib.size()))
        .u16(1);
    for (std::size_t length = 0; length < dir.b.size(); ++length) {
        ByteVector cut = prefix(dir.b, length);
        ParsedRes image(makeIconRes({{1, dib}}, &cut));
        ASSERT_TRUE(image);
        EXPECT_FALSE(loadIcon(*image, ResId::fromOrdinal(101), 32)) << "cut at " << length;
    }
    struct Case {
        const char* what;
        std::size_t offset;
        unsigned value;
    };
    for (Case c : {Case{"reserved word", 0, 1}, Case{"cursor group", 2, 2}, Case{"no images", 4, 0},
                   Case{"huge count", 4, 0xFFFF}, Case{"missing image", 18, 9}}) {
        ByteVector broken = dir.b;
        broken[c.offset] = static_cast<std::uint8_t>(c.value);
        broken[c.offset + 1] = static_cast<std::uint8_t>(c.value >> 8);
        ParsedRes image(makeIconRes({{1, dib}}, &broken));
        ASSERT_TRUE(image);
        EXPECT_FALSE(loadIcon(*image, ResId::fromOrdinal(101), 32)) << c.what;
    }
    // An odd doubled height cannot split into colour and mask.
    ByteVector odd = dib;
    odd[8] = 3;
    ParsedRes image(makeIconRes({{1, odd}}));
    ASSERT_TRUE(image);
    EXPECT_FALSE(loadIcon(*image, ResId::fromOrdinal(101), 32));
}

// ---------------------------------------------------------------------------------------------
// Menus.

TEST(Menu, NestedPopupsAndSeparators) {
    Writer w;
    w.u16(0).u16(0);
    w.u16(0x10).str(u"File");
    w.u16(0).u16(100).str(u"New");
    w.u16(0x800).u16(0).str(u"");
    w.u16(0x10 | 0x80).str(u"More");
    w.u16(0x80).u16(101).str(u"Deep");
    w.u16(0x80).u16(102).str(u"Help");
    std::optional<std::vector<MenuItem>> menu = parseMenu(w.b);
    ASSERT_TRUE(menu);
    ASSERT_EQ(menu->size(), 2u);
    const MenuItem& file = (*menu)[0];
    ASSERT_EQ(file.children.size(), 3u);
    EXPECT_EQ(file.children[0].id, 100);
    EXPECT_TRUE(file.children[1].separator);
    EXPECT_TRUE(file.children[2].popup);
    ASSERT_EQ(file.children[2].children.size(), 1u);
    EXPECT_EQ(file.children[2].children[0].text, u"Deep");
    EXPECT_EQ((*menu)[1].id, 102);
    EXPECT_EQ((*menu)[1].text, u"Help");
    // Every shorter copy is refused: the last item is the only one that ends the menu.
    for (std::size_t length = 0; length < w.b.size(); ++length)
        EXPECT_FALSE(parseMenu(prefix(w.b, length))) << "cut at " << length;
}

TEST(Menu, DamagedTemplates) {
    const ByteVector program = resourceData(4, ResId::fromOrdinal(102));
    ASSERT_TRUE(parseMenu(program));
    for (std::size_t length = 0; length < program.size(); ++length)
        EXPECT_FALSE(parseMenu(prefix(program, length))) << "cut at " << length;

    ByteVector extended = program;
    extended[0] = 1;
    EXPECT_FALSE(parseMenu(extended));
    ByteVector bigOffset = program;
    bigOffset[2] = 0xFF;
    bigOffset[3] = 0xFF;
    EXPECT_FALSE(parseMenu(bigOffset));

    // A pop-up nested inside itself far deeper than any menu needs.
    Writer deep;
    deep.u16(0).u16(0);
    for (int i = 0; i < 5000; ++i) deep.u16(0x10 | 0x80).str(u"x");
    deep.u16(0x80).u16(1).str(u"y");
    EXPECT_FALSE(parseMenu(deep.b));
}

// ---------------------------------------------------------------------------------------------
// Dialog templates.

TEST(DialogTemplateDamage, EveryTruncationOfTheAboutDialog) {
    const ByteVector about = resourceData(5, ResId::fromOrdinal(103));
    ASSERT_FALSE(about.empty());
    for (std::size_t length = 0; length < about.size(); ++length) {
        std::string error;
        EXPECT_FALSE(parseDialogTemplate(prefix(about, length), &error)) << "cut at " << length;
        EXPECT_FALSE(error.empty());
    }
}

TEST(DialogTemplateDamage, BrokenFields) {
    const ByteVector about = resourceData(5, ResId::fromOrdinal(103));
    ASSERT_GE(about.size(), 18u);
    // More controls than the bytes hold.
    ByteVector many = about;
    many[8] = 0xFF;
    many[9] = 0xFF;
    EXPECT_FALSE(parseDialogTemplate(many));
    // The extended format's signature.
    ByteVector extended = about;
    extended[0] = 1;
    extended[1] = 0;
    extended[2] = 0xFF;
    extended[3] = 0xFF;
    EXPECT_FALSE(parseDialogTemplate(extended));

    // Hand-made: a title with no terminator, creation data past the end.
    Writer title;
    title.u32(0).u32(0).u16(0).u16(0).u16(0).u16(10).u16(10).u16(0).u16(0).u16('A').u16('B');
    EXPECT_FALSE(parseDialogTemplate(title.b));

    Writer control;
    control.u32(0).u32(0).u16(1).u16(0).u16(0).u16(10).u16(10).u16(0).u16(0).str(u"T");
    control.align4()
        .u32(0x50000000)
        .u32(0)
        .u16(1)
        .u16(2)
        .u16(3)
        .u16(4)
        .u16(7)
        .ord(0x81)
        .str(u"e")
        .u16(4);
    ByteVector withData = Writer{control.b}.u16(0xABCD).u16(0x1234).b;
    std::optional<DialogTemplate> d = parseDialogTemplate(withData);
    ASSERT_TRUE(d);
    EXPECT_TRUE(d->menu.isOrdinal && d->menu.ordinal == 0);
    EXPECT_FALSE(d->hasFont);
    ASSERT_EQ(d->controls.size(), 1u);
    EXPECT_EQ(d->controls[0].id, 7);
    EXPECT_EQ(predefinedClass(d->controls[0].className), 0x81);
    EXPECT_EQ(d->controls[0].creationData, (std::vector<std::uint8_t>{0xCD, 0xAB, 0x34, 0x12}));
    EXPECT_FALSE(parseDialogTemplate(Writer{control.b}.u16(0xABCD).b));
}

// ---------------------------------------------------------------------------------------------
// The store behind the platform functions.

TEST(ResourceStore, ModulesAndResourceHandles) {
    ResourceStore store;
    std::string error;
    EXPECT_FALSE(store.addModule(prefix(programRes(), 33), &error));
    EXPECT_FALSE(error.empty());

    HINSTANCE instance;
    const std::uint8_t* dialogStart;
    {
        // The store keeps its own copy: the caller's bytes may go away.
        ByteVector copy = programRes();
        instance = store.addModule(copy);
        ASSERT_TRUE(instance);
        HRSRC dialog = store.find(instance, ResId::fromOrdinal(103), ResId::fromOrdinal(5));
        ASSERT_TRUE(dialog);
        dialogStart = store.entry(dialog)->data.data();
        const auto start = reinterpret_cast<std::uintptr_t>(dialogStart);
        const auto copyStart = reinterpret_cast<std::uintptr_t>(copy.data());
        EXPECT_TRUE(start < copyStart || start >= copyStart + copy.size());
    }
    EXPECT_EQ(store.mainModule(), instance);
    EXPECT_EQ(store.module(instance)->entries().size(), programImage().entries().size());
    EXPECT_FALSE(store.module(nullptr));
    EXPECT_FALSE(
        store.module(reinterpret_cast<HINSTANCE>(reinterpret_cast<std::uintptr_t>(instance) + 1)));

    HRSRC dialog = store.find(instance, ResId::fromOrdinal(103), ResId::fromOrdinal(5));
    EXPECT_EQ(store.find(instance, ResId::fromOrdinal(103), ResId::fromOrdinal(5)), dialog);
    EXPECT_NE(store.find(instance, ResId::fromName(u"PARROT"), ResId::fromOrdinal(2)), dialog);
    EXPECT_FALSE(store.find(instance, ResId::fromOrdinal(103), ResId::fromOrdinal(2)));
    EXPECT_FALSE(store.find(nullptr, ResId::fromOrdinal(103), ResId::fromOrdinal(5)));
    EXPECT_FALSE(store.entry(nullptr));
    EXPECT_FALSE(
        store.entry(reinterpret_cast<HRSRC>(reinterpret_cast<std::uintptr_t>(dialog) + 100)));

    // A pointer into a loaded resource is bounded by that resource's end.
    const ResourceEntry* e = store.entry(dialog);
    ASSERT_TRUE(e);
    std::optional<Bytes> from = store.bytesFrom(e->data.data() + 18);
    ASSERT_TRUE(from);
    EXPECT_EQ(from->data(), e->data.data() + 18);
    EXPECT_EQ(from->size(), e->data.size() - 18);
    EXPECT_FALSE(store.bytesFrom(e->data.data() + e->data.size()));
    const ByteVector elsewhere(4);
    EXPECT_FALSE(store.bytesFrom(elsewhere.data()));
    EXPECT_FALSE(store.bytesFrom(nullptr));
}

TEST(ResourceStore, ObjectHandlesKeepToTheirKind) {
    ResourceStore store;
    Image image;
    image.width = image.height = 1;
    image.pixels = {kRed};
    image.opaque = {1};
    HICON icon = store.addIcon(image);
    ASSERT_TRUE(icon);
    ASSERT_TRUE(store.icon(icon));
    EXPECT_EQ(store.icon(icon)->pixels[0], kRed);

    const ResourceEntry* parrot =
        programImage().find(ResId::fromOrdinal(2), ResId::fromName(u"PARROT"));
    ASSERT_TRUE(parrot);
    HBITMAP bitmap = store.addBitmap({*parseDib(parrot->data), parrot->data});
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(store.bitmap(bitmap)->header.width, 155);

    HBRUSH black = store.stockBrush(BLACK_BRUSH);
    HBRUSH white = store.stockBrush(WHITE_BRUSH);
    ASSERT_TRUE(black && white);
    EXPECT_NE(black, white);
    EXPECT_EQ(store.brushColor(black), COLORREF{0});
    EXPECT_EQ(store.brushColor(white), COLORREF{0xFFFFFF});
    EXPECT_FALSE(store.stockBrush(1));
    EXPECT_FALSE(store.brushColor(nullptr));

    // No handle is taken for one of another kind.
    EXPECT_FALSE(store.bitmap(reinterpret_cast<HBITMAP>(icon)));
    EXPECT_FALSE(store.icon(reinterpret_cast<HICON>(bitmap)));
    EXPECT_FALSE(store.brushColor(reinterpret_cast<HBRUSH>(bitmap)));
    EXPECT_FALSE(store.deleteObject(icon));
    EXPECT_FALSE(store.deleteObject(black));
    EXPECT_FALSE(store.deleteObject(nullptr));

    EXPECT_TRUE(store.deleteObject(bitmap));
    EXPECT_FALSE(store.bitmap(bitmap));
    EXPECT_FALSE(store.deleteObject(bitmap));
    // A new bitmap never reuses a deleted one's handle.
    EXPECT_NE(store.addBitmap({*parseDib(parrot->data), parrot->data}), bitmap);
}

// ---------------------------------------------------------------------------------------------
// The platform functions, on a device of their own.

class NoFrontEnd : public FrontEnd {
public:
    bool waitEvent(InputEvent&) override { return false; }
    void present(const Screen&) override {}
    void raise() override {}
    void setWakeDescriptor(int) override {}
};

class ResourceFunctions : public testing::Test {
protected:
    void SetUp() override {
        std::string error;
        std::unique_ptr<Screen> screen = Screen::create(Geometry{}, &error);
        ASSERT_TRUE(screen) << error;
        DeviceOptions options;
        options.shareWindows = false;
        device_ = std::make_unique<Device>(std::move(screen), frontEnd_, options);
        instance_ = device_->resources().addModule(programRes());
        ASSERT_TRUE(instance_);
    }

    NoFrontEnd frontEnd_;
    std::unique_ptr<Device> device_;
    HINSTANCE instance_ = nullptr;
};

TEST_F(ResourceFunctions, LoadStringCopiesWhatFits) {
    struct Case {
        int bufferMax;
        int count;
        std::u16string text;
    };
    for (Case c : {Case{100, 8, u"Kestrova"}, Case{9, 8, u"Kestrova"}, Case{8, 7, u"Kestrov"},
                   Case{2, 1, u"K"}, Case{1, 0, u""}}) {
        SCOPED_TRACE(c.bufferMax);
        std::vector<WCHAR> buffer(std::size_t(c.bufferMax) + 1, u'#');
        EXPECT_EQ(LoadStringW(instance_, 1, buffer.data(), c.bufferMax), c.count);
        EXPECT_EQ(std::u16string(buffer.data()), c.text);
        EXPECT_EQ(buffer[std::size_t(c.bufferMax)], u'#');  // nothing written past the buffer
    }
    WCHAR buffer[4] = {u'#', u'#', u'#', u'#'};
    EXPECT_EQ(LoadStringW(instance_, 3, buffer, 0), 0);
    EXPECT_EQ(buffer[0], u'#');
    EXPECT_EQ(LoadStringW(instance_, 3, nullptr, 100), 0);
    EXPECT_EQ(LoadStringW(instance_, 2, buffer, 4), 0);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(LoadStringW(nullptr, 3, buffer, 4), 3);  // the program's own module
}

TEST_F(ResourceFunctions, FindAndLoadRawResources) {
    HRSRC dialog = FindResourceW(instance_, MAKEINTRESOURCE(103), RT_DIALOG);
    ASSERT_TRUE(dialog);
    const void* bytes = LockResource(LoadResource(instance_, dialog));
    ASSERT_TRUE(bytes);
    EXPECT_EQ(SizeofResource(instance_, dialog), resourceData(5, ResId::fromOrdinal(103)).size());
    EXPECT_EQ(std::memcmp(bytes, resourceData(5, ResId::fromOrdinal(103)).data(), 18), 0);
    HRSRC parrot = FindResourceW(instance_, u"PARROT", RT_BITMAP);
    ASSERT_TRUE(parrot);
    EXPECT_EQ(SizeofResource(instance_, parrot), 53860u);

    EXPECT_FALSE(FindResourceW(instance_, u"PARROT", RT_DIALOG));
    EXPECT_FALSE(FindResourceW(instance_, nullptr, RT_DIALOG));
    EXPECT_FALSE(LoadResource(instance_, nullptr));
    EXPECT_EQ(SizeofResource(instance_, nullptr), 0u);
}

TEST_F(ResourceFunctions, IconsBitmapsAndStockObjects) {
    HICON icon = LoadIconW(instance_, MAKEINTRESOURCE(101));
    ASSERT_TRUE(icon);
    const Image* image = device_->resources().icon(icon);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 32);
    EXPECT_EQ(image->height, 32);
    EXPECT_FALSE(LoadIconW(instance_, MAKEINTRESOURCE(999)));

    HBITMAP bitmap = LoadBitmapW(instance_, u"PARROT");
    ASSERT_TRUE(bitmap);
    BITMAP info{};
    EXPECT_EQ(GetObjectW(bitmap, sizeof info, &info), int(sizeof info));
    EXPECT_EQ(info.bmWidth, 155);
    EXPECT_EQ(info.bmHeight, 115);
    // A bitmap in the screen's 16-bit format, not the 24-bit resource it was made from.
    EXPECT_EQ(info.bmWidthBytes, 310);
    EXPECT_EQ(info.bmPlanes, 1);
    EXPECT_EQ(info.bmBitsPixel, 16);
    EXPECT_EQ(GetObjectW(bitmap, sizeof info - 1, &info), 0);
    EXPECT_EQ(GetObjectW(GetStockObject(BLACK_BRUSH), sizeof info, &info), 0);
    EXPECT_EQ(GetObjectW(icon, sizeof info, &info), 0);

    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_FALSE(DeleteObject(bitmap));
    EXPECT_EQ(GetObjectW(bitmap, sizeof info, &info), 0);
    EXPECT_FALSE(DeleteObject(GetStockObject(BLACK_BRUSH)));

    EXPECT_FALSE(LoadBitmapW(instance_, u"NOSUCH"));
    device_->faults().bitmap = true;
    EXPECT_FALSE(LoadBitmapW(instance_, u"PARROT"));

    EXPECT_EQ(device_->resources().brushColor(static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))),
              COLORREF{0});
    EXPECT_EQ(device_->resources().brushColor(static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH))),
              COLORREF{0xFFFFFF});
    EXPECT_FALSE(GetStockObject(2));
}

TEST_F(ResourceFunctions, BitmapFromADamagedResourceIsRefused) {
    ByteVector parrot = resourceData(2, ResId::fromName(u"PARROT"));
    ASSERT_FALSE(parrot.empty());
    const ByteVector res = makeRes(
        {{{ResId::fromOrdinal(2), ResId::fromName(u"SHORT")}, prefix(parrot, parrot.size() - 1)}});
    HINSTANCE other = device_->resources().addModule(res);
    ASSERT_TRUE(other);
    EXPECT_FALSE(LoadBitmapW(other, u"SHORT"));
}

}  // namespace
}  // namespace kdev
