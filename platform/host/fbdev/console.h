// The virtual console that shows the panel: in graphics mode with its keyboard off while
// Kestrova runs (so the kernel's console does not draw over the panel nor take the keys), and
// put back on every way out, crash signals included.
#pragma once

#include <string>

namespace khost {

// Switches the active virtual console. False, with one line in *note, when it cannot be
// switched (no permission, no virtual console): the run goes on.
bool takeConsole(std::string* note);

// Puts the console back as it was; async-signal-safe, and harmless when nothing was taken.
void restoreConsole();

}  // namespace khost
