// A dialog template, as the dialog manager reads one before it builds the dialog.
#include <cstddef>
#include <cstdint>

#include "resources/resources.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string error;
    std::optional<kdev::DialogTemplate> d =
        kdev::parseDialogTemplate(kdev::Bytes(data, size), &error);
    if (!d) {
        if (error.empty()) __builtin_trap();  // a refusal always says why
        return 0;
    }
    std::size_t extra = 0;
    for (const kdev::DialogControl& c : d->controls) {
        (void)kdev::predefinedClass(c.className);
        extra += c.creationData.size();
    }
    if (extra > size || d->controls.size() > size / 18) __builtin_trap();
    return 0;
}
