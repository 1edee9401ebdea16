// A bitmap resource: the header check LoadBitmapW makes, the size GetObjectW reports, and the
// full decode the device uses to show a bitmap.
#include <cstddef>
#include <cstdint>

#include "resources/resources.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const kdev::Bytes dib(data, size);
    std::optional<kdev::DibHeader> header = kdev::parseDib(dib);
    std::optional<kdev::Image> image = kdev::decodeDib(dib);
    if (header.has_value() != image.has_value()) __builtin_trap();
    if (!header) return 0;
    const std::int64_t height =
        header->height < 0 ? -static_cast<std::int64_t>(header->height) : header->height;
    if (header->width <= 0 || height <= 0 || image->width != header->width ||
        image->height != height)
        __builtin_trap();
    // Every row the header promises lies inside the bytes.
    const std::uint64_t stride =
        (static_cast<std::uint64_t>(header->width) * header->bitsPerPixel + 31) / 32 * 4;
    if (stride * static_cast<std::uint64_t>(height) > size) __builtin_trap();
    return 0;
}
