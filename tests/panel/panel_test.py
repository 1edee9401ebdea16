#!/usr/bin/env python3
"""Kestrova on a real kernel's frame buffer: boots Debian's kernel in QEMU once per panel
format with an initramfs holding busybox, the kestrova binary and its libraries, and drives
the program through a virtual tablet and keyboard (QMP) while a shell in the guest, on the
serial port, starts it, signals it and reports how it ended. Every picture QEMU's card shows
is compared with the native headless program's screenshot of the same geometry and format.

Usage: panel_test.py BUILD_DIR (the native build, with app/kestrova). The kernel package is
downloaded with apt-get into BUILD_DIR/panel the first time. Last line: "panel: N passed, N
failed". Every wait is bounded; the part always ends."""
import glob, json, os, select, shutil, socket, subprocess, sys, tempfile, time

BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/default")
KESTROVA = os.path.join(BUILD, "app", "kestrova")
WORK = os.path.join(BUILD, "panel")
BOOT_TIMEOUT = 240       # a busy 2-core machine without KVM boots in 6-26 s
STEP_TIMEOUT = 90
MODULES = ["virtio_ring", "virtio", "virtio_pci_modern_dev", "virtio_pci_legacy_dev",
           "virtio_pci", "virtio_input", "evdev"]
DRM_MODULES = ["drm", "drm_kms_helper", "drm_shmem_helper", "cirrus"]

# Menu positions on the device's screen (the command bar's font and metrics do not depend
# on the display's size): the Tools button, then its items.
TOOLS = (20, 12)
ITEMS = {"BitBlt": (40, 36), "Lines": (40, 56), "Circles": (40, 76), "Clear": (40, 96),
         "About": (40, 123), "Exit": (40, 143)}

passed = failed = 0


def check(name, ok, detail=""):
    global passed, failed
    if ok:
        passed += 1
        print(f"[  OK  ] {name}", flush=True)
    else:
        failed += 1
        print(f"[FAILED] {name}: {detail}", flush=True)
    return ok


def kernel():
    """vmlinuz and the modules folder of Debian's 6.1 kernel, unpacked into the build."""
    root = os.path.join(WORK, "kernel")
    found = glob.glob(os.path.join(root, "boot", "vmlinuz-*"))
    if not found:
        os.makedirs(root, exist_ok=True)
        out = subprocess.run(["apt-cache", "depends", "linux-image-amd64"], capture_output=True,
                             text=True, check=True).stdout
        name = next(l.split()[-1] for l in out.splitlines()
                    if "Depends:" in l and "linux-image-6" in l)
        subprocess.run(["apt-get", "download", name], cwd=WORK, check=True,
                       stdout=subprocess.DEVNULL)
        deb = glob.glob(os.path.join(WORK, name + "_*.deb"))[0]
        subprocess.run(["dpkg", "-x", deb, root], check=True)
        os.remove(deb)
        found = glob.glob(os.path.join(root, "boot", "vmlinuz-*"))
    vmlinuz = found[0]
    release = os.path.basename(vmlinuz)[len("vmlinuz-"):]
    return vmlinuz, os.path.join(root, "lib", "modules", release)


INIT = r"""#!/bin/sh
mount -t proc proc /proc; mount -t sysfs sys /sys; mount -t devtmpfs dev /dev
for m in $(cat /modules); do insmod /lib/$m.ko; done
exec </dev/ttyS0 >/dev/ttyS0 2>&1
stty -echo
exec 3</dev/tty1  # held open, so keys typed on the console wait in its line buffer
echo "@ready $(cat /sys/class/graphics/fb0/bits_per_pixel 2>/dev/null) $(ls /dev/dri 2>/dev/null)"
while read -r cmd args; do
  case $cmd in
    start) /kestrova $args 2>/tmp/err & pid=$!; echo "@started";;
    term) kill -TERM $pid; echo "@sent";;
    wait) wait $pid; rc=$?; tr '\n' '|' </tmp/err; echo; echo "@exited $rc";;
    text) printf '\033[2J\033[H' >/dev/tty1
          i=0; while [ $i -lt 8 ]; do echo "################################" >/dev/tty1; i=$((i+1)); done
          echo "@text";;
    keys) if read -t 60 -r line <&3; then echo "@keys $line"; else echo "@keys none"; fi;;
    off) echo "@off"; poweroff -f;;
  esac
done
"""


