// gx.h: the handheld's direct display library: open the display, describe it, and hand out
// the frame buffer's address. Written by us for our emulated device: the library's names for
// what the program and the device use.
#pragma once

#include <windows.h>

// The display description, six 32-bit fields in this order.
struct GXDisplayProperties {
    DWORD width;        // pixels per row
    DWORD height;       // rows
    LONG xPitch;        // bytes from a pixel to its right-hand neighbour (may be negative)
    LONG yPitch;        // bytes from a pixel to the one below it (may be negative)
    LONG bitsPerPixel;  // colour depth
    DWORD formatFlags;  // kfDirect565 set: 5-6-5 packing; clear: 5-5-5
};

#define kfDirect 0x20
#define kfDirect555 0x40
#define kfDirect565 0x80

extern "C" {

int GXOpenDisplay(HWND window, DWORD flags);
GXDisplayProperties GXGetDisplayProperties(void);
void* GXBeginDraw(void);
int GXEndDraw(void);
int GXCloseDisplay(void);

}  // extern "C"
