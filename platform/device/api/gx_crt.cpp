// The display library and the run-time library's services.
#include <gx.h>
#include <sys/mman.h>
#include <unistd.h>

#include <map>

#include "core/device.h"

using kdev::Device;
using kdev::TraceEvent;

extern "C" {

int GXOpenDisplay(HWND, DWORD) {
    Device& d = Device::current();
    const bool ok = !d.faults().display;
    d.displayOpen = ok;
    TraceEvent(d.trace(), "GXOpenDisplay").field("ok", ok);
    return ok ? 1 : 0;
}

GXDisplayProperties GXGetDisplayProperties(void) {
    Device& d = Device::current();
    const kdev::Screen& s = d.screen();
    GXDisplayProperties p{};
    p.width = static_cast<DWORD>(s.width());
    p.height = static_cast<DWORD>(s.height());
    p.xPitch = s.xPitch();
    p.yPitch = s.yPitch();
    p.bitsPerPixel = 16;
    p.formatFlags =
        kfDirect | (s.format() == kdev::PixelFormat::Rgb565 ? kfDirect565 : kfDirect555);
    return p;
}

void* GXBeginDraw(void) {
    Device& d = Device::current();
    const bool ok = d.displayOpen && !d.faults().framebuffer;
    d.drawing = ok;
    TraceEvent(d.trace(), "GXBeginDraw").field("ok", ok);
    return ok ? d.screen().base() : nullptr;
}

int GXEndDraw(void) {
    Device& d = Device::current();
    const bool was = d.drawing;
    d.drawing = false;
    TraceEvent(d.trace(), "GXEndDraw").field("ok", was);
    // What the program drew is now final: show it.
    d.frontEnd().present(d.screen());
    return was ? 1 : 0;
}

int GXCloseDisplay(void) {
    Device& d = Device::current();
    const bool was = d.displayOpen;
    d.displayOpen = false;
    d.drawing = false;
    TraceEvent(d.trace(), "GXCloseDisplay").field("ok", was);
    return was ? 1 : 0;
}

// The run-time library's generator: a 32-bit state starting at 1, never seeded.
int rand(void) noexcept {
    Device* d = Device::active();
    static std::uint32_t detached = 1;
    std::uint32_t& state = d ? d->randState : detached;
    state = state * 214013u + 2531011u;
    return static_cast<int>((state >> 16) & 0x7FFF);
}

}  // extern "C"

namespace {
// Page allocations, by address, with their mapped length.
std::map<void*, std::size_t>& pageAllocations() {
    static std::map<void*, std::size_t> allocations;
    return allocations;
}
}  // namespace

extern "C" {

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

}  // extern "C"
