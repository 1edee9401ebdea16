// What a real panel's description means for the device, in pure functions the tests run
// without a kernel: whether a panel's bit fields are the device's own pixel format (so its
// memory can be the screen memory), where a pointer's axis value lands in device pixels, and
// the conversion on present for panels whose pixels are laid out otherwise.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "core/screen.h"

namespace khost {

// One colour channel as the kernel describes it: its lowest bit and its width.
struct BitField {
    unsigned offset = 0;
    unsigned length = 0;
};

struct PanelFormat {
    unsigned bitsPerPixel = 16;
    BitField red, green, blue;
};

// The device's own format when a panel's pixels are laid out exactly as the device's (red in
// the lowest five bits, blue in the top field, 5-6-5 or 5-5-5), else nullopt: that panel is
// drawn through a conversion.
std::optional<kdev::PixelFormat> directFormat(const PanelFormat& panel);

// The device format to draw in for a panel that is converted to: 5-5-5 for a 5-5-5 panel,
// else 5-6-5.
kdev::PixelFormat drawingFormat(const PanelFormat& panel);

// Device pixels to a panel's pixels (16 or 32 bits, any channel order and widths up to 8
// bits). Channels are widened by bit replication, as every other picture of the screen does,
// then cut to the panel's widths.
class PanelConverter {
public:
    // False when the panel's depth or fields cannot be written (not 16 or 32 bits, a channel
    // wider than 8 bits or outside the pixel).
    static bool supports(const PanelFormat& panel);
    PanelConverter(kdev::PixelFormat from, const PanelFormat& panel);
    void convertRow(const std::uint16_t* from, void* to, int pixels) const;

private:
    unsigned bytesPerPixel_;
    std::vector<std::uint32_t> table_;  // one entry per device pixel value
};

// An absolute axis reporting minimum..maximum, scaled to 0..pixels-1. Values outside the range
// are held at its ends; an empty range (maximum <= minimum) gives 0.
int axisToPixel(int value, int minimum, int maximum, int pixels);

}  // namespace khost
