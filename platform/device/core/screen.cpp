#include "core/screen.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

namespace kdev {

std::unique_ptr<Screen> Screen::create(const Geometry& g, std::string* error) {
    if (g.width < 1 || g.width > kMaxScreenSide || g.height < 1 || g.height > kMaxScreenSide) {
        if (error) *error = "display sides must be 1 to " + std::to_string(kMaxScreenSide);
        return nullptr;
    }
    std::unique_ptr<Screen> s(new Screen());
    s->geometry_ = g;
    const std::size_t w = static_cast<std::size_t>(g.width);
    const std::size_t h = static_cast<std::size_t>(g.height);
    std::size_t rowPixels = g.layout == Layout::Padded ? w + kPadPixels : w;
    s->memoryPixels_ = g.layout == Layout::Rotated ? w * h : rowPixels * h;

    // The pixels sit flush against a guard page at the end and have one before them, so a
    // stray write just outside the screen memory faults instead of corrupting the heap. In
    // WebAssembly (the web page) mprotect does nothing and the guards guard nothing: there the
    // native builds' tests are what catch an overrun (docs/robustness.md).
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t bytes = s->memoryPixels_ * 2;
    const std::size_t body = (bytes + page - 1) / page * page;
    s->mappingBytes_ = body + 2 * page;
    void* map = mmap(nullptr, s->mappingBytes_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED) {
        if (error) *error = "cannot allocate screen memory";
        return nullptr;
    }
    auto* bytesPtr = static_cast<unsigned char*>(map);
    if (mprotect(bytesPtr + page, body, PROT_READ | PROT_WRITE) != 0) {
        munmap(map, s->mappingBytes_);
        if (error) *error = "cannot allocate screen memory";
        return nullptr;
    }
    s->mapping_ = map;
    s->memory_ = reinterpret_cast<std::uint16_t*>(bytesPtr + page + body - bytes);
    std::memset(s->memory_, 0, bytes);

    switch (g.layout) {
        case Layout::Normal:
        case Layout::Padded:
            s->xPitch_ = 2;
            s->yPitch_ = static_cast<int>(rowPixels * 2);
            s->base_ = s->memory_;
            break;
        case Layout::Mirrored:
            s->xPitch_ = -2;
            s->yPitch_ = static_cast<int>(w * 2);
            s->base_ = s->memory_ + (w - 1);
            break;
        case Layout::Rotated:
            s->xPitch_ = static_cast<int>(h * 2);
            s->yPitch_ = -2;
            s->base_ = s->memory_ + (h - 1);
            break;
    }
    return s;
}

std::unique_ptr<Screen> Screen::adopt(int width, int height, PixelFormat format,
                                      std::uint16_t* memory, int rowBytes, std::string* error) {
    if (width < 1 || width > kMaxScreenSide || height < 1 || height > kMaxScreenSide) {
        if (error) *error = "display sides must be 1 to " + std::to_string(kMaxScreenSide);
        return nullptr;
    }
    if (!memory || rowBytes < width * 2 || rowBytes % 2 != 0) {
        if (error)
            *error = "rows of " + std::to_string(rowBytes) + " bytes cannot hold " +
                     std::to_string(width) + " 16-bit pixels";
        return nullptr;
    }
    std::unique_ptr<Screen> s(new Screen());
    s->geometry_ = {width, height, format, rowBytes == width * 2 ? Layout::Normal : Layout::Padded};
    s->xPitch_ = 2;
    s->yPitch_ = rowBytes;
    s->memory_ = memory;
    s->base_ = memory;
    s->memoryPixels_ = static_cast<std::size_t>(rowBytes / 2) * static_cast<std::size_t>(height);
    return s;
}

Screen::~Screen() {
    if (mapping_) munmap(mapping_, mappingBytes_);
}

std::uint16_t Screen::pack(std::uint32_t c) const {
    if (geometry_.format == PixelFormat::Rgb565)
        return static_cast<std::uint16_t>(((c >> 8) & 0xF800) | ((c >> 5) & 0x7E0) |
                                          ((c >> 3) & 0x1F));
    return static_cast<std::uint16_t>(((c >> 9) & 0x7C00) | ((c >> 6) & 0x3E0) | ((c >> 3) & 0x1F));
}

std::uint32_t Screen::unpack(std::uint16_t p) const {
    const unsigned r = expand5(p & 0x1F);
    unsigned g, b;
    if (geometry_.format == PixelFormat::Rgb565) {
        g = expand6((p >> 5) & 0x3F);
        b = expand5((p >> 11) & 0x1F);
    } else {
        g = expand5((p >> 5) & 0x1F);
        b = expand5((p >> 10) & 0x1F);
    }
    return r | (g << 8) | (b << 16);
}

std::vector<std::uint16_t> Screen::logicalPixels() const {
    std::vector<std::uint16_t> out;
    out.reserve(static_cast<std::size_t>(width()) * static_cast<std::size_t>(height()));
    for (int y = 0; y < height(); ++y)
        for (int x = 0; x < width(); ++x) out.push_back(get(x, y));
    return out;
}

}  // namespace kdev
