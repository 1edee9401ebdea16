// Everything <windows.h> declares: the window system, message boxes and dialogs, resources
// and drawing objects, page allocation and the run-time library's generator. Each is a thin
// wrapper over the active device.
#include <windows.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "api/device_api.h"
#include "controls/dialog.h"
#include "controls/message_box.h"
#include "core/device.h"
#include "core/trace.h"
#include "instances/instances.h"
#include "resources/resources.h"
#include "wm/window_manager.h"

using kdev::Device;
using kdev::ResId;
using kdev::ResourceStore;
using kdev::TraceEvent;
using kdev::WindowManager;

namespace {

WindowManager& wm() { return Device::current().windows(); }

std::u16string_view text(LPCWSTR s) { return s ? std::u16string_view(s) : std::u16string_view(); }

ResourceStore& store() { return Device::current().resources(); }

// A null instance means the program's own module, the first one registered.
HINSTANCE moduleOrMain(HINSTANCE instance) { return instance ? instance : store().mainModule(); }

void traceName(TraceEvent& event, LPCWSTR name) {
    if (!name)
        event.field("name", 0);
    else if (IS_INTRESOURCE(name))
        event.field("name", static_cast<int>(LOWORD(name)));
    else
        event.field("name", std::u16string_view(name));
}

// Page allocations, by address, with their mapped length.
std::map<void*, std::size_t>& pageAllocations() {
    static std::map<void*, std::size_t> allocations;
    return allocations;
}

}  // namespace

extern "C" {

// ---------------------------------------------------------------------------------------------
// Windows and messages

BOOL WINAPI RegisterClassW(const WNDCLASSW* wc) {
    if (!wc || !wc->lpszClassName || IS_INTRESOURCE(wc->lpszClassName)) return FALSE;
    kdev::WindowClass cls;
    cls.name = wc->lpszClassName;
    cls.style = wc->style;
    cls.proc = wc->lpfnWndProc;
    cls.instance = wc->hInstance;
    cls.icon = wc->hIcon;
    cls.background = wc->hbrBackground;
    return wm().registerClass(cls) ? TRUE : FALSE;
}

HWND WINAPI CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR title, DWORD style, int x,
                            int y, int width, int height, HWND parent, HMENU menu, HINSTANCE,
                            LPVOID param) {
    if (!className || IS_INTRESOURCE(className)) return nullptr;
    const int id =
        (style & WS_CHILD) ? static_cast<int>(reinterpret_cast<std::uintptr_t>(menu)) : 0;
    return wm().create(exStyle, className, text(title), style, x, y, width, height, parent, id,
                       param);
}

BOOL WINAPI DestroyWindow(HWND window) { return wm().destroy(window) ? TRUE : FALSE; }

BOOL WINAPI ShowWindow(HWND window, int showMode) {
    return wm().show(window, showMode != SW_HIDE) ? TRUE : FALSE;
}

BOOL WINAPI UpdateWindow(HWND window) {
    if (!wm().get(window)) return FALSE;
    wm().update(window);
    return TRUE;
}

BOOL WINAPI IsWindow(HWND window) { return wm().get(window) ? TRUE : FALSE; }

BOOL WINAPI EnableWindow(HWND window, BOOL enable) {
    return wm().enable(window, enable != FALSE) ? TRUE : FALSE;
}

HWND WINAPI FindWindowW(LPCWSTR className, LPCWSTR title) {
    if (className && IS_INTRESOURCE(className)) return nullptr;
    if (HWND local =
            wm().find(text(className), text(title), className == nullptr, title == nullptr))
        return local;
    Device& device = Device::current();
    kdev::Instances* instances = device.instances();
    if (!instances || !className || !title) return nullptr;
    std::optional<kdev::RemoteWindow> remote = instances->find(className, title);
    if (!remote) return nullptr;
    return wm().foreignWindow(remote->pid, remote->handle);
}

BOOL WINAPI SetForegroundWindow(HWND window) { return wm().setForeground(window) ? TRUE : FALSE; }

BOOL WINAPI GetClientRect(HWND window, LPRECT rect) {
    kdev::Window* w = wm().get(window);
    if (!w || !rect) return FALSE;
    const kdev::Rect c = wm().clientRect(*w);
    rect->left = 0;
    rect->top = 0;
    rect->right = c.width();
    rect->bottom = c.height();
    return TRUE;
}

// The device's keys reach the program as WM_KEYDOWN (WM_SYSKEYDOWN for F10) with the key as
// wParam: each is its virtual-key code.
static_assert(static_cast<WPARAM>(kdev::Key::Return) == VK_RETURN &&
              static_cast<WPARAM>(kdev::Key::Escape) == VK_ESCAPE &&
              static_cast<WPARAM>(kdev::Key::Tab) == VK_TAB &&
              static_cast<WPARAM>(kdev::Key::Space) == VK_SPACE &&
              static_cast<WPARAM>(kdev::Key::Left) == VK_LEFT &&
              static_cast<WPARAM>(kdev::Key::Up) == VK_UP &&
              static_cast<WPARAM>(kdev::Key::Right) == VK_RIGHT &&
              static_cast<WPARAM>(kdev::Key::Down) == VK_DOWN &&
              static_cast<WPARAM>(kdev::Key::F10) == VK_F10);

