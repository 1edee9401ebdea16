// probe.exe: what the window system knows about Kestrova's windows, for the tests under Wine.
//   probe.exe window TITLE   the top-level window with this title (or "TITLE - ..."), its client
//                            area and frame (screen coordinates), its monitor's work area, and
//                            each child: class, id, style, text, rectangle,
//                            and whether a static control holds an icon
//   probe.exe move TITLE X Y moves that window's frame to X, Y
//   probe.exe menu           the open pop-up menu's rectangle
//   probe.exe foreground     the foreground window's title
//   probe.exe order          the visible top-level windows' titles, top to bottom
//   probe.exe cover          shows a window over the whole screen until it is closed
//   probe.exe run EXE ARG... runs EXE as the desktop's shell does, with no console and no
//                            standard handles, and ends with its exit code
// And questions for the real API, asked of EXE's resources, the answers to hold the device to:
//   probe.exe dialog EXE     runs dialog 103, closes it as the window manager does, and lists
//                            what its procedure sees, in order
//   probe.exe bitmap EXE     what GetObjectW says of LoadBitmapW's "PARROT"
// One line per window: its kind, then "key=value" fields, each after a tab; exit code 1 when
// there is no such window.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string utf8(const std::wstring& text) {
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size > 0 ? size : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
    out.resize(out.size() - 1);
    std::string escaped;  // one line each: new lines as \n
    for (char c : out) escaped += c == '\n' ? std::string("\\n") : std::string(1, c);
    return escaped;
}

