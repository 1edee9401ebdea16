#include "fbdev/console.h"

#include <fcntl.h>
#include <linux/kd.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "signals.h"

namespace khost {

namespace {

volatile sig_atomic_t g_taken = 0;
int g_fd = -1;
int g_mode = KD_TEXT;
int g_keyboard = K_UNICODE;

void onCrash(int signal) {
    restoreConsole();
    ::signal(signal, SIG_DFL);
    raise(signal);
}

void restoreAtExit() { restoreConsole(); }

int openConsole() {
    for (const char* path : {"/dev/tty0", "/dev/console"}) {
        const int fd = open(path, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) continue;
        int mode = 0;
        if (ioctl(fd, KDGETMODE, &mode) == 0) return fd;
        close(fd);
    }
    int mode = 0;
    if (isatty(STDIN_FILENO) && ioctl(STDIN_FILENO, KDGETMODE, &mode) == 0)
        return fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3);
    return -1;
}

}  // namespace

bool takeConsole(std::string* note) {
    if (g_taken) return true;
    const int fd = openConsole();
    if (fd < 0) {
        *note = std::string("cannot switch the console to graphics mode (") +
                (errno == EACCES ? "no permission for /dev/tty0" : "no virtual console") +
                "): its text may show over the panel";
        return false;
    }
    int mode = KD_TEXT, keyboard = K_UNICODE;
    ioctl(fd, KDGETMODE, &mode);
    ioctl(fd, KDGKBMODE, &keyboard);
    g_fd = fd;
    g_mode = mode;
    g_keyboard = keyboard;
    // The way back is in place before anything changes.
    static bool handlersInstalled = false;
    if (!handlersInstalled) {
        handlersInstalled = true;
        struct sigaction action {};
        sigemptyset(&action.sa_mask);
        action.sa_handler = onCrash;
        action.sa_flags = SA_RESETHAND;
        for (int s : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGQUIT})
            sigaction(s, &action, nullptr);
        std::atexit(restoreAtExit);
        setEmergencyRestore(restoreConsole);
    }
    g_taken = 1;
    if (ioctl(fd, KDSETMODE, KD_GRAPHICS) != 0) {
        *note = std::string("cannot switch the console to graphics mode: ") + std::strerror(errno) +
                ": its text may show over the panel";
        restoreConsole();
        return false;
    }
    ioctl(fd, KDSKBMODE, K_OFF);
    return true;
}

void restoreConsole() {
    if (!g_taken) return;
    g_taken = 0;
    ioctl(g_fd, KDSETMODE, g_mode);
    ioctl(g_fd, KDSKBMODE, g_keyboard);
}

}  // namespace khost
