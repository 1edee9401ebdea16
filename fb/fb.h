// The frame-buffer view and the primitives that draw into it. Only this folder knows the
// pixel formats and the pitches; demos speak in coordinates and colours.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <gx.h>

// A colour laid out 0x00BBGGRR: red in bits 0-7, green 8-15, blue 16-23; bits 24-31 ignored.
typedef DWORD ColorRef;

// One frame-buffer pixel, blue in the top field: 5-6-5 (bbbbbggggggrrrrr) or
// 5-5-5 (0bbbbbgggggrrrrr).
typedef unsigned short Pixel16;

// A top-down 16-bit image in 5-6-5, addressed by its first pixel; each row holds
// (width + 1) & ~1 pixels, of which the first width are used.
typedef Pixel16 Image16;

// The drawing target: the frame buffer, the display description and the command bar's
// height, below which all drawing happens. Defined and owned here; set through FbAttach.
extern Pixel16* g_frameBuffer;         // base from GXBeginDraw, or null
extern GXDisplayProperties g_display;  // copy of the display description
extern int g_barHeight;                // command bar height in pixels

// Points the view at a frame buffer: its base (null: nothing is drawn), a copy of the display's
// description, and barTop, the command bar's height: the drawing area's first row.
void FbAttach(Pixel16* base, GXDisplayProperties display, int barTop);

// Back to the state before start-up: no frame buffer, an empty description and the platform's
// command bar height (COMMANDBAR_HEIGHT), which g_barHeight holds until the main window's
// creation stores its bar's own.
void FbDetach(void);

// Address of pixel (x, y): g_frameBuffer + x * (xPitch / 2) + y * (yPitch / 2) pixels.
Pixel16* PixelAddress(int x, int y);

// A ColorRef packed for the display: 5-6-5 when formatFlags has kfDirect565, else 5-5-5.
Pixel16 PackColor(ColorRef color);

// Sets every pixel of the window's client area below the command bar to 0.
void FbClearDrawingArea(HWND window);

// The same for a client rectangle already read (right and bottom exclusive).
void FbClearClientRect(const RECT* client);

// Line from (x1, y1) toward (x2, y2) until the major coordinate reaches the far end.
void FbDrawLine(int x1, int y1, int x2, int y2, ColorRef color);

// Filled disc of the given radius around (cx, cy); nothing for a radius below 1.
void FbFillCircle(int cx, int cy, int radius, ColorRef color);

// The four horizontal runs of one step of the disc algorithm, with an already packed pixel.
void FbFillCircleRows(int cx, int cy, int x, int y, Pixel16 pixel);

// 24-bit bottom-up DIB (header first) to a top-down 5-6-5 Image16.
void ConvertDib24To16(const BYTE* dib, int width, int height, Image16* image);

// Copies an Image16 to the frame buffer with its top-left pixel at (x, y).
void FbBlitImage16(const Image16* image, int x, int y, int width, int height);
