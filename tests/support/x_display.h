// A virtual X server of a test's own (Xvfb) and a client of it, for tests of real windows: find
// a window, read the screen and what the window asks of a window manager, send input and the
// window manager's close request. Xlib and XTest are loaded at run time; test programs are not
// linked against them.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

std::optional<std::string> findProgram(const std::string& name);

// Polls until `done` holds or the time is up.
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

// Starts a program with extra environment variables (NAME=value, replacing inherited ones).
// Standard input is /dev/null; standard output and error go to the files named, or to
// /dev/null; closeError leaves the error stream closed instead. fd3, when given, becomes the
// child's descriptor 3.
struct SpawnOptions {
    std::vector<std::string> env;
    std::string outFile;
    std::string errFile;
    bool closeError = false;
    int fd3 = -1;
};
pid_t spawnWith(const std::vector<std::string>& args, const SpawnOptions& options = {});

// Ends a child of ours: politely, then for sure.
void stopChild(pid_t pid);

// A virtual X server on a display number it picks itself (-displayfd), which also tells us
// when it is ready. `size` is its one screen's, as WIDTHxHEIGHT.
class VirtualDisplay {
public:
    static std::unique_ptr<VirtualDisplay> start(const std::string& xvfb, std::string* error,
                                                 const std::string& size = "1280x1024");
    ~VirtualDisplay();
    const std::string& name() const { return name_; }

private:
    VirtualDisplay() = default;
    pid_t pid_ = -1;
    std::string name_;
};

// What the X server shows, as 0xRRGGBB.
struct Shot {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;
};

using XWindow = unsigned long;  // an X window id

class XClient {
public:
    static std::unique_ptr<XClient> connect(const std::string& display, std::string* error);
    ~XClient();

    // The top-level window a process has mapped, by the _NET_WM_PID it sets; in the frame a
    // window manager has put it in, if one has.
    std::optional<XWindow> windowOf(pid_t pid);
    // The mapped top-level window with this title.
    std::optional<XWindow> windowNamed(const std::string& title);
    XWindow root();
    std::vector<XWindow> children(XWindow w);  // bottom to top
    std::vector<XWindow> topLevels();          // the root's children
    bool isAbove(XWindow a, XWindow b);
    std::string title(XWindow w);
    // Whether the keyboard's input goes to the window (or a window inside or around it).
    bool hasFocus(XWindow w);
    // A property of 32-bit CARDINAL items (_NET_WM_ICON...), empty when missing.
    std::vector<unsigned long> cardinals(XWindow w, const std::string& name);
    // The minimum size the window asks the window manager for (WM_NORMAL_HINTS, as xprop
    // shows it); nothing when it asks for none.
    std::optional<std::pair<int, int>> minimumSize(XWindow w);
    // Left, right, top, bottom: what the window manager puts around the window.
    std::vector<unsigned long> frameExtents(XWindow w);
    bool windowManagerRunning();
    Geometry geometry(XWindow w);  // position on the screen, size
    Shot grab(const Geometry& g);

    // What a window manager sends when the user clicks the window's close button.
    void requestClose(XWindow w);
    void moveResize(XWindow w, int x, int y, int width, int height);
    // A plain window, mapped on top of everything.
    XWindow createCover(const Geometry& g);
    void destroy(XWindow w);

    bool canFakeInput() const;
    void fakeMotion(int x, int y);
    void fakeButton(bool down);
    // A key by its keysym name, or a chord such as "ctrl+3".
    void fakeKey(const std::string& keys);

    struct Impl;

private:
    XClient();
    std::unique_ptr<Impl> impl_;
};
