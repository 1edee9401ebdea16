// SIGTERM, SIGINT and SIGHUP end a run the way closing its window does. The handler only notes
// the signal and makes a pipe readable; the front end, which waits on that pipe with everything
// else, then ends the input, and the device closes the main window as the platform would.
// A second such signal, or a run still going kStopGraceSeconds after the first, ends the
// process at once with a line that says so, removing the files still being written first.
// SIGXFSZ is ignored from then on, so a write past the file-size limit fails as a write.
#pragma once

#include <string>

namespace khost {

constexpr unsigned kStopGraceSeconds = 10;

// Installs the handlers, except for a signal that came ignored. False, with a reason, when the
// pipe cannot be made. graceSeconds (at least 1) is the bound after the first signal.
bool installStopSignals(std::string* error, unsigned graceSeconds = kStopGraceSeconds);

// Readable once a stop signal has come (and from then on); -1 before installStopSignals.
int stopDescriptor();

// The first stop signal's number, 0 while none has come.
int stopSignal();

// Called (async-signal-safe only) just before a second stop signal or the grace period ends the
// process without shutting down: a front end that changed the machine's state (the console's
// mode) puts it back there. nullptr for none.
void setEmergencyRestore(void (*restore)());

// "SIGTERM", "SIGINT", "SIGHUP", else "signal N".
std::string signalName(int signal);

}  // namespace khost