def initramfs(modules_dir, with_drm):
    tree = tempfile.mkdtemp(prefix="initramfs", dir=WORK)
    for d in ["bin", "lib", "lib64", "proc", "sys", "dev", "tmp"]:
        os.makedirs(os.path.join(tree, d), exist_ok=True)
    shutil.copy("/bin/busybox", os.path.join(tree, "bin", "busybox"))
    for applet in ["sh", "mount", "insmod", "cat", "ls", "stty", "kill", "tr", "printf", "echo",
                   "poweroff", "sleep"]:
        os.symlink("busybox", os.path.join(tree, "bin", applet))
    shutil.copy(KESTROVA, os.path.join(tree, "kestrova"))
    libs = subprocess.run(["ldd", KESTROVA], capture_output=True, text=True, check=True).stdout
    for line in libs.splitlines():
        parts = line.split()
        path = parts[2] if "=>" in parts and len(parts) > 2 else parts[0]
        if path.startswith("/"):
            dest = os.path.join(tree, path.lstrip("/"))
            os.makedirs(os.path.dirname(dest), exist_ok=True)
            shutil.copy(path, dest)
    names = MODULES + (DRM_MODULES if with_drm else [])
    for m in names:
        found = glob.glob(os.path.join(modules_dir, "kernel", "**", m + ".ko"), recursive=True)
        shutil.copy(found[0], os.path.join(tree, "lib", m + ".ko"))
    with open(os.path.join(tree, "modules"), "w") as f:
        f.write(" ".join(names))
    with open(os.path.join(tree, "init"), "w") as f:
        f.write(INIT)
    os.chmod(os.path.join(tree, "init"), 0o755)
    image = tree + ".cpio"
    with open(image, "wb") as out:
        files = subprocess.run("find . | sort", shell=True, cwd=tree, capture_output=True,
                               check=True).stdout
        subprocess.run(["cpio", "-o", "-H", "newc", "--quiet"], cwd=tree, input=files,
                       stdout=out, check=True)
    shutil.rmtree(tree)
    return image


class Guest:
    def __init__(self, vmlinuz, image, vga, append, log):
        self.dir = tempfile.mkdtemp(prefix="qemu", dir=WORK)
        self.qmp_path = os.path.join(self.dir, "qmp")
        self.serial_path = os.path.join(self.dir, "serial")
        self.log = open(log, "w")
        self.proc = subprocess.Popen(
            ["qemu-system-x86_64", "-m", "512", "-smp", "1", "-display", "none", "-vga", vga,
             "-kernel", vmlinuz, "-initrd", image, "-no-reboot",
             "-append", "console=ttyS0 panic=-1 quiet " + append,
             "-chardev", f"socket,id=s0,path={self.serial_path},server=on,wait=on",
             "-serial", "chardev:s0",
             "-qmp", f"unix:{self.qmp_path},server=on,wait=off",
             "-device", "virtio-tablet-pci", "-device", "virtio-keyboard-pci"],
            stdout=self.log, stderr=subprocess.STDOUT)
        self.serial = self._connect(self.serial_path)
        self.buffer = b""
        self.qmp = self._connect(self.qmp_path)
        self.qmp_file = self.qmp.makefile("rw")
        self.qmp_file.readline()
        self.command("qmp_capabilities")

    def _connect(self, path):
        deadline = time.time() + 30
        while True:
            s = socket.socket(socket.AF_UNIX)
            try:
                s.connect(path)
                return s
            except OSError:
                s.close()
                if time.time() > deadline or self.proc.poll() is not None:
                    raise RuntimeError("QEMU did not start: see " + self.log.name)
                time.sleep(0.1)

    def command(self, name, **arguments):
        self.qmp_file.write(json.dumps({"execute": name, "arguments": arguments}) + "\n")
        self.qmp_file.flush()
        while True:
            reply = json.loads(self.qmp_file.readline())
            if "return" in reply:
                return reply["return"]
            if "error" in reply:
                raise RuntimeError(f"{name}: {reply['error']}")

    def expect(self, marker, timeout=STEP_TIMEOUT):
        """The rest of the first serial line starting with marker, None after the timeout."""
        deadline = time.time() + timeout
        while True:
            while b"\n" in self.buffer:
                line, self.buffer = self.buffer.split(b"\n", 1)
                text = line.decode(errors="replace").strip()
                self.log.write("serial: " + text + "\n")
                self.log.flush()
                if text.startswith(marker):
                    return text[len(marker):].strip()
            left = deadline - time.time()
            if left <= 0:
                return None
            ready, _, _ = select.select([self.serial], [], [], left)
            if ready:
                data = self.serial.recv(65536)
                if not data:
                    return None
                self.buffer += data

    def send(self, line):
        self.serial.sendall((line + "\n").encode())

    def tap(self, x, y, width, height):
        # The tablet's axes run 0..32767; the front end scales them to 0..side-1.
        ax = (x * 32767 + width - 2) // (width - 1)
        ay = (y * 32767 + height - 2) // (height - 1)
        move = [{"type": "abs", "data": {"axis": "x", "value": ax}},
                {"type": "abs", "data": {"axis": "y", "value": ay}}]
        self.command("input-send-event", events=move)
        self.command("input-send-event",
                     events=[{"type": "btn", "data": {"down": True, "button": "left"}}])
        self.command("input-send-event",
                     events=[{"type": "btn", "data": {"down": False, "button": "left"}}])

    def key(self, name):
        self.command("send-key", keys=[{"type": "qcode", "data": name}])

    def screendump(self):
        path = os.path.join(self.dir, "screen.ppm")
        self.command("screendump", filename=path)
        return read_ppm(path)

    def close(self):
        try:
            self.send("off")
            self.proc.wait(timeout=30)
        except Exception:
            pass
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        self.log.close()
        shutil.rmtree(self.dir, ignore_errors=True)


