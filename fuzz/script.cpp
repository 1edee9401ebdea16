// The headless host's script reader.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "headless/script.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    std::string error;
    std::optional<std::vector<khost::ScriptCommand>> script = khost::parseScript(in, &error);
    if (!script) {
        if (error.rfind("script:", 0) != 0) __builtin_trap();  // "script:LINE: what is wrong"
        return 0;
    }
    for (const khost::ScriptCommand& c : *script) {
        if (c.line <= 0) __builtin_trap();
        if (c.kind == khost::ScriptCommand::Kind::Menu)
            for (const std::u16string& part : c.menuPath)
                if (part.empty()) __builtin_trap();
        if ((c.kind == khost::ScriptCommand::Kind::Screenshot ||
             c.kind == khost::ScriptCommand::Kind::Dump) &&
            c.file.empty())
            __builtin_trap();
    }
    return 0;
}
