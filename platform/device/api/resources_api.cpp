// The platform's resource and drawing-object functions, on the active device's ResourceStore.
#include <windows.h>

#include <algorithm>
#include <cstring>

#include "core/device.h"
#include "resources/resources.h"
#include "core/trace.h"

using kdev::Device;
using kdev::ResId;
using kdev::ResourceStore;

namespace {

ResourceStore& store() { return Device::current().resources(); }

// A null instance means the program's own module, the first one registered.
HINSTANCE moduleOrMain(HINSTANCE instance) { return instance ? instance : store().mainModule(); }

void traceName(kdev::TraceEvent& event, LPCWSTR name) {
    if (!name)
        event.field("name", 0);
    else if (IS_INTRESOURCE(name))
        event.field("name", static_cast<int>(LOWORD(name)));
    else
        event.field("name", std::u16string_view(name));
}

}  // namespace

extern "C" {

HRSRC WINAPI FindResourceW(HINSTANCE instance, LPCWSTR name, LPCWSTR type) {
    if (!name || !type) return nullptr;
    return store().find(moduleOrMain(instance), ResId::fromPointer(name), ResId::fromPointer(type));
}

HGLOBAL WINAPI LoadResource(HINSTANCE, HRSRC resource) {
    const kdev::ResourceEntry* entry = store().entry(resource);
    if (!entry) return nullptr;
    // The bytes stay in the store for the rest of the run; the program only reads them.
    return const_cast<std::uint8_t*>(entry->data.data());
}

LPVOID WINAPI LockResource(HGLOBAL resource) { return resource; }

DWORD WINAPI SizeofResource(HINSTANCE, HRSRC resource) {
    const kdev::ResourceEntry* entry = store().entry(resource);
    return entry ? static_cast<DWORD>(entry->data.size()) : 0;
}

int WINAPI LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int bufferMax) {
    if (!buffer || bufferMax <= 0) return 0;
    buffer[0] = 0;
    const kdev::ResourceImage* image = store().module(moduleOrMain(instance));
    if (!image) return 0;
    std::optional<std::u16string> text = kdev::loadString(*image, id);
    if (!text) return 0;
    const std::size_t count = std::min(text->size(), static_cast<std::size_t>(bufferMax) - 1);
    std::copy_n(text->data(), count, buffer);
    buffer[count] = 0;
    return static_cast<int>(count);
}

HICON WINAPI LoadIconW(HINSTANCE instance, LPCWSTR name) {
    // A null instance asks for the system's own icons, which this device does not have.
    if (!instance || !name) return nullptr;
    const kdev::ResourceImage* image = store().module(instance);
    if (!image) return nullptr;
    std::optional<kdev::Image> icon = kdev::loadIcon(*image, ResId::fromPointer(name), 32);
    if (!icon) return nullptr;
    return store().addIcon(std::move(*icon));
}

HBITMAP WINAPI LoadBitmapW(HINSTANCE instance, LPCWSTR name) {
    Device& device = Device::current();
    HBITMAP bitmap = nullptr;
    if (!device.faults().bitmap && instance && name) {
        ResourceStore& resources = device.resources();
        HRSRC found = resources.find(instance, ResId::fromPointer(name), ResId::fromOrdinal(2));
        if (const kdev::ResourceEntry* entry = resources.entry(found)) {
            if (std::optional<kdev::DibHeader> header = kdev::parseDib(entry->data))
                bitmap = resources.addBitmap(kdev::BitmapObject{*header, entry->data});
        }
    }
    kdev::TraceEvent event(device.trace(), "LoadBitmapW");
    traceName(event, name);
    event.field("ok", bitmap != nullptr);
    return bitmap;
}

HGDIOBJ WINAPI GetStockObject(int object) { return store().stockBrush(object); }

int WINAPI GetObjectW(HGDIOBJ object, int size, LPVOID buffer) {
    const kdev::BitmapObject* bitmap = store().bitmap(static_cast<HBITMAP>(object));
    if (!bitmap) return 0;
    if (!buffer) return static_cast<int>(sizeof(BITMAP));
    if (size < static_cast<int>(sizeof(BITMAP))) return 0;
    const kdev::DibHeader& h = bitmap->header;
    BITMAP info{};
    info.bmType = 0;
    info.bmWidth = h.width;
    info.bmHeight = h.height < 0 ? -h.height : h.height;
    // Rows as the resource stores them: padded to four bytes.
    info.bmWidthBytes =
        static_cast<LONG>((static_cast<std::int64_t>(h.width) * h.bitsPerPixel + 31) / 32 * 4);
    info.bmPlanes = 1;
    info.bmBitsPixel = h.bitsPerPixel;
    info.bmBits = nullptr;
    std::memcpy(buffer, &info, sizeof info);
    return static_cast<int>(sizeof(BITMAP));
}

BOOL WINAPI DeleteObject(HGDIOBJ object) {
    Device& device = Device::current();
    const bool ok = device.resources().deleteObject(object);
    kdev::TraceEvent(device.trace(), "DeleteObject")
        .field("handle", static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(object)))
        .field("ok", ok);
    return ok ? TRUE : FALSE;
}

}  // extern "C"
