// The device's one screen: a block of 16-bit pixel memory with its geometry. The window
// system paints into it and GXBeginDraw hands its base address to the program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/display_geometry.h"
#include "core/geometry.h"

namespace kdev {

// A 5 or 6-bit channel widened to 8 bits by bit replication, so that 0 stays 0 and the
// largest value becomes 255. Every picture of the screen (the window, screenshots, the tour)
// uses these, so all of them show the same colours.
constexpr unsigned expand5(unsigned v) { return (v << 3) | (v >> 2); }
constexpr unsigned expand6(unsigned v) { return (v << 2) | (v >> 4); }

class Screen {
public:
    // Fails (with a reason) for sides outside 1..kMaxScreenSide.
    static std::unique_ptr<Screen> create(const Geometry& geometry, std::string* error);
    // A screen on memory a front end provides (a panel's mapped frame buffer): rows of
    // `rowBytes` from `memory`, which stays the front end's and outlives the screen. The
    // layout is Normal when rows are exactly the width, else Padded. Fails (with a reason) for
    // sides outside 1..kMaxScreenSide or rows shorter than the width.
    static std::unique_ptr<Screen> adopt(int width, int height, PixelFormat format,
                                         std::uint16_t* memory, int rowBytes, std::string* error);
    ~Screen();
    Screen(const Screen&) = delete;
    Screen& operator=(const Screen&) = delete;

    const Geometry& geometry() const { return geometry_; }
    int width() const { return geometry_.width; }
    int height() const { return geometry_.height; }
    PixelFormat format() const { return geometry_.format; }
    Rect bounds() const { return {0, 0, geometry_.width, geometry_.height}; }

    // Pitches in bytes, as the display library reports them.
    int xPitch() const { return xPitch_; }
    int yPitch() const { return yPitch_; }
    // Address of logical pixel (0, 0).
    std::uint16_t* base() const { return base_; }
    // The whole block of pixel memory, including padding.
    std::uint16_t* memory() const { return memory_; }
    std::size_t memoryPixels() const { return memoryPixels_; }

    // Logical pixel access; callers keep (x, y) inside bounds().
    std::uint16_t* at(int x, int y) const { return base_ + x * (xPitch_ / 2) + y * (yPitch_ / 2); }
    std::uint16_t get(int x, int y) const { return *at(x, y); }
    void set(int x, int y, std::uint16_t v) const { *at(x, y) = v; }

    // 0x00BBGGRR to a pixel in this screen's format, and back (channels widened by expand5 and
    // expand6).
    std::uint16_t pack(std::uint32_t colorref) const;
    std::uint32_t unpack(std::uint16_t pixel) const;

    // The logical screen, rows top to bottom.
    std::vector<std::uint16_t> logicalPixels() const;

    // Incremented whenever the device draws. The program's own writes through the base
    // address are not seen here: the window manager touches the screen for every message the
    // program's code gets. The front end presents only when this has moved.
    std::uint64_t generation() const { return generation_; }
    void touch() { ++generation_; }

private:
    Screen() = default;
    Geometry geometry_;
    int xPitch_ = 2;
    int yPitch_ = 0;
    std::uint16_t* base_ = nullptr;
    std::uint16_t* memory_ = nullptr;
    std::size_t memoryPixels_ = 0;
    void* mapping_ = nullptr;
    std::size_t mappingBytes_ = 0;
    std::uint64_t generation_ = 0;
};

}  // namespace kdev
