#include "snapshot.h"

#include <png.h>

#include <cerrno>
#include <ctime>
#include <csetjmp>
#include <new>
#include <vector>

#include "core/output_file.h"
#include "rgba.h"

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
    const RgbaRows rows(screen);
    std::vector<std::uint32_t> row(static_cast<std::size_t>(w));
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
    png_set_filler(png, 0, PNG_FILLER_AFTER);  // the rows' fourth byte is not written
    for (int y = 0; y < h; ++y) {
        rows.row(screen, y, row.data());
        png_write_row(png, reinterpret_cast<png_const_bytep>(row.data()));
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

std::filesystem::path screenshotPath(const std::filesystem::path& folder) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string base = std::string("kestrova-") + stamp;
    std::filesystem::path path = folder / (base + ".png");
    std::error_code ec;
    for (int n = 2; std::filesystem::exists(path, ec) && n < 1000; ++n)
        path = folder / (base + "-" + std::to_string(n) + ".png");
    return std::filesystem::absolute(path, ec);
}

}  // namespace khost
