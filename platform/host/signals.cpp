#include "signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/output_file.h"

namespace khost {

namespace {

int g_pipe[2] = {-1, -1};
volatile sig_atomic_t g_signal = 0;
void (*volatile g_restore)() = nullptr;
unsigned g_graceSeconds = kStopGraceSeconds;
char g_lateLine[96] = "";  // made before the handlers go in: it names the grace period

// Only async-signal-safe calls from here to the handlers' end.
void say(const char* text) {
    std::size_t n = 0;
    while (text[n]) ++n;
    while (n > 0) {
        const ssize_t done = write(STDERR_FILENO, text, n);
        if (done <= 0) return;
        text += done;
        n -= static_cast<std::size_t>(done);
    }
}

const char* nameOf(int signal) {
    switch (signal) {
        case SIGTERM:
            return "SIGTERM";
        case SIGINT:
            return "SIGINT";
        case SIGHUP:
            return "SIGHUP";
        default:
            return "a signal";
    }
}

[[noreturn]] void stopNow(const char* why) {
    if (void (*restore)() = g_restore) restore();
    kdev::removeUnfinishedFiles();
    say("kestrova: ");
    say(nameOf(g_signal));
    say(why);
    _exit(128 + g_signal);
}

void onStop(int signal) {
    const int saved = errno;
    if (g_signal != 0) stopNow(", then another: stopped at once, without shutting down\n");
    g_signal = signal;
    const char byte = 1;
    [[maybe_unused]] const ssize_t done = write(g_pipe[1], &byte, 1);
    alarm(g_graceSeconds);
    errno = saved;
}

void onAlarm(int) { stopNow(g_lateLine); }

}  // namespace

bool installStopSignals(std::string* error, unsigned graceSeconds) {
    if (g_pipe[0] >= 0) return true;
    g_graceSeconds = graceSeconds > 0 ? graceSeconds : 1;
    std::snprintf(g_lateLine, sizeof g_lateLine,
                  ": the program did not end within %u s; stopped without shutting down\n",
                  g_graceSeconds);
    if (pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        if (error) *error = std::string("cannot make a pipe for signals: ") + std::strerror(errno);
        return false;
    }
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    for (int s : {SIGTERM, SIGINT, SIGHUP, SIGALRM}) sigaddset(&action.sa_mask, s);
    action.sa_flags = SA_RESTART;
    action.sa_handler = onStop;
    for (int s : {SIGTERM, SIGINT, SIGHUP}) {
        // A signal ignored by whoever started us (nohup, a background job) stays ignored.
        struct sigaction before {};
        if (sigaction(s, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
        sigaction(s, &action, nullptr);
    }
    action.sa_handler = onAlarm;
    sigaction(SIGALRM, &action, nullptr);
    // Past the file-size limit a write fails with EFBIG and is reported like any other, its
    // temporary file removed, instead of the signal ending the run and leaving it behind.
    signal(SIGXFSZ, SIG_IGN);
    return true;
}

int stopDescriptor() { return g_pipe[0]; }

int stopSignal() { return g_signal; }

void setEmergencyRestore(void (*restore)()) { g_restore = restore; }

std::string signalName(int signal) {
    switch (signal) {
        case SIGTERM:
        case SIGINT:
        case SIGHUP:
            return nameOf(signal);
        default:
            return "signal " + std::to_string(signal);
    }
}

}  // namespace khost
