#!/usr/bin/env python3
"""The run set of tools/install-deps.sh is exactly what the program's build needs.

Reads the build files a configure with tests and benchmarks off takes part in, and the
program's sources, and collects what they ask of the machine: every find_package,
pkg_check_modules, find_program and find_path, the typeface that is linked in, and every
header from outside the C library. Each maps to the Debian package that provides it; the run
set must name those packages and the compiler, CMake and the run preset's build tool, nothing
more and nothing less.
A new dependency without a row below fails here until it has a row and a place in the set.

usage: run_set_test.py SOURCE_DIR
"""
import json
import os
import re
import subprocess
import sys

# What every C++ build with CMake needs before it finds anything; the build tool is the run
# preset's generator.
BASE = {"cmake", "g++"}
GENERATORS = {"Ninja": "ninja-build", "Unix Makefiles": "make"}

# find_package / pkg_check_modules module / find_program name / find_path file -> package.
FOUND = {
    "PkgConfig": "pkg-config",
    "freetype2": "libfreetype-dev",
    "PNG": "libpng-dev",
    "sdl2": "libsdl2-dev",
    "x11": "libx11-dev",
    "harfbuzz": "libharfbuzz-dev",
    "ZLIB": "zlib1g-dev",
    "libdrm": "libdrm-dev",
    "libevdev": "libevdev-dev",
    # llvm-rc reads the .rc after the build's own C preprocessor (g++ brings it), not clang.
    "llvm-rc": "llvm",
}

# The first part of an included header's path -> package.
HEADERS = {
    "CLI": "libcli11-dev",
    "ft2build.h": "libfreetype-dev",
    "hb.h": "libharfbuzz-dev",
    "hb-ft.h": "libharfbuzz-dev",
    "png.h": "libpng-dev",
    "SDL.h": "libsdl2-dev",
    "SDL_syswm.h": "libsdl2-dev",
    "X11": "libx11-dev",
    "zlib.h": "zlib1g-dev",
    "xf86drm.h": "libdrm-dev",
    "xf86drmMode.h": "libdrm-dev",
    "drm_fourcc.h": "libdrm-dev",
    "libevdev": "libevdev-dev",
}

FONTS = {"/usr/share/fonts/truetype/dejavu/": "fonts-dejavu-core"}

# Build files and sources of the other configurations, which the run set does not build.
SKIP = ("tests", "bench", "fuzz", "build", "platform/win32", "packaging/windows", "platform/host/web",
        "cmake/Web.cmake", "cmake/arm-linux-gnueabihf.cmake", "cmake/x86_64-w64-mingw32.cmake",
        "cmake/CrossSmokeTests.cmake")


def files(root, suffixes):
    for folder, dirs, names in os.walk(root):
        rel = os.path.relpath(folder, root)
        dirs[:] = [d for d in dirs if not d.startswith(".")
                   and not os.path.join(rel, d).lstrip("./").startswith(SKIP)]
        for name in names:
            path = os.path.relpath(os.path.join(folder, name), root)
            if name.endswith(suffixes) and not path.startswith(SKIP):
                yield path


def libc_headers(headers):
    """Which of the headers the C library's own -dev packages provide (g++ pulls them in): one
    dpkg -S for them all."""
    paths = {}
    for header in headers:
        for folder in ("/usr/include", "/usr/include/x86_64-linux-gnu",
                       "/usr/include/aarch64-linux-gnu", "/usr/include/arm-linux-gnueabihf"):
            path = os.path.join(folder, header)
            if os.path.exists(path):
                paths[path] = header
                break
    found = set()
    if paths:
        out = subprocess.run(["dpkg", "-S"] + list(paths), capture_output=True, text=True).stdout
        for line in out.splitlines():
            owners, _, path = line.partition(": ")
            if path in paths and all(o.startswith(("libc6-dev", "linux-libc-dev"))
                                     for o in owners.split(", ")):
                found.add(paths[path])
    return found


def needed(root):
    found, unknown = set(), []
    for path in files(root, ("CMakeLists.txt", ".cmake")):
        text = re.sub(r"#.*", "", open(os.path.join(root, path), encoding="utf-8").read())
        names = re.findall(r"find_package\(\s*(\w+)", text)
        for call in re.findall(r"pkg_check_modules\(([^)]*)\)", text):
            names += [w for w in call.split()[1:]
                      if w not in ("REQUIRED", "QUIET", "IMPORTED_TARGET", "GLOBAL")]
        for call in re.findall(r"find_(?:program|path)\(([^)]*)\)", text):
            words = call.split()
            if "NAMES" in words:
                words = words[words.index("NAMES") + 1:]
            else:
                words = words[1:]
            names.append(words[0])
        for name in names:
            if name in FOUND:
                found.update(FOUND[name].split())
            else:
                unknown.append(f"{path}: {name}")
        for font in re.findall(r'"(/usr/share/fonts/[^"]+)"', text):
            for prefix, package in FONTS.items():
                if font.startswith(prefix):
                    found.add(package)
                    break
            else:
                unknown.append(f"{path}: {font}")
    own = os.path.join(root, "platform", "include")
    includes = []
    for path in files(root, (".cpp", ".h")):
        text = open(os.path.join(root, path), encoding="utf-8").read()
        for header in re.findall(r"^\s*#\s*include\s*<([^>]+)>", text, re.M):
            if "." not in header and "/" not in header:
                continue  # the C++ standard library
            if not os.path.exists(os.path.join(own, header)):
                includes.append((path, header))
    libc = libc_headers({header for _, header in includes})
    for path, header in includes:
        if header in libc:
            continue
        first = header.split("/")[0]
        if first in HEADERS:
            found.add(HEADERS[first])
        else:
            unknown.append(f"{path}: <{header}>")
    return found, unknown


def generator(root):
    presets = json.load(open(os.path.join(root, "CMakePresets.json"), encoding="utf-8"))
    run = next(p for p in presets["configurePresets"] if p["name"] == "run")
    return GENERATORS[run["generator"]]


def main():
    root = sys.argv[1]
    listed = subprocess.run(["sh", os.path.join(root, "tools", "install-deps.sh"), "run", "--list"],
                            capture_output=True, text=True, check=True).stdout.split()
    found, unknown = needed(root)
    want = BASE | {generator(root)} | found
    ok = True
    for item in unknown:
        print(f"no package known for {item}: add a row to {sys.argv[0]} and the run set")
        ok = False
    if len(listed) != len(set(listed)):
        print("the run set names a package twice")
        ok = False
    for p in sorted(want - set(listed)):
        print(f"the build needs {p}, which the run set lacks")
        ok = False
    for p in sorted(set(listed) - want):
        print(f"the run set installs {p}, which the build does not ask for")
        ok = False
    print("run set:", " ".join(sorted(listed)))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
