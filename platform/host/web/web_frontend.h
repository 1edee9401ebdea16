// The web front end: the device's screen on the page's canvas, the pointer (mouse, touch, pen)
// as the stylus and the keyboard as the device keys. page.js is its other half.
#pragma once

#include <cstdint>
#include <string>
#include <memory>

#include "core/frontend.h"
#include "core/screen.h"
#include "rgba.h"

namespace khost {

class WebFrontEnd final : public kdev::FrontEnd {
public:
    explicit WebFrontEnd(const kdev::Screen& screen);
    ~WebFrontEnd() override;
    WebFrontEnd(const WebFrontEnd&) = delete;
    WebFrontEnd& operator=(const WebFrontEnd&) = delete;

    // Takes the picture's memory and puts the canvas on the page, zoom as in PageOptions.
    // False, with a reason, when the memory cannot be had.
    bool open(int zoom, std::string* error);

    // Suspends the program (the page keeps running) until the page has an event.
    bool waitEvent(kdev::InputEvent& event) override;
    // Asks the page for an animation frame; changes before it come coalesce into one picture.
    void present(const kdev::Screen& screen) override;
    void raise() override {}  // a page is a device of its own: nobody asks
    void setWakeDescriptor(int) override {}

    // Shows a change still waiting for its animation frame now, while the device is alive.
    void finish();

    // The logical screen as RGBA rows, for the page's animation frame.
    const std::uint8_t* paint();

private:
    const kdev::Screen* screen_;
    std::unique_ptr<std::uint32_t[]> rgba_;  // the screen as RGBA bytes, for the canvas
    std::unique_ptr<RgbaRows> rows_;
};

}  // namespace khost
