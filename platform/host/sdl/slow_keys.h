// Slow motion in the window: F7 makes the program ten times slower, F8 ten times faster, also
// while a command draws; the title shows the factor.
#pragma once

#include <string>

namespace khost {

// The factor after F7 (slower) or F8 (faster), within kdev::kMinSlow..kdev::kMaxSlow.
int steppedSlow(int slow, bool slower);

// What the title adds for a factor: " - slow x1000"; nothing at full speed.
std::string slowTitle(int slow);

}  // namespace khost
