#include "fbdev/panel_frontend.h"

#include <dirent.h>
#include <drm_fourcc.h>
#include <fcntl.h>
#include <grp.h>
#include <libevdev/libevdev.h>
#include <linux/fb.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xf86drm.h>
#include <xf86drmMode.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <vector>

#include "core/trace.h"
#include "fbdev/console.h"
#include "fbdev/panel.h"
#include "signals.h"

namespace khost {

namespace {

void note(const std::string& line) { std::fprintf(stderr, "kestrova: %s\n", line.c_str()); }

// "cannot open /dev/fb0: Permission denied (it belongs to group video; add your user to it)"
std::string openError(const std::string& path) {
    const int saved = errno;
    std::string line = "cannot open " + kdev::printable(path) + ": " + std::strerror(saved);
    struct stat st {};
    if ((saved == EACCES || saved == EPERM) && stat(path.c_str(), &st) == 0) {
        const group* g = getgrgid(st.st_gid);
        line += " (it belongs to group " +
                (g ? kdev::printable(g->gr_name) : std::to_string(st.st_gid)) +
                "; add your user to it)";
    }
    return line;
}

// ---- Input -------------------------------------------------------------------------------

struct InputDevice {
    std::string path;
    int fd = -1;
    libevdev* dev = nullptr;
    bool pointer = false;
    int x = 0, y = 0;  // device pixels
    bool down = false, wasDown = false, moved = false;
    bool leftShift = false, rightShift = false;
};

std::optional<kdev::Key> deviceKey(unsigned code) {
    switch (code) {
        case KEY_ENTER:
        case KEY_KPENTER:
            return kdev::Key::Return;
        case KEY_ESC:
            return kdev::Key::Escape;
        case KEY_TAB:
            return kdev::Key::Tab;
        case KEY_SPACE:
            return kdev::Key::Space;
        case KEY_LEFT:
            return kdev::Key::Left;
        case KEY_RIGHT:
            return kdev::Key::Right;
        case KEY_UP:
            return kdev::Key::Up;
        case KEY_DOWN:
            return kdev::Key::Down;
        case KEY_F10:
            return kdev::Key::F10;
        default:
            return std::nullopt;
    }
}

class Inputs {
public:
    Inputs(int width, int height) : width_(width), height_(height) {
        watch_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (watch_ >= 0) inotify_add_watch(watch_, "/dev/input", IN_CREATE | IN_ATTRIB);
        if (DIR* dir = opendir("/dev/input")) {
            while (dirent* e = readdir(dir)) add(e->d_name);
            closedir(dir);
        }
        if (devices_.empty())
            note(
                "no touchscreen, tablet or keyboard in /dev/input: waiting for one (end with "
                "SIGTERM)");
    }
    ~Inputs() {
        for (InputDevice& d : devices_) drop(d);
        if (watch_ >= 0) close(watch_);
    }

    // Descriptors to wait on: the watch, then each device.
    void descriptors(std::vector<pollfd>* out) const {
        out->push_back({watch_, POLLIN, 0});
        for (const InputDevice& d : devices_) out->push_back({d.fd, POLLIN, 0});
    }

    void read(std::deque<kdev::InputEvent>* events) {
        char buffer[4096] __attribute__((aligned(__alignof__(inotify_event))));
        ssize_t n;
        while (watch_ >= 0 && (n = ::read(watch_, buffer, sizeof buffer)) > 0)
            for (char* p = buffer; p < buffer + n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(p);
                if (e->len) add(e->name);
                p += sizeof(inotify_event) + e->len;
            }
        for (auto it = devices_.begin(); it != devices_.end();) {
            if (pump(*it, events)) {
                ++it;
            } else {
                drop(*it);
                it = devices_.erase(it);
            }
        }
    }

private:
    void add(const char* name) {
        if (std::strncmp(name, "event", 5) != 0) return;
        const std::string path = std::string("/dev/input/") + name;
        for (const InputDevice& d : devices_)
            if (d.path == path) return;
        InputDevice d;
        d.path = path;
        d.fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (d.fd < 0) return;  // not ours to read (yet: its permissions may come later)
        if (libevdev_new_from_fd(d.fd, &d.dev) < 0) {
            close(d.fd);
            return;
        }
        d.pointer = libevdev_has_event_code(d.dev, EV_ABS, ABS_X) &&
                    libevdev_has_event_code(d.dev, EV_ABS, ABS_Y) &&
                    (libevdev_has_event_code(d.dev, EV_KEY, BTN_TOUCH) ||
                     libevdev_has_event_code(d.dev, EV_KEY, BTN_LEFT));
        const bool keyboard = libevdev_has_event_code(d.dev, EV_KEY, KEY_ENTER);
        if (!d.pointer && !keyboard) {
            drop(d);
            return;
        }
        devices_.push_back(d);
    }

