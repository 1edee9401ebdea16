#include "web/web_frontend.h"

#include <emscripten.h>

#include <new>
#include <string_view>

#include "controls/command_bar.h"
#include "core/device.h"
#include "options.h"
#include "wm/window_manager.h"

// The page's side (page.js). Events arrive as four integers: kind, x, y, key.
EM_ASYNC_JS(void, kestrova_page_next_event, (int* out), {
    const e = await Module.kestrovaPage.nextEvent();
    HEAP32[(out >> 2) + 0] = e.kind;
    HEAP32[(out >> 2) + 1] = e.x | 0;
    HEAP32[(out >> 2) + 2] = e.y | 0;
    HEAP32[(out >> 2) + 3] = e.key | 0;
});
EM_JS(void, kestrova_page_request_frame, (), { Module.kestrovaPage.requestFrame(); });
EM_JS(void, kestrova_page_finish, (), { Module.kestrovaPage.finish(); });
EM_JS(void, kestrova_page_open, (int width, int height, int zoom, const char* title),
      { Module.kestrovaPage.open(width, height, zoom, UTF8ToString(title)); });

namespace khost {

namespace {

using Kind = kdev::InputEvent::Kind;

// page.js numbers the kinds it sends in this order.
static_assert(static_cast<int>(Kind::StylusDown) == 0 && static_cast<int>(Kind::StylusMove) == 1 &&
              static_cast<int>(Kind::StylusUp) == 2 && static_cast<int>(Kind::KeyDown) == 3);

WebFrontEnd* g_page = nullptr;  // the one front end the page's exports talk to

}  // namespace

WebFrontEnd::WebFrontEnd(const kdev::Screen& screen) : screen_(&screen) { g_page = this; }

WebFrontEnd::~WebFrontEnd() {
    if (g_page == this) g_page = nullptr;
}

bool WebFrontEnd::open(int zoom, std::string* error) {
    const std::size_t pixels =
        static_cast<std::size_t>(screen_->width()) * static_cast<std::size_t>(screen_->height());
    rgba_.reset(new (std::nothrow) std::uint32_t[pixels]);
    rows_.reset(new (std::nothrow) RgbaRows(*screen_));
    if (!rgba_ || !rows_) {
        *error = "not enough memory to show a " + geometryName(screen_->geometry()) + " screen";
        return false;
    }
    kestrova_page_open(screen_->width(), screen_->height(), zoom,
                       geometryName(screen_->geometry()).c_str());
    return true;
}

bool WebFrontEnd::waitEvent(kdev::InputEvent& event) {
    for (;;) {
        int e[4] = {};
        kestrova_page_next_event(e);
        event = kdev::InputEvent{};
        if (e[0] < 0 || e[0] > static_cast<int>(Kind::KeyDown)) continue;
        event.kind = static_cast<Kind>(e[0]);
        event.x = e[1];
        event.y = e[2];
        event.key = static_cast<kdev::Key>(e[3]);
        return true;
    }
}

void WebFrontEnd::present(const kdev::Screen& screen) {
    screen_ = &screen;
    kestrova_page_request_frame();
}

void WebFrontEnd::finish() { kestrova_page_finish(); }

// Each pixel widened the way the headless screenshots widen it, so both show the same colours.
const std::uint8_t* WebFrontEnd::paint() {
    const kdev::Screen& s = *screen_;
    for (int y = 0; y < s.height(); ++y)
        rows_->row(s, y, rgba_.get() + static_cast<std::size_t>(y) * s.width());
    return reinterpret_cast<const std::uint8_t*>(rgba_.get());
}

}  // namespace khost

// Called by the page while the program waits for an event (they never run while it draws).
extern "C" {

// The picture for an animation frame: RGBA rows, or null once the device is gone.
EMSCRIPTEN_KEEPALIVE const std::uint8_t* kestrova_page_paint() {
    return khost::g_page && kdev::Device::active() ? khost::g_page->paint() : nullptr;
}

// Where to tap for a command bar button, an item of the open menu, or a button of the dialog
// in front, as x * 65536 + y; -1 when there is none.
EMSCRIPTEN_KEEPALIVE int kestrova_page_locate(const char* utf8) {
    kdev::Device* device = kdev::Device::active();
    if (!device || !utf8) return -1;
    const std::optional<kdev::Point> at =
        kdev::locateMenuTarget(device->windows(), kdev::toUtf16(std::string_view(utf8)));
    return at ? at->x * 65536 + at->y : -1;
}

}  // extern "C"
