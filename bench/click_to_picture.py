#!/usr/bin/env python3
"""Click-to-picture time of the window: from the stylus lifting on Tools > Lines until the
window shows the finished Lines picture, measured from outside the program.

A virtual X server (Xvfb) runs Kestrova's window; the clicks are real pointer events sent
through XTEST, and one window pixel that only the finished picture turns cyan is read back
with XGetImage until it does. Between runs Tools > Clear Screen turns it black again.

    python3 bench/click_to_picture.py build/default/app/kestrova [--runs 40] [--zoom 2]

prints the minimum, median and maximum in milliseconds. Run it twice with two builds to
compare them; the figures include the X server's work, so they are for comparison on one
machine, not absolute.
"""
import argparse
import ctypes
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

# Device points: the Tools button and its menu's items (20 pixels apart), and the pixel that
# the last of Lines' passes turns cyan.
TOOLS = (20, 13)
LINES = (40, 58)
CLEAR_SCREEN = (40, 98)
PROBE = (0, 318)
CYAN = (0x00, 0xFF, 0xFF)
BLACK = (0, 0, 0)


class XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.POINTER(ctypes.c_ubyte))]


class X:
    def __init__(self, display):
        self.x11 = ctypes.CDLL("libX11.so.6")
        self.xtst = ctypes.CDLL("libXtst.so.6")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XDefaultRootWindow.restype = ctypes.c_ulong
        self.x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.x11.XGetImage.restype = ctypes.POINTER(XImage)
        self.x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                       ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        self.x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.x11.XFree.argtypes = [ctypes.c_void_p]
        self.xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int,
                                                   ctypes.c_int, ctypes.c_ulong]
        self.xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                                   ctypes.c_ulong]
        self.dpy = self.x11.XOpenDisplay(display.encode())
        if not self.dpy:
            raise RuntimeError("cannot open display " + display)
        self.root = self.x11.XDefaultRootWindow(self.dpy)

    def click(self, x, y):
        self.xtst.XTestFakeMotionEvent(self.dpy, -1, x, y, 0)
        self.xtst.XTestFakeButtonEvent(self.dpy, 1, 1, 0)
        self.xtst.XTestFakeButtonEvent(self.dpy, 1, 0, 0)
        self.x11.XSync(self.dpy, 0)

    def pixel(self, x, y):
        image = self.x11.XGetImage(self.dpy, self.root, x, y, 1, 1, 0xFFFFFFFF, 2)  # ZPixmap
        if not image:
            raise RuntimeError("XGetImage failed")
        b, g, r = image.contents.data[0], image.contents.data[1], image.contents.data[2]
        self.x11.XFree(ctypes.cast(image.contents.data, ctypes.c_void_p))
        self.x11.XFree(ctypes.cast(image, ctypes.c_void_p))
        return (r, g, b)

    def wait(self, x, y, test, bound=10.0):
        end = time.monotonic() + bound
        while time.monotonic() < end:
            if test(self.pixel(x, y)):
                return time.monotonic()
        raise RuntimeError("the window did not show what was expected within %g s" % bound)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("kestrova")
    parser.add_argument("--runs", type=int, default=40)
    parser.add_argument("--zoom", type=int, default=2)
    args = parser.parse_args()

    display = ":%d" % (200 + os.getpid() % 500)
    home = tempfile.mkdtemp(prefix="kestrova-click-")
    env = dict(os.environ, DISPLAY=display, XDG_CONFIG_HOME=home, XDG_RUNTIME_DIR=home,
               SDL_VIDEODRIVER="x11")
    server = subprocess.Popen(["Xvfb", display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                              stderr=subprocess.DEVNULL)
    program = None
    try:
        for _ in range(100):
            if os.path.exists("/tmp/.X11-unix/X" + display[1:]):
                break
            time.sleep(0.05)
        program = subprocess.Popen([args.kestrova, "--zoom", str(args.zoom)], env=env)
        window = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "^Kestrova"],
                                env=env, capture_output=True, text=True, timeout=30).stdout.split()[0]
        info = subprocess.run(["xwininfo", "-id", window], env=env, capture_output=True, text=True,
                              timeout=10).stdout
        left = int(info.split("Absolute upper-left X:")[1].split()[0])
        top = int(info.split("Absolute upper-left Y:")[1].split()[0])
        x = X(display)
        z = args.zoom

        def at(point):
            return left + point[0] * z + z // 2, top + point[1] * z + z // 2

        def choose(item):
            before = x.pixel(*at(item))
            x.click(*at(TOOLS))
            x.wait(*at(item), lambda p: p != before)  # the menu is open
            x.click(*at(item))

        times = []
        for _ in range(args.runs):
            choose(CLEAR_SCREEN)
            for point in (CLEAR_SCREEN, LINES, PROBE):  # the menu gone, the screen cleared
                x.wait(*at(point), lambda p: p == BLACK)
            choose(LINES)
            start = time.monotonic()
            times.append((x.wait(*at(PROBE), lambda p: p == CYAN) - start) * 1000)
        print("click to picture, Tools > Lines at zoom %d, %d runs: min %.2f ms, median %.2f ms, "
              "max %.2f ms" % (z, len(times), min(times), statistics.median(times), max(times)))
    finally:
        if program:
            program.terminate()
            program.wait(timeout=10)
        server.terminate()
        server.wait(timeout=10)
        shutil.rmtree(home, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
