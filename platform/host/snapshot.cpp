#include "snapshot.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <new>
#include <vector>

#include "core/output_file.h"

namespace khost {

namespace {

// libpng reports through these instead of printing: a write error or its own failure ends the
// picture, and warnings are of no use to anyone here.
void pngWrite(png_structp png, png_bytep data, png_size_t size) {
    auto* file = static_cast<kdev::OutputFile*>(png_get_io_ptr(png));
    bool ok = false;
    try {  // nothing may unwind through libpng
        ok = file->write(data, size);
    } catch (const std::bad_alloc&) {
        file->fail(ENOMEM);
    }
    if (!ok) png_error(png, "write");
}

void pngFlush(png_structp) {}

void pngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

void pngWarning(png_structp, png_const_charp) {}

}  // namespace

bool writePng(const std::string& path, const kdev::Screen& screen, std::string* error) {
    const int w = screen.width(), h = screen.height();
    std::vector<png_byte> row(static_cast<std::size_t>(w) * 3);
    kdev::OutputFile file;
    if (!file.open(path, error)) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, pngError, pngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, &info);
        file.fail(ENOMEM);
        return file.commit(error);
    }
    // Nothing with a destructor is made between here and the rows' end: png_error jumps back.
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        file.fail(ENOMEM);  // unless a write failed first, the encoder ran out of memory
        return file.commit(error);
    }
    png_set_write_fn(png, &file, pngWrite, pngFlush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const std::uint32_t c = screen.unpack(screen.get(x, y));
            png_byte* p = &row[static_cast<std::size_t>(x) * 3];
            p[0] = static_cast<png_byte>(c & 0xFF);
            p[1] = static_cast<png_byte>((c >> 8) & 0xFF);
            p[2] = static_cast<png_byte>((c >> 16) & 0xFF);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return file.commit(error);
}

bool writeDump(const std::string& path, const kdev::Screen& screen, std::string* error) {
    std::vector<unsigned char> row(static_cast<std::size_t>(screen.width()) * 2);
    kdev::OutputFile file;
    if (!file.open(path, error)) return false;
    for (int y = 0; y < screen.height(); ++y) {
        for (int x = 0; x < screen.width(); ++x) {
            const std::uint16_t v = screen.get(x, y);
            row[static_cast<std::size_t>(x) * 2] = static_cast<unsigned char>(v & 0xFF);
            row[static_cast<std::size_t>(x) * 2 + 1] = static_cast<unsigned char>(v >> 8);
        }
        if (!file.write(row.data(), row.size())) break;
    }
    return file.commit(error);
}

}  // namespace khost
