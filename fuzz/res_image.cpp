// The .res image reader, then every resource in the image through the decoder for its kind,
// and the store the device keeps modules in.
#include <cstddef>
#include <cstdint>

#include "resources/resources.h"

namespace {

constexpr std::size_t kMaxEntries = 256;  // finding is linear: keep each input fast

void decodeEntry(const kdev::ResourceImage& image, const kdev::ResourceEntry& e) {
    if (!e.type.isOrdinal) return;
    switch (e.type.ordinal) {
        case 2:
            if (std::optional<kdev::DibHeader> h = kdev::parseDib(e.data)) {
                std::optional<kdev::Image> decoded = kdev::decodeDib(e.data);
                if (!decoded) __builtin_trap();  // a header that checks out must decode
            }
            break;
        case 4:
            (void)kdev::parseMenu(e.data);
            break;
        case 5:
            if (std::optional<kdev::DialogTemplate> d = kdev::parseDialogTemplate(e.data))
                for (const kdev::DialogControl& c : d->controls)
                    (void)kdev::predefinedClass(c.className);
            break;
        case 6:
            if (e.name.isOrdinal && e.name.ordinal > 0)
                for (unsigned i = 0; i < 16; ++i)
                    (void)kdev::loadString(image, (e.name.ordinal - 1u) * 16u + i);
            break;
        case 14:
            for (int size : {16, 32, 256}) (void)kdev::loadIcon(image, e.name, size);
            break;
        default:
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const kdev::Bytes bytes(data, size);
    std::optional<kdev::ResourceImage> image = kdev::ResourceImage::parse(bytes);
    if (!image) return 0;
    std::size_t n = 0;
    for (const kdev::ResourceEntry& e : image->entries()) {
        if (++n > kMaxEntries) break;
        decodeEntry(*image, e);
    }

    // The store keeps its own copy; what it hands out must lie inside that copy.
    kdev::ResourceStore store;
    HINSTANCE module = store.addModule(bytes);
    if (!module) __builtin_trap();  // it parsed above
    n = 0;
    for (const kdev::ResourceEntry& e : image->entries()) {
        if (++n > kMaxEntries) break;
        // With two entries of one type and name, the first is found.
        const kdev::ResourceEntry* expected = image->find(e.type, e.name);
        HRSRC found = store.find(module, e.name, e.type);
        const kdev::ResourceEntry* entry = store.entry(found);
        if (!expected || !entry || entry->data.size() != expected->data.size()) __builtin_trap();
        if (!entry->data.empty()) {
            std::optional<kdev::Bytes> rest = store.bytesFrom(entry->data.data());
            if (!rest || rest->size() != entry->data.size()) __builtin_trap();
        }
    }
    return 0;
}
