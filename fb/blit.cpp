// The 24-bit bitmap conversion and the 16-bit image copy.
#include "fbview.h"

// Row strides: a 24-bit DIB row is padded to a multiple of 4 bytes, an Image16 row to an even
// number of pixels. Computed at full width (no 16-bit masks), so any width gets its real rows.
static size_t DibStride24(int width) { return ((size_t)width + 1) * 3 & ~(size_t)3; }
static size_t ImageStride16(int width) { return ((size_t)width + 1) & ~(size_t)1; }

// One blue-green-red triple as 5-6-5, blue in the top field.
static inline Image16 PackTriple(const BYTE* t) {
    return (Image16)(((t[0] & 0xF8) << 8) | ((t[1] & 0xFC) << 3) | (t[2] >> 3));
}

// x86-64 has byte shuffles from SSSE3 on, and 32-byte ones with AVX2, beyond the base
// instruction set the program is built for: there the row conversion is built once per level
// and the loader picks the one for the processor (ELF targets; elsewhere the one build).
#if defined(__x86_64__) && defined(__ELF__) && (defined(__GNUC__) || defined(__clang__))
#define FB_VECTOR_CLONES __attribute__((target_clones("default", "ssse3", "avx2")))
#else
#define FB_VECTOR_CLONES
#endif

// One row of width pixels, in blocks of 32 with a fixed count, which the compiler turns into
// vector code (de-interleaving loads, shifts and masks) where the target has byte shuffles;
// the bitmap and the image never overlap. The last block ends at the row's last pixel,
// overlapping the block before it and converting a few pixels twice to the same values; rows
// narrower than a block go pixel by pixel.
FB_VECTOR_CLONES
static void ConvertRow(const BYTE* __restrict triples, Image16* __restrict row, int width) {
    const int block = 32;
    if (width < block) {
        for (int j = 0; j < width; ++j) row[j] = PackTriple(triples + 3 * j);
        return;
    }
    for (int j = 0;; j += block) {
        if (j > width - block) j = width - block;
        for (int k = 0; k < block; ++k) row[j + k] = PackTriple(triples + 3 * (j + k));
        if (j == width - block) break;
    }
}

// Rows are stored bottom first after the 40-byte header, one blue-green-red triple per pixel;
// the image is top-down 5-6-5 with blue in the top field, whatever the display's format.
void ConvertDib24To16(const BYTE* dib, int width, int height, Image16* image) {
    if (dib == NULL || image == NULL || width <= 0 || height <= 0) return;
    const size_t s24 = DibStride24(width), s16 = ImageStride16(width);
    for (int i = 0; i < height; ++i, image += s16)
        ConvertRow(dib + 40 + (size_t)(height - 1 - i) * s24, image, width);
}

// Rows and columns that would fall outside the drawing area are left out; each visible row is
// one run of block moves when columns are adjacent in memory.
void FbBlitImage16(const Image16* image, int x, int y, int width, int height) {
    if (g_frameBuffer == NULL || image == NULL || width <= 0 || height <= 0) return;
    const FbArea area = FbDrawingArea();
    long long left = x, top = y, right = (long long)x + width, bottom = (long long)y + height;
    if (left < area.left) left = area.left;
    if (top < area.top) top = area.top;
    if (right > area.right) right = area.right;
    if (bottom > area.bottom) bottom = area.bottom;
    if (left >= right || top >= bottom) return;

    const size_t s16 = ImageStride16(width);
    const size_t columns = (size_t)(right - left);
    const Image16* source = image + (size_t)(top - y) * s16 + (size_t)(left - x);
    Pixel16* row = PixelAddress((int)left, (int)top);
    const ptrdiff_t stepX = FbStepX(), stepY = FbStepY();
    for (long long rows = bottom - top; rows != 0; --rows, source += s16, row += stepY) {
        if (stepX == 1) {
            FbCopyContiguous(row, source, columns);
        } else {
            Pixel16* p = row;
            for (size_t j = 0; j < columns; ++j, p += stepX) *p = source[j];
        }
    }
}
