// Platform failures a test (or the host's --fail option) can switch on.
#pragma once

namespace kdev {

struct Faults {
    bool display = false;      // GXOpenDisplay fails
    bool framebuffer = false;  // GXBeginDraw returns null
    bool alloc = false;        // VirtualAlloc returns null
    bool bitmap = false;       // LoadBitmapW returns null
};

}  // namespace kdev
