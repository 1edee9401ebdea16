// The module's resources: the .res image linked into the executable, and the decoders for
// each kind of resource. Every reader checks each size and offset before it reads; damaged
// input gives an empty result, never a read outside the bytes it was given.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "gfx/canvas.h"

namespace kdev {

using Bytes = std::span<const std::uint8_t>;

// A resource type or name: an ordinal or a string. String names compare case-insensitively
// (ASCII), as the platform does.
struct ResId {
    bool isOrdinal = true;
    std::uint16_t ordinal = 0;
    std::u16string name;

    static ResId fromOrdinal(std::uint16_t n);
    static ResId fromName(std::u16string_view s);
    // From the platform's LPCWSTR convention: a value below 0x10000 is an ordinal.
    static ResId fromPointer(LPCWSTR p);
    bool matches(const ResId& other) const;
};

struct ResourceEntry {
    ResId type;
    ResId name;
    std::uint16_t language = 0;
    Bytes data;
};

class ResourceImage {
public:
    // Parses a 32-bit .res image (the first, empty entry included). nullopt, with a reason,
    // when any header runs past the end or is malformed.
    static std::optional<ResourceImage> parse(Bytes image, std::string* error = nullptr);

    const ResourceEntry* find(const ResId& type, const ResId& name) const;
    const std::vector<ResourceEntry>& entries() const { return entries_; }

private:
    std::vector<ResourceEntry> entries_;
};

// String id from the string tables (blocks of 16); nullopt when absent or damaged.
std::optional<std::u16string> loadString(const ResourceImage& image, unsigned id);

// The image of icon group `group` closest to size x size (largest not above it, else the
// smallest); nullopt when absent or damaged. Supports 1, 4, 8, 24 and 32-bit DIB icons.
std::optional<Image> loadIcon(const ResourceImage& image, const ResId& group, int size);

// The information header of a device-independent bitmap (no file header).
struct DibHeader {
    std::int32_t width = 0;
    std::int32_t height = 0;  // rows, positive when stored bottom-up
    std::uint16_t bitsPerPixel = 0;
    std::uint32_t compression = 0;
    std::uint32_t headerSize = 0;
    std::uint32_t paletteEntries = 0;
};
// Checks the header and that every row the header promises lies inside the bytes.
std::optional<DibHeader> parseDib(Bytes dib);
// Decodes an uncompressed 1/4/8/24/32-bit DIB to an opaque image; nullopt when damaged.
std::optional<Image> decodeDib(Bytes dib);

struct MenuItem {
    std::u16string text;
    std::uint16_t id = 0;
    bool separator = false;
    std::vector<MenuItem> children;  // non-empty (or popup) for a pop-up
    bool popup = false;
};
// A standard (not extended) menu template; nullopt when damaged.
std::optional<std::vector<MenuItem>> parseMenu(Bytes menu);

struct DialogControl {
    std::uint32_t style = 0;
    std::uint32_t exStyle = 0;
    std::int16_t x = 0, y = 0, cx = 0, cy = 0;
    std::uint16_t id = 0;
    ResId className;  // ordinals: 0x80 button, 0x81 edit, 0x82 static, ...
    ResId text;       // a string, or an ordinal (a resource id, as for an icon)
    std::vector<std::uint8_t> creationData;
};

struct DialogTemplate {
    std::uint32_t style = 0;
    std::uint32_t exStyle = 0;
    std::int16_t x = 0, y = 0, cx = 0, cy = 0;
    ResId menu;       // ordinal 0: none
    ResId className;  // ordinal 0: the standard dialog class
    std::u16string title;
    bool hasFont = false;
    std::uint16_t pointSize = 0;
    std::u16string faceName;
    std::vector<DialogControl> controls;
};
// A standard (not extended) dialog template; nullopt, with a reason, when damaged.
std::optional<DialogTemplate> parseDialogTemplate(Bytes bytes, std::string* error = nullptr);
// The predefined control class a template's class stands for, whether written as an ordinal
// or by name (any case): 0x80 button, 0x81 edit, 0x82 static, 0x83 list box, 0x84 scroll bar,
// 0x85 combo box; 0 for any other class.
std::uint16_t predefinedClass(const ResId& className);

// A bitmap object created by LoadBitmapW.
struct BitmapObject {
    DibHeader header;
    Bytes dib;  // the resource bytes
};

// Modules, loaded resources and the drawing objects made from them, behind small handles.
class ResourceStore {
public:
    ResourceStore();
    ~ResourceStore();

    // Registers a module's .res image; null, with a reason, when the image is damaged.
    HINSTANCE addModule(Bytes image, std::string* error = nullptr);
    const ResourceImage* module(HINSTANCE instance) const;
    // The first module registered (the program's own), or null.
    HINSTANCE mainModule() const;

    HRSRC find(HINSTANCE instance, const ResId& name, const ResId& type);
    const ResourceEntry* entry(HRSRC resource) const;
    // The bytes from p to the end of the loaded resource that holds p; nullopt when p lies in
    // none (so a template handed over as a bare pointer can still be bounded).
    std::optional<Bytes> bytesFrom(const void* p) const;

    HICON addIcon(Image image);
    const Image* icon(HICON icon) const;
    HBITMAP addBitmap(BitmapObject bitmap);
    const BitmapObject* bitmap(HBITMAP bitmap) const;
    // Deletes a bitmap; false for stock objects and unknown handles.
    bool deleteObject(HGDIOBJ object);
    HBRUSH stockBrush(int index) const;
    std::optional<COLORREF> brushColor(HBRUSH brush) const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace kdev
