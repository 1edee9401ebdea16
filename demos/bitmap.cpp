// The BitBlt demonstration: the "PARROT" bitmap converted to 16 bits once, then copied down
// the drawing area in steps of 3 pixels right and 3 down, leaving a trail of its edges.
#include "demos.h"

// Little-endian fields of the bitmap's information header.
static LONG ReadLong(const BYTE* p) {
    return (LONG)((DWORD)p[0] | ((DWORD)p[1] << 8) | ((DWORD)p[2] << 16) | ((DWORD)p[3] << 24));
}
static WORD ReadWord(const BYTE* p) { return (WORD)(p[0] | (p[1] << 8)); }

// The resource's pixels, or null when it is missing or is not the uncompressed bottom-up
// 24-bit bitmap of width x height that the conversion reads: a 40-byte header, then height
// rows of ((width + 1) * 3) & ~3 bytes.
static const BYTE* FindParrotDib(int width, int height) {
    HRSRC resource = FindResourceW(g_hInstance, TEXT("PARROT"), RT_BITMAP);
    if (resource == NULL) return NULL;
    HGLOBAL loaded = LoadResource(g_hInstance, resource);
    if (loaded == NULL) return NULL;
    const BYTE* dib = (const BYTE*)LockResource(loaded);
    if (dib == NULL) return NULL;
    const unsigned long long size = SizeofResource(g_hInstance, resource);
    const unsigned long long rows =
        (unsigned long long)height * ((((unsigned long long)width + 1) * 3) & ~3ULL);
    if (size < 40 || size - 40 < rows) return NULL;
    if (ReadLong(dib) != 40 || ReadLong(dib + 4) != width || ReadLong(dib + 8) != height ||
        ReadWord(dib + 14) != 24 || ReadLong(dib + 16) != 0)
        return NULL;
    return dib;
}

void RunBitmapDemo(HWND window) {
    RECT client = {0, 0, 0, 0};
    if (!GetClientRect(window, &client)) return;
    BITMAP info;
    if (g_parrotBitmap == NULL || GetObjectW(g_parrotBitmap, sizeof(info), &info) == 0) return;
    const int width = info.bmWidth, height = info.bmHeight;
    if (width <= 0 || height <= 0) return;

    // One buffer of height 24-bit rows, which is more than the 16-bit image needs.
    const unsigned long long bytes =
        (unsigned long long)height * ((((unsigned long long)width + 1) * 3) & ~3ULL);
    if (bytes > (SIZE_T)-1) return;
    Image16* image = (Image16*)VirtualAlloc(NULL, (SIZE_T)bytes, MEM_COMMIT, PAGE_READWRITE);
    if (image == NULL) return;
    const BYTE* dib = FindParrotDib(width, height);
    if (dib != NULL) {
        ConvertDib24To16(dib, width, height, image);
        BitmapDemoDraw(client.right, client.bottom, image, width, height);
    }
    VirtualFree(image, 0, MEM_RELEASE);
}

// Copies at (k, bar + k) for k = 0, 3, 6, ... while the copy fits: k below right - width and
// the copy's last row above bottom.
void BitmapDemoDraw(int right, int bottom, const Image16* image, int width, int height) {
    if ((long long)right - width <= 0) return;
    long long k = 0;
    do {
        const int bar = g_barHeight;
        if (bar + k + height > bottom) break;
        FbBlitImage16(image, (int)k, (int)(bar + k), width, height);
        k += 3;
    } while (k < (long long)right - width);
}
