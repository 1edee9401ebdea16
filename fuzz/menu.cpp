// A menu template, as the command bar reads menu 102.
#include <cstddef>
#include <cstdint>

#include "resources/resources.h"

namespace {

std::size_t countItems(const std::vector<kdev::MenuItem>& items, int depth) {
    if (depth > 16) __builtin_trap();  // the reader promises a bounded depth
    std::size_t n = items.size();
    for (const kdev::MenuItem& item : items) n += countItems(item.children, depth + 1);
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::optional<std::vector<kdev::MenuItem>> menu = kdev::parseMenu(kdev::Bytes(data, size));
    // Every item takes at least four bytes of the template.
    if (menu && countItems(*menu, 0) > size / 4) __builtin_trap();
    return 0;
}
