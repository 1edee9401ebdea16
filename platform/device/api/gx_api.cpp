// Everything <gx.h> declares: the display library, on the active device's screen.
#include <gx.h>

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

}  // extern "C"
