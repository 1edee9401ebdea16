// One string-table block, read for each of its sixteen strings as LoadStringW would.
#include <cstddef>
#include <cstdint>

#include "res_builder.h"
#include "resources/resources.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Block 1 holds ids 0-15; block 4096 the last sixteen ids.
    fixture::ResBuilder res;
    res.add(6, 4096, data, size);
    res.add(6, 1, data, size);
    std::optional<kdev::ResourceImage> image = kdev::ResourceImage::parse(res.bytes());
    if (!image) __builtin_trap();
    for (unsigned id = 0; id < 16; ++id) {
        std::optional<std::u16string> first = kdev::loadString(*image, id);
        std::optional<std::u16string> last = kdev::loadString(*image, 0xFFF0 + id);
        if (first != last) __builtin_trap();  // the same bytes read the same way
        if (first && first->size() > size / 2) __builtin_trap();
    }
    (void)kdev::loadString(*image, 0x10000);
    return 0;
}
