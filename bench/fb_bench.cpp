// Frame-buffer benchmarks: the clear, each primitive and each demo's drawing, at 240x320,
// 1920x1080 and 3840x2160 on a normal 5-6-5 layout. Every case is two benchmarks, NAME/program
// (the program's code) and NAME/baseline (the same memory work done as plainly and as fast as
// the machine allows); bench/ratios.py divides their medians from one run's JSON output. Run
// with --benchmark_enable_random_interleaving so neither side always follows the other.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "bench_support.h"

namespace {

using kbench::Target;

struct Size {
    int width, height;
};
constexpr Size kSizes[] = {{240, 320}, {1920, 1080}, {3840, 2160}};

std::string SizeName(Size s) { return std::to_string(s.width) + "x" + std::to_string(s.height); }

// One screen per size, made on first use and kept for the whole run.
Target& TargetFor(Size s) {
    static std::map<int, std::unique_ptr<Target>> targets;
    auto& t = targets[s.width];
    if (!t) t = std::make_unique<Target>(s.width, s.height);
    t->attach();
    return *t;
}

// ----- Baseline stores.

// count pixels from p with 16-byte stores, the last one overlapping the one before it; the
// shortest runs with one or two 8-, 4- or 2-byte stores. The program's code is built for the
// same instruction set (SSE2 on x86-64), so neither side gets wider stores than the other.
inline void BaselineFill(std::uint16_t* p, std::uint32_t count, std::uint16_t pixel) {
    if (count >= 8) {
#if defined(__SSE2__)
        const __m128i v = _mm_set1_epi16(static_cast<short>(pixel));
        std::uint16_t* last = p + count - 8;
        for (; p < last; p += 8) _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(last), v);
#else
        std::fill_n(p, count, pixel);
#endif
        return;
    }
    const std::uint64_t four = pixel * 0x0001000100010001ULL;
    if (count >= 4) {
        std::memcpy(p, &four, 8);
        std::memcpy(p + count - 4, &four, 8);
    } else if (count >= 2) {
        std::memcpy(p, &four, 4);
        std::memcpy(p + count - 2, &four, 4);
    } else if (count == 1) {
        *p = pixel;
    }
}

// The distinct row spans a set of discs writes, compactly: offset into the screen's memory,
// length and pixel, eight bytes each.
struct CompactSpan {
    std::uint32_t offset;
    std::uint16_t length, pixel;
};
std::vector<CompactSpan> Compact(const Target& t, const std::vector<kbench::Span>& spans) {
    std::vector<CompactSpan> out;
    for (const kbench::Span& s : spans)
        out.push_back({static_cast<std::uint32_t>(s.start - t.screen().memory()),
                       static_cast<std::uint16_t>(s.length), s.pixel});
    return out;
}
void FillSpans(std::uint16_t* memory, const std::vector<CompactSpan>& spans) {
    for (const CompactSpan& s : spans) BaselineFill(memory + s.offset, s.length, s.pixel);
}

// Pixel offsets into the screen's memory, four bytes each.
std::vector<std::uint32_t> Offsets(const Target& t, const std::vector<std::uint16_t*>& addresses) {
    std::vector<std::uint32_t> out;
    out.reserve(addresses.size());
    for (std::uint16_t* a : addresses)
        out.push_back(static_cast<std::uint32_t>(a - t.screen().memory()));
    return out;
}

// ----- Registration.

// A case's two sides; make() prepares either on first use and returns the call to time (false
// = baseline). The baseline side first checks that it leaves the same screen memory as the
// program, where the two write the same pixels.
using Make = std::function<std::function<void()>(Target&, bool program)>;

void RegisterCase(const std::string& name, Size s, bool check, Make make, double pixels = 0) {
    for (bool program : {true, false}) {
        benchmark::RegisterBenchmark(
            (name + "/" + SizeName(s) + (program ? "/program" : "/baseline")).c_str(),
            [=](benchmark::State& state) {
                Target& t = TargetFor(s);
                const std::function<void()> run = make(t, program);
                if (!program && check) {
                    const std::function<void()> other = make(t, true);
                    t.zero();
                    other();
                    const std::vector<std::uint16_t> expected = t.memory();
                    t.zero();
                    run();
                    if (t.memory() != expected) return state.SkipWithError("baseline differs");
                }
                for (auto _ : state) {
                    run();
                    benchmark::ClobberMemory();
                }
                if (pixels > 0) state.counters["pixels"] = pixels;
            })
            ->Unit(benchmark::kMicrosecond);
    }
}

void RegisterClear(Size s) {
    const RECT client = {0, 0, s.width, s.height};
    const std::size_t bytes = static_cast<std::size_t>(s.width) * (s.height - kbench::kBar) * 2;
    RegisterCase("Clear", s, true, [=](Target& t, bool program) -> std::function<void()> {
        if (program) return [=] { FbClearClientRect(&client); };
        std::uint16_t* first = t.at(0, kbench::kBar);
        return [=] { std::memset(first, 0, bytes); };
    });
}

void RegisterLine(Size s) {
    RegisterCase("FbDrawLine", s, true, [=](Target& t, bool program) -> std::function<void()> {
        if (program)
            return [=] {
                for (const auto& l : kbench::LongestLines(s.width, s.height))
                    FbDrawLine(l[0], l[1], l[2], l[3], 0x80FF80);
            };
        std::vector<std::uint16_t*> addresses;
        for (const auto& l : kbench::LongestLines(s.width, s.height))
            model::LinePixels(l[0], l[1], l[2], l[3], [&](int x, int y) {
                if (t.inArea(x, y)) addresses.push_back(t.at(x, y));
            });
        const std::vector<std::uint32_t> offsets = Offsets(t, addresses);
        std::uint16_t* memory = t.screen().memory();
        const std::uint16_t pixel = PackColor(0x80FF80);
        return [=] {
            for (std::uint32_t o : offsets) memory[o] = pixel;
        };
    });
}

