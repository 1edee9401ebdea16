// kestrova.exe [options]: the program on desktop Windows. Reads the display's options from the
// wide command line (the program itself ignores its command line), sets up the display library
// and the watch for the main window, starts the program as the handheld would, and exits with
// its result.
#include <windows.h>

#include <shellapi.h>

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "core/display_geometry.h"
#include "desktop.h"

// The program's entry, called as the platform would.
int AppMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine, int showMode);

namespace {

std::string toUtf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return {};
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.resize(static_cast<std::size_t>(size - 1));
    return out;
}

std::wstring toWide(const std::string& text) {
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    if (size <= 1) return {};
    std::wstring out(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, out.data(), size);
    out.resize(static_cast<std::size_t>(size - 1));
    return out;
}

// Where text for the user can go: the standard handle when it leads anywhere (a console, a
// file, a pipe), else the console of the program that started us, if any.
HANDLE outputHandle(DWORD which) {
    HANDLE h = GetStdHandle(which);
    if (h && h != INVALID_HANDLE_VALUE && GetFileType(h) != FILE_TYPE_UNKNOWN) return h;
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return nullptr;
    h = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                    nullptr);
    return h == INVALID_HANDLE_VALUE ? nullptr : h;
}

// Text for the user on stdout or stderr; started without a console or redirection (from the
// desktop's shell, say), in a message box instead.
void tell(DWORD which, const std::string& text, UINT icon) {
    if (kwin::writeToConsole(which, text)) return;
    std::string shown = text;
    while (!shown.empty() && shown.back() == '\n') shown.pop_back();
    MessageBoxW(nullptr, toWide(shown).c_str(), L"Kestrova", MB_OK | icon);
}

}  // namespace

bool kwin::writeToConsole(DWORD which, const std::string& text) {
    HANDLE h = outputHandle(which);
    if (!h) return false;
    DWORD written = 0;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    return true;
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int showMode) {
    int argc = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::string> args;
    for (int i = 0; wide && i < argc; ++i) args.push_back(toUtf8(wide[i]));
    if (wide) LocalFree(wide);
    if (args.empty()) args.push_back("kestrova");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());

    kdev::GeometryText text;
    int zoom = 0;
    CLI::App app{
        "Kestrova on desktop Windows: a window of the display's size with a command bar whose "
        "Tools menu draws straight into the frame buffer.",
        "kestrova"};
    kdev::addDisplayOptions(app, &text, &zoom);
    bool version = false;
    app.add_flag("--version", version, "Print the version");
    try {
        app.parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::CallForHelp&) {
        tell(STD_OUTPUT_HANDLE, app.help(), MB_ICONINFORMATION);
        return 0;

    } catch (const CLI::ParseError& e) {
        tell(STD_ERROR_HANDLE, std::string("kestrova: ") + e.what() + " (see --help)\n",
             MB_ICONERROR);
        return 2;
    }
    if (version) {
        tell(STD_OUTPUT_HANDLE, "kestrova " KESTROVA_VERSION "\n", MB_ICONINFORMATION);
        return 0;
    }
    kdev::Geometry geometry;
    std::string error;
    if (!kdev::readGeometry(text, &geometry, &error)) {
        tell(STD_ERROR_HANDLE, "kestrova: " + error + "\n", MB_ICONERROR);
        return 2;
    }

    kwin::setDisplay(geometry, zoom, toWide("Kestrova - " + kdev::geometryName(geometry)));
    if (!kwin::watchForMainWindow(instance)) {
        tell(STD_ERROR_HANDLE, "kestrova: cannot watch for the main window\n", MB_ICONERROR);
        return 2;
    }
    return AppMain(instance, nullptr, commandLine, showMode);
}
