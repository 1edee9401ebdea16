// This process's published top-level windows, as the window manager keeps them, and the front
// end told where the requests of other instances arrive.
#pragma once

#include <cstdint>
#include <vector>

#include "core/frontend.h"
#include "instances/instances.h"

namespace kdev {

class WindowPublisher {
public:
    // `instances` may be null (a device that shares no windows): then nothing is published.
    WindowPublisher(Instances* instances, FrontEnd& frontEnd);
    // The windows are gone: nothing stays published.
    ~WindowPublisher();
    WindowPublisher(const WindowPublisher&) = delete;
    WindowPublisher& operator=(const WindowPublisher&) = delete;

    // Replaces the published list. The listening socket exists from the first publication
    // on; the front end is told its descriptor whenever it changes.
    void publish(const std::vector<Instances::Published>& windows);
    // The requests that have arrived (handles with their flag bit), without blocking.
    std::vector<std::uint32_t> takeRequests();

private:
    Instances* instances_;
    FrontEnd& frontEnd_;
    int wakeFd_ = -1;
};

}  // namespace kdev