def read_ppm(path):
    with open(path, "rb") as f:
        data = f.read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    return int(fields[1]), int(fields[2]), data[pos + 1:]


def read_png(path):
    ppm = path + ".ppm"
    subprocess.run(["convert", path, "-depth", "8", ppm], check=True)
    return read_ppm(ppm)


def reduce(rgb, green_bits):
    """Each pixel cut to the display's own channel widths: QEMU's card and our pictures may
    widen 5 and 6-bit channels to 8 bits differently, but both keep the top bits."""
    shifts = bytes([3, 8 - green_bits, 3])
    out = bytearray(len(rgb))
    for c in range(3):
        out[c::3] = bytes(v >> shifts[c] for v in rgb[c::3])
    return bytes(out)


def differ(a, b, green_bits):
    """None when equal in the display's depth, else where they first differ."""
    if a[:2] != b[:2]:
        return f"sizes {a[:2]} and {b[:2]}"
    ra, rb = reduce(a[2], green_bits), reduce(b[2], green_bits)
    if ra == rb:
        return None
    i = next(i for i in range(len(ra)) if ra[i] != rb[i]) // 3
    count = sum(1 for p in range(0, len(ra), 3) if ra[p:p + 3] != rb[p:p + 3])
    return f"{count} pixels differ, the first at ({i % a[0]}, {i // a[0]})"


def references(width, height, fmt, steps, folder):
    """The native headless program's screenshots after each step's taps."""
    lines = []
    for i, (name, taps) in enumerate(steps):
        for x, y in taps:
            lines.append(f"tap {x} {y}")
        lines.append(f"screenshot {folder}/{i:02d}.png")
    lines.append("close")
    script = os.path.join(folder, "script.txt")
    with open(script, "w") as f:
        f.write("\n".join(lines) + "\n")
    subprocess.run([KESTROVA, "--headless", "--display", f"{width}x{height}", "--format", fmt,
                    "--script", script], check=True, timeout=STEP_TIMEOUT)
    return [read_png(f"{folder}/{i:02d}.png") for i in range(len(steps))]


def wait_for_picture(guest, expected, green_bits):
    """QEMU's picture once it equals the expected one, else the last one after the timeout."""
    deadline = time.time() + STEP_TIMEOUT
    while True:
        shown = guest.screendump()
        why = differ(shown, expected, green_bits)
        if why is None or time.time() > deadline:
            return why
        time.sleep(0.2)


def console_is_text(guest, label):
    guest.send("text")
    guest.expect("@text")
    width, height, rgb = guest.screendump()
    # The kernel's console cleared the screen (the command bar across the top is gone) and drew
    # its rows of '#' at the top left; in graphics mode it would have drawn nothing.
    def lit(x0, x1, y0, y1):
        return sum(1 for y in range(y0, y1) for x in range(x0, x1)
                   if min(rgb[3 * (y * width + x): 3 * (y * width + x) + 3]) > 0x60)
    hashes, bar = lit(0, 256, 0, 128), lit(300, width, 0, 20)
    check(f"{label}: the console draws again", hashes > 1000 and bar == 0,
          f"{hashes} lit pixels where the console wrote, {bar} where the command bar was")
    # Keys typed on the console's keyboard reach the console again (with its keyboard off
    # they would reach nothing). The console's line buffer keeps them until the guest reads.
    for k in ["o", "k", "ret"]:
        guest.key(k)
    guest.send("keys")
    typed = guest.expect("@keys")
    check(f"{label}: the console keyboard is back", typed == "ok", f"the console read {typed!r}")


