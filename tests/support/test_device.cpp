#include "test_device.h"

#include <stdexcept>
#include <string>

#include "fb.h"
#include "resources/resources.h"

extern "C" const unsigned char kestrova_res[];
extern "C" const unsigned char kestrova_res_end[];

bool ScriptedFrontEnd::waitEvent(kdev::InputEvent& event) {
    if (player_.next(kdev::Device::current(), event)) return true;
    if (!player_.failure().empty()) throw std::runtime_error(player_.failure());
    return false;
}

TestDevice::TestDevice(kdev::Geometry geometry, kdev::Faults faults) {
    std::string error;
    std::unique_ptr<kdev::Screen> screen = kdev::Screen::create(geometry, &error);
    if (!screen) throw std::runtime_error(error);
    kdev::DeviceOptions options;
    options.faults = faults;
    options.shareWindows = false;
    device_ = std::make_unique<kdev::Device>(std::move(screen), frontEnd_, options);
    instance_ = device_->resources().addModule(
        kdev::Bytes(kestrova_res, static_cast<std::size_t>(kestrova_res_end - kestrova_res)),
        &error);
    if (!instance_) throw std::runtime_error(error);
}

TestDevice::~TestDevice() { FbDetach(); }

void TestDevice::attachProgram(int barHeight) {
    FbAttach(screen().base(), GXGetDisplayProperties(), barHeight);
}

namespace {
LRESULT CALLBACK plainWindowProc(HWND window, UINT message, WPARAM first, LPARAM second) {
    return DefWindowProcW(window, message, first, second);
}
}  // namespace

HWND TestDevice::createWindow() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = plainWindowProc;
    wc.hInstance = instance_;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = u"TestWindow";
    RegisterClassW(&wc);
    return CreateWindowExW(0, u"TestWindow", u"Test", WS_VISIBLE, 0, 0, screen().width(),
                           screen().height(), nullptr, nullptr, instance_, nullptr);
}
