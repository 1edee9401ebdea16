#include "wake_watcher.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace khost {

WakeWatcher::WakeWatcher(int fd, std::function<void()> onReadable)
    : fd_(fd), onReadable_(std::move(onReadable)) {
    if (pipe2(control_, O_CLOEXEC) != 0) {
        control_[0] = control_[1] = -1;
        return;
    }
    thread_ = std::thread([this] { run(); });
}

WakeWatcher::~WakeWatcher() {
    if (control_[1] >= 0) close(control_[1]);
    if (thread_.joinable()) thread_.join();
    if (control_[0] >= 0) close(control_[0]);
}

void WakeWatcher::rearm() {
    const char c = 'a';
    while (write(control_[1], &c, 1) < 0 && errno == EINTR) {}
}

void WakeWatcher::run() {
    bool armed = true;
    for (;;) {
        pollfd p[2] = {{control_[0], POLLIN, 0}, {armed ? fd_ : -1, POLLIN, 0}};
        if (poll(p, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (p[0].revents) {
            char c;
            const ssize_t n = read(control_[0], &c, 1);
            if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) return;
            if (n == 1) armed = true;
        }
        if (p[1].revents & POLLIN) {
            armed = false;
            onReadable_();
        } else if (p[1].revents) {
            return;  // the descriptor is broken or gone: nothing more will come through it
        }
    }
}

}  // namespace khost