std::wstring textOf(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

std::wstring classOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

void printRect(const char* key, const RECT& r) {
    std::printf("\t%s=%ld,%ld,%ld,%ld", key, r.left, r.top, r.right - r.left, r.bottom - r.top);
}

// The first top-level window whose title is `title` followed by " - " and more: the main
// window names its display's geometry after the program's name.
HWND titledFrom(const std::wstring& title) {
    struct Search {
        std::wstring prefix;
        HWND found = nullptr;
    } search{title + L" - "};
    EnumWindows(
        [](HWND w, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            if (textOf(w).rfind(s->prefix, 0) != 0) return TRUE;
            s->found = w;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void describe(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
    std::printf("window\tclass=%s\ttitle=%s", utf8(classOf(window)).c_str(),
                utf8(textOf(window)).c_str());
    printRect("client", client);
    RECT frame{};
    GetWindowRect(window, &frame);
    printRect("frame", frame);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
    printRect("work", monitor.rcWork);
    std::printf("\tstyle=%08lx\tvisible=%d\tenabled=%d\n",
                static_cast<unsigned long>(GetWindowLongW(window, GWL_STYLE)),
                IsWindowVisible(window) ? 1 : 0, IsWindowEnabled(window) ? 1 : 0);
    for (HWND c = GetWindow(window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        RECT r{};
        GetWindowRect(c, &r);
        const std::wstring cls = classOf(c);
        const bool icon =
            lstrcmpiW(cls.c_str(), L"Static") == 0 && SendMessageW(c, STM_GETICON, 0, 0) != 0;
        std::printf("child\tclass=%s\tid=%d\tstyle=%08lx\ttext=%s", utf8(cls).c_str(),
                    GetDlgCtrlID(c), static_cast<unsigned long>(GetWindowLongW(c, GWL_STYLE)),
                    utf8(textOf(c)).c_str());
        printRect("rect", r);
        std::printf("\ticon=%d\tvisible=%d\n", icon ? 1 : 0, IsWindowVisible(c) ? 1 : 0);
    }
}

// A plain window over the whole screen, another program's, for the window under test to come
// forward through.
int cover() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = [](HWND w, UINT message, WPARAM first, LPARAM second) -> LRESULT {
        if (message == WM_DESTROY) PostQuitMessage(0);
        return DefWindowProcW(w, message, first, second);
    };
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    wc.lpszClassName = L"Cover";
    RegisterClassW(&wc);
    HWND w = CreateWindowExW(0, L"Cover", L"Cover", WS_POPUP | WS_VISIBLE, 0, 0,
                             GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr,
                             nullptr, wc.hInstance, nullptr);
    if (!w) return 1;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    return 0;
}

int runDetached(int argc, wchar_t** argv) {
    std::wstring commandLine;
    for (int i = 2; i < argc; ++i) commandLine += std::wstring(i > 2 ? L" " : L"") + argv[i];
    FreeConsole();  // nothing for the program to attach to
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS,
                        nullptr, nullptr, &startup, &process))
        return 255;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 255;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

HMODULE resourcesOf(const wchar_t* exe) {
    return LoadLibraryExW(exe, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
}

// The dialog procedure's view: the focus control WM_INITDIALOG names, then each command, with
// a marker posted right after the close request to tell a posted command from a sent one.
constexpr UINT kMarker = WM_APP + 1;

INT_PTR CALLBACK watchingProc(HWND dialog, UINT message, WPARAM first, LPARAM second) {
    switch (message) {
        case WM_INITDIALOG: {
            HWND focus = reinterpret_cast<HWND>(first);
            std::printf("initdialog\tfocus=%d\tclass=%s\tparam=%lld\n",
                        focus ? GetDlgCtrlID(focus) : 0, focus ? utf8(classOf(focus)).c_str() : "",
                        static_cast<long long>(second));
            PostMessageW(dialog, WM_CLOSE, 0, 0);
            PostMessageW(dialog, kMarker, 0, 0);
            return TRUE;
        }
        case WM_CLOSE:
            std::printf("close\n");
            return FALSE;
        case kMarker:
            std::printf("marker\n");
            return TRUE;
        case WM_COMMAND:
            std::printf("command\tid=%d\tcode=%d\tfrom=%d\n", LOWORD(first), HIWORD(first),
                        second ? 1 : 0);
            if (LOWORD(first) == IDCANCEL) EndDialog(dialog, 7);
            return TRUE;
    }
    return FALSE;
}

bool askDialog(const wchar_t* exe) {
    HMODULE module = resourcesOf(exe);
    HRSRC found =
        module ? FindResourceW(module, MAKEINTRESOURCEW(103), MAKEINTRESOURCEW(5)) : nullptr;
    if (!found) return false;
    const auto* tpl = static_cast<const DLGTEMPLATE*>(LockResource(LoadResource(module, found)));
    const INT_PTR result = DialogBoxIndirectParamW(module, tpl, nullptr, watchingProc, 77);
    std::printf("ended\tresult=%lld\n", static_cast<long long>(result));
    return true;
}

bool askBitmap(const wchar_t* exe) {
    HMODULE module = resourcesOf(exe);
    HBITMAP bitmap = module ? LoadBitmapW(module, L"PARROT") : nullptr;
    BITMAP info{};
    if (!bitmap || GetObjectW(bitmap, sizeof info, &info) != sizeof info) return false;
    HDC screen = GetDC(nullptr);
    std::printf(
        "bitmap\twidth=%ld\theight=%ld\twidthBytes=%ld\tplanes=%d\tbitsPixel=%d\tscreenBits=%d\n",
        info.bmWidth, info.bmHeight, info.bmWidthBytes, info.bmPlanes, info.bmBitsPixel,
        GetDeviceCaps(screen, BITSPIXEL));
    ReleaseDC(nullptr, screen);
    DeleteObject(bitmap);
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring what = argc > 1 ? argv[1] : L"";
    if (what == L"cover") return cover();
    if (what == L"run" && argc > 2) return runDetached(argc, argv);
    if (what == L"dialog" && argc > 2) return askDialog(argv[2]) ? 0 : 1;
    if (what == L"bitmap" && argc > 2) return askBitmap(argv[2]) ? 0 : 1;
    HWND window = nullptr;
    if ((what == L"window" && argc > 2) || (what == L"move" && argc > 4)) {
        window = FindWindowW(nullptr, argv[2]);
        if (!window) window = titledFrom(argv[2]);
        if (window && what == L"move")
            SetWindowPos(window, nullptr, _wtoi(argv[3]), _wtoi(argv[4]), 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        if (window) describe(window);
    } else if (what == L"menu") {
        window = FindWindowW(L"#32768", nullptr);
        if (window && IsWindowVisible(window)) {
            RECT r{};
            GetWindowRect(window, &r);
            std::printf("menu");
            printRect("rect", r);
            std::printf("\n");
        } else {
            window = nullptr;
        }
    } else if (what == L"order") {
        for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT))
            if (IsWindowVisible(w) && !textOf(w).empty()) {
                std::printf("top\ttitle=%s\n", utf8(textOf(w)).c_str());
                window = w;
            }
    } else if (what == L"foreground") {
        window = GetForegroundWindow();
        if (window) std::printf("foreground\ttitle=%s\n", utf8(textOf(window)).c_str());
    }
    if (!window) std::printf("none\n");
    return window ? 0 : 1;
}