void RegisterDisc(Size s) {
    const int radius = (std::min(s.width, s.height - kbench::kBar) - 2) / 2;
    const int cx = s.width / 2, cy = (kbench::kBar + s.height) / 2;
    RegisterCase("FbFillCircle", s, true, [=](Target& t, bool program) -> std::function<void()> {
        if (program) return [=] { FbFillCircle(cx, cy, radius, 0xFF8080); };
        std::vector<kbench::Span> spans;
        kbench::ModelDiscSpans(t, cx, cy, radius, PackColor(0xFF8080), spans);
        const std::vector<CompactSpan> compact = Compact(t, spans);
        std::uint16_t* memory = t.screen().memory();
        return [=] { FillSpans(memory, compact); };
    });
}

struct Picture {
    std::vector<std::uint8_t> dib = kbench::MakeDib(155, 115);
    std::vector<Image16> image = std::vector<Image16>(156 * 115);
    Picture() { ConvertDib24To16(dib.data(), 155, 115, image.data()); }
};
const Picture& ThePicture() {
    static const Picture picture;
    return picture;
}

// One memcpy per image row, to the row's address on the screen (one row pointer stepped by
// the pitch, as the program does).
void CopyRows(std::uint16_t* first, std::ptrdiff_t pitch, const Image16* image) {
    for (int row = 0; row < 115; ++row, first += pitch)
        std::memcpy(first, image + static_cast<std::size_t>(row) * 156, 155 * 2);
}

void RegisterBlit(Size s) {
    RegisterCase("FbBlitImage16", s, true, [=](Target& t, bool program) -> std::function<void()> {
        const Image16* image = ThePicture().image.data();
        if (program) return [=] { FbBlitImage16(image, 0, kbench::kBar, 155, 115); };
        std::uint16_t* first = t.at(0, kbench::kBar);
        const std::ptrdiff_t pitch = t.screen().yPitch() / 2;
        return [=] { CopyRows(first, pitch, image); };
    });
}

// For scale only: the baseline copies the 24-bit rows the conversion reads.
void RegisterConvert() {
    RegisterCase(
        "ConvertDib24To16", {155, 115}, false,
        [](Target&, bool program) -> std::function<void()> {
            const Picture& picture = ThePicture();
            auto out = std::make_shared<std::vector<Image16>>(156 * 115);
            if (program)
                return [&picture, out] {
                    ConvertDib24To16(picture.dib.data(), 155, 115, out->data());
                };
            auto copy = std::make_shared<std::vector<std::uint8_t>>(picture.dib.size());
            return [&picture, copy] {
                std::memcpy(copy->data(), picture.dib.data() + 40, picture.dib.size() - 40);
            };
        },
        155.0 * 115);
}

// ----- Whole demos.

void RegisterLinesDemo(Size s) {
    RegisterCase("LinesDemo", s, true, [=](Target& t, bool program) -> std::function<void()> {
        if (program) return [=] { LinesDemoDraw(s.width, s.height); };
        const std::vector<std::uint32_t> pass = Offsets(t, kbench::LinesPassAddresses(t));
        std::uint16_t* memory = t.screen().memory();
        std::uint16_t pixels[7];
        for (int i = 0; i < 7; ++i) pixels[i] = PackColor(model::kLinesColours[i]);
        return [=] {
            for (int p = 0; p < 20; ++p) {
                const std::uint16_t pixel = pixels[p % 7];
                for (std::uint32_t o : pass) memory[o] = pixel;
            }
        };
    });
}

void RegisterCirclesDemo(Size s) {
    RegisterCase("CirclesDemo", s, true, [=](Target& t, bool program) -> std::function<void()> {
        const std::vector<int> numbers = kbench::RandomNumbers(6000);
        if (program)
            return [=] {
                for (std::size_t i = 0; i < numbers.size(); i += 6)
                    CirclesDemoDisc(s.width, s.height, &numbers[i]);
            };
        const std::vector<CompactSpan> spans = Compact(t, kbench::CirclesSpans(t, numbers));
        std::uint16_t* memory = t.screen().memory();
        return [=] { FillSpans(memory, spans); };
    });
}

void RegisterBitBltDemo(Size s) {
    RegisterCase("BitBltDemo", s, true, [=](Target& t, bool program) -> std::function<void()> {
        const Image16* image = ThePicture().image.data();
        if (program) return [=] { BitmapDemoDraw(s.width, s.height, image, 155, 115); };
        const std::vector<int> offsets =
            model::BitBltOffsets(s.width, s.height, kbench::kBar, 155, 115);
        std::vector<std::uint16_t*> starts;
        for (int k : offsets) starts.push_back(t.at(k, kbench::kBar + k));
        const std::ptrdiff_t pitch = t.screen().yPitch() / 2;
        return [=] {
            for (std::uint16_t* first : starts) CopyRows(first, pitch, image);
        };
    });
}

}  // namespace

int main(int argc, char** argv) {
    for (Size s : kSizes) RegisterClear(s);
    for (Size s : kSizes) RegisterLine(s);
    for (Size s : kSizes) RegisterDisc(s);
    for (Size s : kSizes) RegisterBlit(s);
    RegisterConvert();
    for (Size s : kSizes) RegisterLinesDemo(s);
    for (Size s : kSizes) RegisterCirclesDemo(s);
    for (Size s : kSizes) RegisterBitBltDemo(s);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
