// The page's program: builds the handheld the query string describes, starts Kestrova on it
// the way the handheld would, and tells the page when it has ended. A page is a device of its
// own: it meets no other instance.
#include <windows.h>

#include <emscripten.h>

#include <cstdio>
#include <string>

#include "core/device.h"
#include "resources/resources.h"
#include "web/query.h"
#include "web/web_frontend.h"

// The program's entry, called as the platform would.
int AppMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine, int showMode);

// The program's compiled resources, linked in by the build.
extern "C" const unsigned char kestrova_res[];
extern "C" const unsigned char kestrova_res_end[];

EM_JS(void, kestrova_page_refused, (const char* message),
      { Module.kestrovaPage.refused(UTF8ToString(message)); });
EM_JS(void, kestrova_page_ended, (int code), { Module.kestrovaPage.ended(code); });

namespace {

// Runs the program; -1, with a reason, when the device cannot be built.
int run(const khost::PageOptions& options, std::string* error) {
    std::unique_ptr<kdev::Screen> screen = kdev::Screen::create(options.geometry, error);
    if (!screen) return -1;
    khost::WebFrontEnd frontEnd(*screen);
    if (!frontEnd.open(options.zoom, error)) return -1;

    kdev::DeviceOptions deviceOptions;
    deviceOptions.shareWindows = false;
    kdev::Device device(std::move(screen), frontEnd, deviceOptions);
    if (options.trace) device.trace().open("-");  // the browser's console

    const kdev::Bytes image(kestrova_res,
                            static_cast<std::size_t>(kestrova_res_end - kestrova_res));
    HINSTANCE instance = device.resources().addModule(image, error);
    if (!instance) {
        *error = "the program's resources are damaged: " + *error;
        return -1;
    }
    static char16_t commandLine[] = u"";
    const int result = AppMain(instance, nullptr, commandLine, SW_SHOW);
    frontEnd.finish();
    return result;
}

}  // namespace

// argv[1]: the page's query string.
int main(int argc, char** argv) {
    std::string error;
    const std::optional<khost::PageOptions> options =
        khost::parsePageQuery(argc > 1 ? argv[1] : "", &error);
    if (!options) {
        kestrova_page_refused(error.c_str());
        return 2;
    }
    const int result = run(*options, &error);
    if (result < 0) {
        kestrova_page_refused(error.c_str());
        return 2;
    }
    kestrova_page_ended(result);
    return result;
}
