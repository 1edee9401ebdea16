#include "sdl/slow_keys.h"

#include <algorithm>

#include "core/pacer.h"

namespace khost {

int steppedSlow(int slow, bool slower) {
    const long long next = slower ? static_cast<long long>(slow) * 10 : slow / 10;
    return static_cast<int>(std::clamp<long long>(next, kdev::kMinSlow, kdev::kMaxSlow));
}

std::string slowTitle(int slow) { return slow > 1 ? " - slow x" + std::to_string(slow) : ""; }

}  // namespace khost
