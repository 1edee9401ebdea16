// Watches a descriptor on a thread of its own and reports "readable" through a callback, for
// front ends whose event wait cannot poll a descriptor itself (SDL's). It reports once and then
// waits to be re-armed, after the device has taken its requests, so a descriptor that stays
// readable cannot flood the front end. The thread touches nothing but the two descriptors and
// whatever the callback touches, which must be safe from another thread (SDL_PushEvent is);
// closing the control pipe stops it.
#pragma once

#include <functional>
#include <thread>

namespace khost {

class WakeWatcher {
public:
    WakeWatcher(int fd, std::function<void()> onReadable);
    ~WakeWatcher();
    WakeWatcher(const WakeWatcher&) = delete;
    WakeWatcher& operator=(const WakeWatcher&) = delete;

    // False when the thread could not be started: nothing will be reported.
    bool running() const { return thread_.joinable(); }
    // Reports the next time the descriptor is readable.
    void rearm();

private:
    void run();

    int fd_;
    std::function<void()> onReadable_;
    int control_[2] = {-1, -1};
    std::thread thread_;
};

}  // namespace khost
