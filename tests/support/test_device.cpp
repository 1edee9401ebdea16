#include "test_device.h"

#include <stdexcept>
#include <string>

#include "controls/command_bar.h"
#include "fb.h"
#include "resources/resources.h"
#include "wm/window_manager.h"

extern "C" const unsigned char kestrova_res[];
extern "C" const unsigned char kestrova_res_end[];

bool ScriptedFrontEnd::waitEvent(kdev::InputEvent& event) {
    while (!steps_.empty()) {
        auto step = std::move(steps_.front());
        steps_.pop_front();
        if (step(event)) return true;
    }
    return false;
}

void ScriptedFrontEnd::push(const kdev::InputEvent& e) {
    steps_.push_back([e](kdev::InputEvent& out) {
        out = e;
        return true;
    });
}

void ScriptedFrontEnd::tap(int x, int y) {
    kdev::InputEvent e;
    e.kind = kdev::InputEvent::Kind::StylusDown;
    e.x = x;
    e.y = y;
    push(e);
    e.kind = kdev::InputEvent::Kind::StylusUp;
    push(e);
}

void ScriptedFrontEnd::key(kdev::Key k) {
    kdev::InputEvent e;
    e.kind = kdev::InputEvent::Kind::KeyDown;
    e.key = k;
    push(e);
}

void ScriptedFrontEnd::close() {
    kdev::InputEvent e;
    e.kind = kdev::InputEvent::Kind::Close;
    push(e);
}

void ScriptedFrontEnd::command(unsigned id) {
    kdev::InputEvent e;
    e.kind = kdev::InputEvent::Kind::Command;
    e.command = id;
    push(e);
}

void ScriptedFrontEnd::tapMenu(std::u16string text) {
    steps_.push_back([this, text](kdev::InputEvent& out) {
        std::optional<kdev::Point> p =
            kdev::locateMenuTarget(kdev::Device::current().windows(), text);
        if (!p) throw std::runtime_error("no menu target on the screen");
        out = kdev::InputEvent{};
        out.kind = kdev::InputEvent::Kind::StylusDown;
        out.x = p->x;
        out.y = p->y;
        kdev::InputEvent up = out;
        up.kind = kdev::InputEvent::Kind::StylusUp;
        steps_.push_front([up](kdev::InputEvent& o) {
            o = up;
            return true;
        });
        return true;
    });
}

void ScriptedFrontEnd::then(std::function<void()> action) {
    // Given as a wake-up, so the device keeps asking for input afterwards.
    steps_.push_back([action = std::move(action)](kdev::InputEvent& out) {
        action();
        out = kdev::InputEvent{};
        out.kind = kdev::InputEvent::Kind::Wake;
        return true;
    });
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