    static void drop(InputDevice& d) {
        if (d.dev) libevdev_free(d.dev);
        if (d.fd >= 0) close(d.fd);
        d.dev = nullptr;
        d.fd = -1;
    }

    // False when the device has gone.
    bool pump(InputDevice& d, std::deque<kdev::InputEvent>* events) {
        input_event ev;
        unsigned flag = LIBEVDEV_READ_FLAG_NORMAL;
        for (;;) {
            const int rc = libevdev_next_event(d.dev, flag, &ev);
            if (rc == -EAGAIN && flag == LIBEVDEV_READ_FLAG_SYNC) {
                flag = LIBEVDEV_READ_FLAG_NORMAL;  // caught up after dropped events
                continue;
            }
            if (rc == -EAGAIN) return true;
            if (rc < 0) return false;
            if (rc == LIBEVDEV_READ_STATUS_SYNC) flag = LIBEVDEV_READ_FLAG_SYNC;
            handle(d, ev, events);
        }
    }

    void handle(InputDevice& d, const input_event& ev, std::deque<kdev::InputEvent>* events) {
        if (ev.type == EV_ABS && d.pointer && (ev.code == ABS_X || ev.code == ABS_Y)) {
            const input_absinfo* a = libevdev_get_abs_info(d.dev, ev.code);
            if (!a) return;
            if (ev.code == ABS_X)
                d.x = axisToPixel(ev.value, a->minimum, a->maximum, width_);
            else
                d.y = axisToPixel(ev.value, a->minimum, a->maximum, height_);
            d.moved = true;
        } else if (ev.type == EV_KEY && (ev.code == BTN_TOUCH || ev.code == BTN_LEFT)) {
            if (d.pointer) d.down = ev.value != 0;
        } else if (ev.type == EV_KEY && (ev.code == KEY_LEFTSHIFT || ev.code == KEY_RIGHTSHIFT)) {
            (ev.code == KEY_LEFTSHIFT ? d.leftShift : d.rightShift) = ev.value != 0;
        } else if (ev.type == EV_KEY && ev.value != 0) {
            if (const auto key = deviceKey(ev.code))
                events->push_back(kdev::InputEvent::keyDown(*key, d.leftShift || d.rightShift));
        } else if (ev.type == EV_SYN && ev.code == SYN_REPORT) {
            if (d.down && !d.wasDown)
                events->push_back(kdev::InputEvent::stylusDown(d.x, d.y));
            else if (!d.down && d.wasDown)
                events->push_back(kdev::InputEvent::stylusUp(d.x, d.y));
            else if (d.down && d.moved)
                events->push_back(kdev::InputEvent::stylusMove(d.x, d.y));
            d.wasDown = d.down;
            d.moved = false;
        }
    }

    int width_, height_;
    int watch_ = -1;
    std::vector<InputDevice> devices_;
};

// ---- The panel ---------------------------------------------------------------------------

class Panel : public PanelFrontEnd {
public:
    ~Panel() override {
        restoreConsole();
        if (drmFb_) {
            if (savedCrtc_) {
                drmModeSetCrtc(fd_, savedCrtc_->crtc_id, savedCrtc_->buffer_id, savedCrtc_->x,
                               savedCrtc_->y, &connector_, 1, &savedCrtc_->mode);
            }
            drmModeRmFB(fd_, drmFb_);
        }
        if (savedCrtc_) drmModeFreeCrtc(savedCrtc_);
        if (map_ && map_ != MAP_FAILED) munmap(map_, mapBytes_);
        if (dumbHandle_) {
            drm_mode_destroy_dumb destroy{};
            destroy.handle = dumbHandle_;
            drmIoctl(fd_, DRM_IOCTL_MODE_DESTROY_DUMB, &destroy);
        }
        if (fd_ >= 0) close(fd_);
    }

