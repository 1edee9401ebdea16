// The emulated handheld: its screen, window system, resources, display library and the
// other services behind the platform headers, driven by one front end. One device is active
// at a time; the platform functions act on it. Its members are defined in assembly.cpp, at
// the top of platform/device/: every part may name the Device, and only that file knows them
// all.
#pragma once

#include <memory>
#include <string>

#include "core/faults.h"
#include "core/frontend.h"
#include "core/screen.h"
#include "core/trace.h"

namespace kdev {

class ResourceStore;
class WindowManager;
class Instances;

struct DeviceOptions {
    Faults faults;
    // Where running instances publish their windows (empty: the per-user default).
    std::string instancesFolder;
    // Which device this is: processes meet as instances only on the same device (empty: the
    // folder's own registrations).
    std::string deviceName;
    // Publish windows and answer other instances; tests that run devices in-process turn it off.
    bool shareWindows = true;
    // Readable once the process is asked to stop: the waits for other instances end then.
    int interruptDescriptor = -1;
};

class Device {
public:
    Device(std::unique_ptr<Screen> screen, FrontEnd& frontEnd, DeviceOptions options = {});
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // The active device: the most recently constructed one still alive.
    static Device& current();
    static Device* active();

    Screen& screen() { return *screen_; }
    FrontEnd& frontEnd() { return frontEnd_; }
    Trace& trace() { return trace_; }
    Faults& faults() { return options_.faults; }
    const DeviceOptions& options() const { return options_; }
    ResourceStore& resources() { return *resources_; }
    WindowManager& windows() { return *windows_; }
    Instances* instances() { return instances_.get(); }

    // Display library state.
    bool displayOpen = false;
    bool drawing = false;
    // Run-time library: the pseudo-random generator's state (starts at 1, never seeded).
    std::uint32_t randState = 1;

private:
    std::unique_ptr<Screen> screen_;
    FrontEnd& frontEnd_;
    DeviceOptions options_;
    Trace trace_;
    std::unique_ptr<ResourceStore> resources_;
    std::unique_ptr<Instances> instances_;
    std::unique_ptr<WindowManager> windows_;
    Device* previous_ = nullptr;
};

}  // namespace kdev
