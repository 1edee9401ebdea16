// The Device's members: a device put together from its parts, and the active one. The one
// file of the device that includes every part, so that none of them includes a part above it.
#include "core/device.h"

#include <cstdio>
#include <cstdlib>

#include "controls/classes.h"
#include "instances/instances.h"
#include "resources/resources.h"
#include "wm/window_manager.h"

namespace kdev {

namespace {
Device* g_activeDevice = nullptr;
}

Device::Device(std::unique_ptr<Screen> screen, FrontEnd& frontEnd, DeviceOptions options)
    : screen_(std::move(screen)), frontEnd_(frontEnd), options_(std::move(options)) {
    previous_ = g_activeDevice;
    g_activeDevice = this;
    resources_ = std::make_unique<ResourceStore>();
    if (options_.shareWindows) {
        instances_ = std::make_unique<Instances>(options_.instancesFolder, options_.deviceName);
        instances_->setInterruptDescriptor(options_.interruptDescriptor);
    }
    windows_ = std::make_unique<WindowManager>(*this);
    registerSystemClasses(*windows_);
}

Device::~Device() {
    windows_.reset();
    instances_.reset();
    g_activeDevice = previous_;
}

Device& Device::current() {
    if (!g_activeDevice) {
        std::fputs("kestrova: platform call with no device running\n", stderr);
        std::abort();
    }
    return *g_activeDevice;
}

Device* Device::active() { return g_activeDevice; }

}  // namespace kdev
