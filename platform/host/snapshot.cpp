#include "snapshot.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace khost {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File openForWriting(const std::string& path, std::string* error) {
    File f(std::fopen(path.c_str(), "wb"));
    if (!f && error) *error = "cannot write " + path + ": " + std::strerror(errno);
    return f;
}

}  // namespace

bool writePng(const std::string& path, const kdev::Screen& screen, std::string* error) {
    File file = openForWriting(path, error);
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, &info);
        if (error) *error = "cannot write " + path + ": out of memory";
        return false;
    }
    const int w = screen.width(), h = screen.height();
    std::vector<png_byte> row(static_cast<std::size_t>(w) * 3);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        if (error) *error = "cannot write " + path;
        return false;
    }
    png_init_io(png, file.get());
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
    if (std::fflush(file.get()) != 0) {
        if (error) *error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool writeDump(const std::string& path, const kdev::Screen& screen, std::string* error) {
    File file = openForWriting(path, error);
    if (!file) return false;
    std::vector<unsigned char> row(static_cast<std::size_t>(screen.width()) * 2);
    for (int y = 0; y < screen.height(); ++y) {
        for (int x = 0; x < screen.width(); ++x) {
            const std::uint16_t v = screen.get(x, y);
            row[static_cast<std::size_t>(x) * 2] = static_cast<unsigned char>(v & 0xFF);
            row[static_cast<std::size_t>(x) * 2 + 1] = static_cast<unsigned char>(v >> 8);
        }
        if (std::fwrite(row.data(), 1, row.size(), file.get()) != row.size()) {
            if (error) *error = "cannot write " + path + ": " + std::strerror(errno);
            return false;
        }
    }
    if (std::fflush(file.get()) != 0) {
        if (error) *error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace khost
