// An icon group and its images. The input is a 16-bit little-endian length, that many bytes
// of group directory (icon group 101), and then the bytes of icon images 1 and 2, the ids a
// directory usually names.
#include <cstddef>
#include <cstdint>

#include "res_builder.h"
#include "resources/resources.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    std::size_t groupSize = data[0] | data[1] << 8;
    if (groupSize > size - 2) groupSize = size - 2;
    const std::uint8_t* group = data + 2;
    const std::uint8_t* picture = group + groupSize;
    const std::size_t pictureSize = size - 2 - groupSize;

    fixture::ResBuilder res;
    res.add(14, 101, group, groupSize);
    res.add(3, 2, picture, pictureSize);
    res.add(3, 1, picture, pictureSize);
    std::optional<kdev::ResourceImage> image = kdev::ResourceImage::parse(res.bytes());
    if (!image) __builtin_trap();
    for (int wanted : {0, 16, 32, 48, 256}) {
        std::optional<kdev::Image> icon =
            kdev::loadIcon(*image, kdev::ResId::fromOrdinal(101), wanted);
        if (!icon) continue;
        const std::size_t count =
            static_cast<std::size_t>(icon->width) * static_cast<std::size_t>(icon->height);
        if (icon->width <= 0 || icon->height <= 0 || icon->pixels.size() != count ||
            icon->opaque.size() != count)
            __builtin_trap();
    }
    return 0;
}
