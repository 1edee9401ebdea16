// Runs one demo's drawing once on a 240x320 normal 5-6-5 screen and prints how many pixels it
// writes, so an instruction counter gives instructions per pixel:
//   valgrind --tool=callgrind --collect-atstart=no --toggle-collect='LinesDemoDraw*' kestrova_ipp
//   lines
// bench/ipp.sh runs all of them (and "convert", the 24-to-16-bit conversion alone) and prints
// the table.
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench_support.h"

int main(int argc, char** argv) {
    const char* demo = argc > 1 ? argv[1] : "";
    const int width = 240, height = 320;
    kbench::Target target(width, height);

    if (std::strcmp(demo, "lines") == 0) {
        const double pixels = 20.0 * static_cast<double>(kbench::LinesPassAddresses(target).size());
        LinesDemoDraw(width, height);
        std::printf("pixels %.0f\n", pixels);
    } else if (std::strcmp(demo, "circles") == 0) {
        const std::vector<int> numbers = kbench::RandomNumbers(6000);
        double pixels = 0;
        for (const kbench::Span& span : kbench::CirclesSpans(target, numbers))
            pixels += span.length;
        for (std::size_t i = 0; i < numbers.size(); i += 6)
            CirclesDemoDisc(width, height, &numbers[i]);
        std::printf("pixels %.0f\n", pixels);
    } else if (std::strcmp(demo, "bitblt") == 0) {
        const std::vector<std::uint8_t> dib = kbench::MakeDib(155, 115);
        std::vector<Image16> image(156 * 115);
        const double copies =
            static_cast<double>(model::BitBltOffsets(width, height, kbench::kBar, 155, 115).size());
        ConvertDib24To16(dib.data(), 155, 115, image.data());
        BitmapDemoDraw(width, height, image.data(), 155, 115);
        std::printf("pixels %.0f\n", copies * 155 * 115);
    } else if (std::strcmp(demo, "convert") == 0) {
        const std::vector<std::uint8_t> dib = kbench::MakeDib(155, 115);
        std::vector<Image16> image(156 * 115);
        ConvertDib24To16(dib.data(), 155, 115, image.data());
        std::printf("pixels %d\n", 155 * 115);
    } else {
        std::fprintf(stderr, "usage: kestrova_ipp lines|circles|bitblt|convert\n");
        return 2;
    }
    return 0;
}