    std::unique_ptr<kdev::Screen> takeScreen() override { return std::move(screen_); }

    bool waitEvent(kdev::InputEvent& event) override {
        std::vector<pollfd> fds;
        for (;;) {
            if (!events_.empty()) {
                event = events_.front();
                events_.pop_front();
                return true;
            }
            fds.clear();
            fds.push_back({stopDescriptor(), POLLIN, 0});
            fds.push_back({wakeFd_, POLLIN, 0});
            inputs_->descriptors(&fds);
            if (poll(fds.data(), fds.size(), -1) < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            if (fds[0].revents) return false;  // a stop signal ends the input
            if (fds[1].revents) {
                event = kdev::InputEvent::wakeUp();
                return true;
            }
            inputs_->read(&events_);
        }
    }

    void present(const kdev::Screen& screen) override {
        if (converter_) {
            auto* row = static_cast<unsigned char*>(panelMemory_);
            for (int y = 0; y < screen.height(); ++y, row += panelPitch_)
                converter_->convertRow(screen.at(0, y), row, screen.width());
        }
        if (drmFb_) drmModeDirtyFB(fd_, drmFb_, nullptr, 0);
    }

    void raise() override {}
    void setWakeDescriptor(int fd) override { wakeFd_ = fd; }

    bool openFbdev(const std::string& path, std::string* error) {
        fd_ = open(path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd_ < 0) return fail(openError(path), error);
        fb_var_screeninfo var{};
        fb_fix_screeninfo fix{};
        if (ioctl(fd_, FBIOGET_VSCREENINFO, &var) != 0)
            return fail(kdev::printable(path) + " is not a frame buffer", error);
        if (var.bits_per_pixel != 16) {
            fb_var_screeninfo want = var;
            want.bits_per_pixel = 16;
            if (ioctl(fd_, FBIOPUT_VSCREENINFO, &want) == 0) ioctl(fd_, FBIOGET_VSCREENINFO, &var);
        }
        if (ioctl(fd_, FBIOGET_FSCREENINFO, &fix) != 0)
            return fail(kdev::printable(path) + " is not a frame buffer", error);
        PanelFormat format;
        format.bitsPerPixel = var.bits_per_pixel;
        format.red = {var.red.offset, var.red.length};
        format.green = {var.green.offset, var.green.length};
        format.blue = {var.blue.offset, var.blue.length};
        const int width = static_cast<int>(var.xres), height = static_cast<int>(var.yres);
        const std::size_t pitch = fix.line_length;
        const std::size_t first = var.yoffset * pitch + var.xoffset * (var.bits_per_pixel / 8);
        if (fix.type != FB_TYPE_PACKED_PIXELS || fix.visual != FB_VISUAL_TRUECOLOR ||
            (!directFormat(format) && !PanelConverter::supports(format)))
            return fail(kdev::printable(path) + ": a " + std::to_string(var.bits_per_pixel) +
                            "-bit panel in a layout Kestrova cannot draw, and the driver keeps "
                            "it at that depth",
                        error);
        if (width < 1 || height < 1 || pitch * var.bits_per_pixel / 8 == 0 ||
            first + pitch * static_cast<std::size_t>(height) > fix.smem_len)
            return fail(
                kdev::printable(path) + ": the driver reports a screen larger than its memory",
                error);
        mapBytes_ = fix.smem_len;
        map_ = mmap(nullptr, mapBytes_, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
        if (map_ == MAP_FAILED)
            return fail("cannot map " + kdev::printable(path) + ": " + std::strerror(errno), error);
        return adopt(path, format, width, height, static_cast<unsigned char*>(map_) + first,
                     static_cast<int>(pitch), error);
    }

    bool openDrm(const std::string& path, kdev::PixelFormat preferred, std::string* error) {
        fd_ = open(path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd_ < 0) return fail(openError(path), error);
        drmModeRes* res = drmModeGetResources(fd_);
        if (!res) return fail(kdev::printable(path) + " is not a DRM/KMS display card", error);
        drmModeConnector* conn = nullptr;
        for (int i = 0; i < res->count_connectors && !conn; ++i) {
            drmModeConnector* c = drmModeGetConnector(fd_, res->connectors[i]);
            if (c && c->connection == DRM_MODE_CONNECTED && c->count_modes > 0)
                conn = c;
            else if (c)
                drmModeFreeConnector(c);
        }
        if (!conn) {
            drmModeFreeResources(res);
            return fail(kdev::printable(path) + ": no connected screen", error);
        }
        drmModeModeInfo mode = conn->modes[0];
        for (int i = 0; i < conn->count_modes; ++i)
            if (conn->modes[i].type & DRM_MODE_TYPE_PREFERRED) {
                mode = conn->modes[i];
                break;
            }
        connector_ = conn->connector_id;
        std::uint32_t crtc = 0;
        if (drmModeEncoder* enc =
                conn->encoder_id ? drmModeGetEncoder(fd_, conn->encoder_id) : nullptr) {
            crtc = enc->crtc_id;
            drmModeFreeEncoder(enc);
        }
        for (int e = 0; e < conn->count_encoders && !crtc; ++e) {
            drmModeEncoder* enc = drmModeGetEncoder(fd_, conn->encoders[e]);
            if (!enc) continue;
            for (int i = 0; i < res->count_crtcs && !crtc; ++i)
                if (enc->possible_crtcs & (1u << i)) crtc = res->crtcs[i];
            drmModeFreeEncoder(enc);
        }
        drmModeFreeConnector(conn);
        drmModeFreeResources(res);
        if (!crtc)
            return fail(kdev::printable(path) + ": no display controller for the screen", error);
        savedCrtc_ = drmModeGetCrtc(fd_, crtc);

        // The device's own order first (the buffer is then the screen memory), then the common
        // 16-bit order and 32 bits, converted on present.
        struct Candidate {
            std::uint32_t fourcc;
            PanelFormat format;
        };
        const PanelFormat own565{16, {0, 5}, {5, 6}, {11, 5}}, own555{16, {0, 5}, {5, 5}, {10, 5}};
        const PanelFormat rgb565{16, {11, 5}, {5, 6}, {0, 5}}, rgb555{16, {10, 5}, {5, 5}, {0, 5}};
        const PanelFormat xrgb{32, {16, 8}, {8, 8}, {0, 8}};
        std::vector<Candidate> candidates;
        if (preferred == kdev::PixelFormat::Rgb555)
            candidates = {{DRM_FORMAT_XBGR1555, own555}, {DRM_FORMAT_XRGB1555, rgb555}};
        else
            candidates = {{DRM_FORMAT_BGR565, own565}, {DRM_FORMAT_RGB565, rgb565}};
        candidates.push_back({DRM_FORMAT_XRGB8888, xrgb});
        const int width = mode.hdisplay, height = mode.vdisplay;
        std::string last = "no format accepted";
        for (const Candidate& c : candidates) {
            drm_mode_create_dumb create{};
            create.width = static_cast<std::uint32_t>(width);
            create.height = static_cast<std::uint32_t>(height);
            create.bpp = c.format.bitsPerPixel;
            if (drmIoctl(fd_, DRM_IOCTL_MODE_CREATE_DUMB, &create) != 0) {
                last = std::string("cannot make a buffer: ") + std::strerror(errno);
                continue;
            }
            std::uint32_t handles[4] = {create.handle}, pitches[4] = {create.pitch},
                          offsets[4] = {};
            std::uint32_t fb = 0;
            if (drmModeAddFB2(fd_, static_cast<std::uint32_t>(width),
                              static_cast<std::uint32_t>(height), c.fourcc, handles, pitches,
                              offsets, &fb, 0) == 0) {
                if (drmModeSetCrtc(fd_, crtc, fb, 0, 0, &connector_, 1, &mode) == 0) {
                    drm_mode_map_dumb mapDumb{};
                    mapDumb.handle = create.handle;
                    dumbHandle_ = create.handle;
                    drmFb_ = fb;
                    if (drmIoctl(fd_, DRM_IOCTL_MODE_MAP_DUMB, &mapDumb) != 0)
                        return fail("cannot map the buffer on " + kdev::printable(path) + ": " +
                                        std::strerror(errno),
                                    error);
                    mapBytes_ = create.size;
                    map_ = mmap(nullptr, mapBytes_, PROT_READ | PROT_WRITE, MAP_SHARED, fd_,
                                static_cast<off_t>(mapDumb.offset));
                    if (map_ == MAP_FAILED)
                        return fail("cannot map the buffer on " + kdev::printable(path) + ": " +
                                        std::strerror(errno),
                                    error);
                    std::memset(map_, 0, mapBytes_);
                    return adopt(path, c.format, width, height, static_cast<unsigned char*>(map_),
                                 static_cast<int>(create.pitch), error);
                }
                last = std::string("cannot show a buffer: ") + std::strerror(errno);
                if (errno == EACCES || errno == EPERM)
                    last += " (another program, a desktop, is the display's master)";
                drmModeRmFB(fd_, fb);
            } else {
                last = std::string("cannot make a frame buffer: ") + std::strerror(errno);
            }
            drm_mode_destroy_dumb destroy{};
            destroy.handle = create.handle;
            drmIoctl(fd_, DRM_IOCTL_MODE_DESTROY_DUMB, &destroy);
        }
        return fail(kdev::printable(path) + ": " + last, error);
    }

private:
    static bool fail(const std::string& line, std::string* error) {
        *error = line;
        return false;
    }

    bool adopt(const std::string& path, const PanelFormat& format, int width, int height,
               unsigned char* memory, int pitch, std::string* error) {
        panelMemory_ = memory;
        panelPitch_ = pitch;
        if (const auto direct = directFormat(format)) {
            screen_ = kdev::Screen::adopt(width, height, *direct,
                                          reinterpret_cast<std::uint16_t*>(memory), pitch, error);
        } else {
            const kdev::PixelFormat drawing = drawingFormat(format);
            screen_ = kdev::Screen::create({width, height, drawing, kdev::Layout::Normal}, error);
            converter_ = std::make_unique<PanelConverter>(drawing, format);
            note(kdev::printable(path) + ": the panel's " + std::to_string(format.bitsPerPixel) +
                 "-bit pixels are not the device's; drawing into memory of its own, copied to "
                 "the panel on every change");
        }
        if (!screen_) {
            *error = kdev::printable(path) + ": " + *error;
            return false;
        }
        std::string line;
        if (!takeConsole(&line)) note(line);
        inputs_ = std::make_unique<Inputs>(width, height);
        return true;
    }

    int fd_ = -1;
    void* map_ = nullptr;
    std::size_t mapBytes_ = 0;
    std::uint32_t drmFb_ = 0, dumbHandle_ = 0, connector_ = 0;
    drmModeCrtc* savedCrtc_ = nullptr;
    void* panelMemory_ = nullptr;
    int panelPitch_ = 0;
    std::unique_ptr<kdev::Screen> screen_;
    std::unique_ptr<PanelConverter> converter_;
    std::unique_ptr<Inputs> inputs_;
    std::deque<kdev::InputEvent> events_;
    int wakeFd_ = -1;
};

}  // namespace

std::unique_ptr<PanelFrontEnd> openPanel(const PanelOptions& options, std::string* error) {
    auto panel = std::make_unique<Panel>();
    const bool opened = options.kind == PanelOptions::Kind::Drm
                            ? panel->openDrm(options.path, options.format, error)
                            : panel->openFbdev(options.path, error);
    if (!opened) return nullptr;
    return panel;
}

}  // namespace khost
