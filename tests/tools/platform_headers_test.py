#!/usr/bin/env python3
"""Every name platform/include declares is used: by the program (app/, demos/, fb/), by the
device and its host (platform/device/, platform/host/), by the program's resource script, or
by another declaration of the headers themselves.

The headers are ours and declare the platform's names for what this code uses; a name nothing
uses is dead weight that looks like a promise. The names are what the headers #define, typedef
(DECLARE_HANDLE included), name as a struct, and declare as functions. A function's own
declaration or definition (a line that starts at column 0 with its name and a parenthesis) is
not a use of it: the device defines every function the headers declare.

usage: platform_headers_test.py SOURCE_DIR
"""
import os
import re
import sys

USERS = ["app", "demos", "fb", "platform/device", "platform/host"]
SOURCE = (".cpp", ".h", ".rc")


def declared(text):
    """(name, is_function) for every name a header declares."""
    names = {}
    for m in re.finditer(r"^#define\s+(\w+)", text, re.M):
        names[m.group(1)] = False
    for m in re.finditer(r"DECLARE_HANDLE\((\w+)\);", text):
        names[m.group(1)] = False
    # typedef ... NAME;  typedef RESULT(CALLBACK* NAME)(...);  } NAME, *PNAME;
    for m in re.finditer(r"^typedef\s[^;{]*?(\w+)\s*;", text, re.M):
        names[m.group(1)] = False
    for m in re.finditer(r"^typedef\s[^;{]*\(\s*\w*\s*\*\s*(\w+)\s*\)", text, re.M):
        names[m.group(1)] = False
    for m in re.finditer(r"^}\s*([\w\s,*]+);", text, re.M):
        for n in re.findall(r"\w+", m.group(1)):
            names[n] = False
    for m in re.finditer(r"^struct\s+(\w+)\s*{", text, re.M):
        names[m.group(1)] = False
    # Functions: declared at column 0 inside extern "C" blocks.
    for block in re.findall(r'extern "C" {(.*?)}\s*// extern "C"', text, re.S):
        for m in re.finditer(r"^[A-Za-z_][\w\s*]*?\b(\w+)\s*\(", block, re.M):
            names[m.group(1)] = True
    return names


def sources(root, folder):
    for dirpath, _, files in os.walk(os.path.join(root, folder)):
        for f in files:
            if f.endswith(SOURCE):
                yield os.path.join(dirpath, f)


def main():
    root = sys.argv[1]
    include = os.path.join(root, "platform", "include")
    headers = {h: open(os.path.join(include, h)).read() for h in sorted(os.listdir(include))}
    others = []
    for folder in USERS:
        for path in sources(root, folder):
            others.append(open(path, errors="replace").read())
    failures = []
    for header, text in headers.items():
        for name, function in sorted(declared(text).items()):
            word = re.compile(r"\b" + re.escape(name) + r"\b")
            # Its own declaration or definition: a line that starts with a type and names it.
            own = re.compile(
                r'^(?:extern "C"\s+)?[A-Za-z_][\w\s*:]*\b' + re.escape(name) + r"\s*\(", re.M)
            used = False
            for other in others:
                rest = own.sub("", other) if function else other
                if word.search(rest):
                    used = True
                    break
            if not used:
                # Another declaration of the headers (a parameter's type, a macro's body).
                used = any(
                    word.search(line) and not defines(line, name)
                    for h in headers.values() for line in h.splitlines())
            if not used:
                failures.append(f"{header}: {name} is used by neither the program nor the "
                                f"device nor the resources")
    for f in failures:
        print(f)
    if not failures:
        print(f"every declaration of {', '.join(headers)} is used")
    return 1 if failures else 0


def defines(line, name):
    """Whether this header line is the one that declares name."""
    n = re.escape(name)
    return bool(
        re.match(r"#define\s+" + n + r"\b", line)
        or re.match(r"DECLARE_HANDLE\(" + n + r"\)", line)
        or re.match(r"typedef\s[^;]*\b" + n + r"\s*;", line)
        or re.match(r"typedef\s[^;]*\(\s*\w*\s*\*\s*" + n + r"\s*\)", line)
        or re.match(r"}\s*[\w\s,*]*\b" + n + r"\b[\w\s,*]*;", line)
        or re.match(r"struct\s+" + n + r"\s*{", line)
        or (not line.startswith("typedef")
            and re.match(r"[A-Za-z_][\w\s*]*\b" + n + r"\s*\(", line)))


if __name__ == "__main__":
    sys.exit(main())
