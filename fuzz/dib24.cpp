// The BitBlt command's 24-bit path with any bitmap in place of "PARROT": the header check
// LoadBitmapW makes, the size GetObjectW reports, the demo's check of the resource against
// that size, the conversion into a buffer of exactly the size the demo allocates, and the
// trail of copies into a frame buffer of exactly the display's size.
//
// ConvertDib24To16 trusts its caller, so this follows the checked path the demo takes before
// calling it; a read or write outside either buffer is a fault of that path.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "demos.h"
#include "resources/resources.h"

namespace {

std::uint32_t readLe32(const std::uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// The demo's rule: an uncompressed bottom-up 24-bit bitmap of exactly width x height, with
// every row of ((width + 1) * 3) & ~3 bytes inside the resource after its 40-byte header.
bool demoAccepts(const std::uint8_t* dib, std::size_t size, std::int64_t width, std::int64_t height,
                 std::uint64_t rowBytes) {
    return size >= 40 && size - 40 >= rowBytes && readLe32(dib) == 40 &&
           static_cast<std::int32_t>(readLe32(dib + 4)) == width &&
           static_cast<std::int32_t>(readLe32(dib + 8)) == height &&
           (dib[14] | dib[15] << 8) == 24 && readLe32(dib + 16) == 0;
}

// A small display in one of the four layouts, its pixels in a buffer of exactly their size.
struct Display {
    std::vector<Pixel16> memory;

    Display(int width, int height, int layout)
        : memory(static_cast<std::size_t>(width + 3) * height) {
        GXDisplayProperties display{};
        display.width = width;
        display.height = height;
        display.bitsPerPixel = 16;
        display.formatFlags = kfDirect | (layout & 1 ? kfDirect555 : kfDirect565);
        Pixel16* base = nullptr;
        switch (layout) {
            case 0:  // rows of exactly the width
                memory.resize(static_cast<std::size_t>(width) * height);
                display.xPitch = 2;
                display.yPitch = 2 * width;
                base = memory.data();
                break;
            case 1:  // padded rows
                display.xPitch = 2;
                display.yPitch = 2 * (width + 3);
                base = memory.data();
                break;
            case 2:  // each row right to left
                memory.resize(static_cast<std::size_t>(width) * height);
                display.xPitch = -2;
                display.yPitch = 2 * width;
                base = memory.data() + (width - 1);
                break;
            default:  // a landscape panel turned upright
                memory.resize(static_cast<std::size_t>(width) * height);
                display.xPitch = 2 * height;
                display.yPitch = -2;
                base = memory.data() + (height - 1);
                break;
        }
        FbAttach(base, display, 26);
    }
    ~Display() { FbDetach(); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::optional<kdev::DibHeader> header = kdev::parseDib(kdev::Bytes(data, size));
    if (!header) return 0;  // LoadBitmapW gives no bitmap
    const std::int64_t width = header->width;
    const std::int64_t height =
        header->height < 0 ? -static_cast<std::int64_t>(header->height) : header->height;
    if (width <= 0 || height <= 0) return 0;

    const std::uint64_t rowBytes =
        static_cast<std::uint64_t>(height) * ((static_cast<std::uint64_t>(width) + 1) * 3 & ~3ull);
    if (!demoAccepts(data, size, width, height, rowBytes)) return 0;

    // The demo allocates height 24-bit rows for the 16-bit image.
    auto* image = static_cast<Image16*>(std::malloc(rowBytes ? rowBytes : 1));
    if (!image) return 0;
    ConvertDib24To16(data, static_cast<int>(width), static_cast<int>(height), image);

    // The trail on a display a little larger than the image in one direction or the other.
    const int w = static_cast<int>(1 + (width + size % 7) % 96);
    const int h = static_cast<int>(27 + (height + size % 5) % 96);
    {
        Display display(w, h, static_cast<int>(size % 4));
        BitmapDemoDraw(w, h, image, static_cast<int>(width), static_cast<int>(height));
    }
    std::free(image);
    return 0;
}