BOOL WINAPI GetMessageW(LPMSG msg, HWND, UINT, UINT) {
    if (!msg) return FALSE;
    return wm().getMessage(*msg) ? TRUE : FALSE;
}

BOOL WINAPI TranslateMessage(const MSG*) { return FALSE; }

LRESULT WINAPI DispatchMessageW(const MSG* msg) { return msg ? wm().dispatch(*msg) : 0; }

LRESULT WINAPI SendMessageW(HWND window, UINT message, WPARAM first, LPARAM second) {
    return wm().send(window, message, first, second);
}

BOOL WINAPI PostMessageW(HWND window, UINT message, WPARAM first, LPARAM second) {
    return wm().post(window, message, first, second) ? TRUE : FALSE;
}

void WINAPI PostQuitMessage(int exitCode) { wm().postQuit(exitCode); }

LRESULT WINAPI DefWindowProcW(HWND window, UINT message, WPARAM first, LPARAM second) {
    return wm().defaultProc(window, message, first, second);
}

// ---------------------------------------------------------------------------------------------
// Message boxes and dialogs

int WINAPI MessageBoxW(HWND owner, LPCWSTR message, LPCWSTR caption, UINT) {
    return kdev::messageBox(owner, text(message), text(caption));
}

INT_PTR WINAPI DialogBoxIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW dialogTemplate,
                                       HWND owner, DLGPROC dialogProc, LPARAM param) {
    return kdev::runDialog(instance, dialogTemplate, owner, dialogProc, param);
}

BOOL WINAPI EndDialog(HWND dialog, INT_PTR result) {
    return kdev::endDialog(dialog, result) ? TRUE : FALSE;
}

// ---------------------------------------------------------------------------------------------
// Resources and drawing objects

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
        HRSRC found =
            resources.find(instance, ResId::fromPointer(name), ResId::fromPointer(RT_BITMAP));
        if (const kdev::ResourceEntry* entry = resources.entry(found)) {
            if (std::optional<kdev::DibHeader> header = kdev::parseDib(entry->data))
                bitmap = resources.addBitmap(kdev::BitmapObject{*header, entry->data});
        }
    }
    TraceEvent event(device.trace(), "LoadBitmapW");
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
    // LoadBitmapW makes a bitmap in the screen's format, as the platform's does: 16 bits a
    // pixel, whatever the resource's depth, in rows of whole 16-bit words.
    info.bmWidthBytes = static_cast<LONG>(static_cast<std::int64_t>(h.width) * 2);
    info.bmPlanes = 1;
    info.bmBitsPixel = 16;
    info.bmBits = nullptr;
    std::memcpy(buffer, &info, sizeof info);
    return static_cast<int>(sizeof(BITMAP));
}

BOOL WINAPI DeleteObject(HGDIOBJ object) {
    Device& device = Device::current();
    const bool ok = device.resources().deleteObject(object);
    TraceEvent(device.trace(), "DeleteObject")
        .field("handle", static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(object)))
        .field("ok", ok);
    return ok ? TRUE : FALSE;
}

// ---------------------------------------------------------------------------------------------
// Page allocation

LPVOID WINAPI VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType, DWORD protect) {
    Device* d = Device::active();
    const bool ok = size > 0 && !address && (allocationType & MEM_COMMIT) &&
                    protect == PAGE_READWRITE && !(d && d->faults().alloc);
    void* p = nullptr;
    if (ok) {
        const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        if (size <= SIZE_MAX - page) {
            const std::size_t bytes = (size + page - 1) / page * page;
            p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (p == MAP_FAILED) p = nullptr;
            if (p) pageAllocations()[p] = bytes;
        }
    }
    if (d)
        TraceEvent(d->trace(), "VirtualAlloc")
            .field("size", static_cast<std::int64_t>(size))
            .field("ok", p != nullptr);
    return p;
}

BOOL WINAPI VirtualFree(LPVOID address, SIZE_T size, DWORD freeType) {
    auto& allocations = pageAllocations();
    auto it = allocations.find(address);
    const bool ok = it != allocations.end() && freeType == MEM_RELEASE && size == 0;
    if (ok) {
        munmap(it->first, it->second);
        allocations.erase(it);
    }
    if (Device* d = Device::active()) TraceEvent(d->trace(), "VirtualFree").field("ok", ok);
    return ok ? TRUE : FALSE;
}

// ---------------------------------------------------------------------------------------------
// The run-time library

// The run-time library's generator: a 32-bit state starting at 1, never seeded. Hidden, so the
// executable does not export it: a shared library in the process that calls rand() (the
// PulseAudio library SDL brings along does) binds to the C library's, and leaves the program's
// sequence alone. Declared noexcept exactly when the C library's own declaration is (glibc's is,
// Emscripten's is not).
__attribute__((visibility("hidden"))) int rand(void) noexcept(noexcept(rand())) {
    Device* d = Device::active();
    static std::uint32_t detached = 1;
    std::uint32_t& state = d ? d->randState : detached;
    state = state * 214013u + 2531011u;
    return static_cast<int>((state >> 16) & 0x7FFF);
}

}  // extern "C"