def run_format(vmlinuz, modules, fmt, vga_mode, label, use_drm=False):
    width, height = 1024, 768
    green_bits = 6 if fmt == "565" else 5
    steps = [("Tools > Lines", [TOOLS, ITEMS["Lines"]]),
             ("Tools > Circles", [TOOLS, ITEMS["Circles"]]),
             ("Tools > BitBlt", [TOOLS, ITEMS["BitBlt"]]),
             ("Tools > Clear Screen", [TOOLS, ITEMS["Clear"]]),
             ("Tools > About", [TOOLS, ITEMS["About"]])]
    folder = tempfile.mkdtemp(prefix="refs", dir=WORK)
    expected = references(width, height, fmt, steps, folder)
    image = initramfs(modules, use_drm)
    started = time.time()
    vga, append = ("cirrus", "") if use_drm else ("std", f"vga={vga_mode}")
    guest = Guest(vmlinuz, image, vga, append, os.path.join(WORK, f"{label}.log"))
    try:
        ready = guest.expect("@ready", BOOT_TIMEOUT)
        if not check(f"{label}: the kernel booted", ready is not None, "no @ready on the serial port"):
            return
        print(f"{label}: booted in {time.time() - started:.0f} s ({ready})", flush=True)
        option = "--drm" if use_drm else "--fbdev"
        extra = f" --format {fmt}" if use_drm else ""
        guest.send(f"start {option}{extra}")
        guest.expect("@started")
        why = wait_for_picture(guest, expected_start(width, height, fmt, folder), green_bits)
        check(f"{label}: the start-up screen", why is None, why)
        for (name, taps), picture in zip(steps, expected):
            for x, y in taps:
                guest.tap(x, y, width, height)
            why = wait_for_picture(guest, picture, green_bits)
            check(f"{label}: {name}", why is None, why)
        # The About box closed from the keyboard, then Tools > Exit by the tablet.
        guest.key("ret")
        guest.tap(*TOOLS, width, height)
        guest.tap(*ITEMS["Exit"], width, height)
        guest.send("wait")
        ended = guest.expect("@exited")
        check(f"{label}: Tools > Exit ends with 0", ended == "0", f"exit code {ended}")
        console_is_text(guest, f"{label} after Exit")

        # SIGTERM: the program ends in order, the console is back.
        guest.send(f"start {option}{extra}")
        guest.expect("@started")
        wait_for_picture(guest, expected_start(width, height, fmt, folder), green_bits)
        guest.key("f10")  # a menu open: the signal ends its tracking too
        guest.send("term")
        guest.send("wait")
        ended = guest.expect("@exited")
        check(f"{label}: SIGTERM ends the program in order", ended == str(128 + 15),
              f"exit code {ended}")
        console_is_text(guest, f"{label} after SIGTERM")
    finally:
        guest.close()
        os.remove(image)
        print(f"{label}: {time.time() - started:.0f} s from boot to power-off", flush=True)


_start_cache = {}


def expected_start(width, height, fmt, folder):
    key = (width, height, fmt)
    if key not in _start_cache:
        path = os.path.join(folder, "start.png")
        script = os.path.join(folder, "start.txt")
        with open(script, "w") as f:
            f.write(f"screenshot {path}\nclose\n")
        subprocess.run([KESTROVA, "--headless", "--display", f"{width}x{height}", "--format",
                        fmt, "--script", script], check=True, timeout=STEP_TIMEOUT)
        _start_cache[key] = read_png(path)
    return _start_cache[key]


def main():
    os.makedirs(WORK, exist_ok=True)
    if not os.access(KESTROVA, os.X_OK):
        print(f"no {KESTROVA}: build the default preset first")
        print("panel: 0 passed, 1 failed")
        return 1
    started = time.time()
    vmlinuz, modules = kernel()
    which = sys.argv[2:] or ["fbdev-565", "fbdev-555", "drm"]
    for label in which:
        try:
            if label == "fbdev-565":
                run_format(vmlinuz, modules, "565", "0x317", label)
            elif label == "fbdev-555":
                run_format(vmlinuz, modules, "555", "0x316", label)
            elif label == "drm":
                run_format(vmlinuz, modules, "565", None, label, use_drm=True)
        except Exception as e:  # a broken step fails its format, the others still run
            check(f"{label}: ran to the end", False, repr(e))
    print(f"panel: {time.time() - started:.0f} s in all", flush=True)
    print(f"panel: {passed} passed, {failed} failed", flush=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
