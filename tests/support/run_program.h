// Runs the real kestrova binary as a user would, with its own per-test instance folder (and
// settings folder: <instancesDir>/config).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "temp_files.h"

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs kestrova with args; `input` goes to its standard input. instancesDir, when given, is
// where running instances meet (else a fresh folder of its own).
RunResult runKestrova(const std::vector<std::string>& args, const std::string& input = "",
                      const std::string& instancesDir = "");

// Starts kestrova in the background; wait with waitKestrova.
int startKestrova(const std::vector<std::string>& args, const std::string& instancesDir,
                  const std::string& outFile, const std::string& errFile);
int waitKestrova(int pid);

// Starts kestrova in the background with DISPLAY set to `display` (an X display such as ":3")
// and `workDir` as its current folder; wait with waitKestrova or waitKestrovaFor.
int startKestrovaOnDisplay(const std::vector<std::string>& args, const std::string& instancesDir,
                           const std::string& display, const std::string& workDir,
                           const std::string& outFile, const std::string& errFile);
// Starts kestrova in the background, held until the pipe `barrier` (read end, write end) has
// no write end open any more: close both ends after the last start to start them all at one
// moment.
int startKestrovaAtBarrier(const std::vector<std::string>& args, const std::string& instancesDir,
                           const int barrier[2], const std::string& outFile,
                           const std::string& errFile);

// Waits at most timeoutMs for kestrova to end; its exit code as waitKestrova gives it, or
// nothing while it still runs.
std::optional<int> waitKestrovaFor(int pid, int timeoutMs);

// Waits until a line of the trace in `file` holds `needle`, looking every 10 ms for at most
// timeoutMs (a bound only reached when something is wrong); whether one did.
bool waitForTrace(const std::string& file, const std::string& needle, int timeoutMs = 20000);

// How the trace records command id reaching the main window, as found in its line.
inline std::string commandEvent(int id) {
    return "\"event\":\"command\",\"id\":" + std::to_string(id);
}

// What a run may take before it is stopped: its time (it is killed after it, and counted as
// hung) and, when not 0, the resource limits it starts with.
struct RunBounds {
    int seconds = 20;
    long long addressSpaceBytes = 0;  // RLIMIT_AS
    long long fileSizeBytes = 0;      // RLIMIT_FSIZE, with SIGXFSZ ignored so writes fail instead
    bool fileSizeSignal = false;      // ... or with SIGXFSZ left to its default action
    std::string instancesDir;         // where instances meet (else a folder of its own)
    std::string inputFile;            // standard input from this file or folder, not `input`
    bool inputClosed = false;         // standard input closed
    bool inputIdle = false;           // standard input a pipe on which nothing comes
};

struct BoundedResult : RunResult {
    bool hung = false;
};

// Runs kestrova like runKestrova, within bounds. `whileRunning`, when given, is called with the
// process id once it has started (to send it signals, say).
BoundedResult runKestrovaBounded(const std::vector<std::string>& args, const std::string& input,
                                 const RunBounds& bounds,
                                 const std::function<void(int pid)>& whileRunning = {});
