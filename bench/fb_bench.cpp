// Frame-buffer benchmarks: the clear, each primitive and each demo's drawing, at 240x320,
// 1920x1080 and 3840x2160 on a normal 5-6-5 layout. Every case times the program's code and
// a baseline that writes the same bytes as plainly as possible, alternately in the same loop,
// and reports the ratio (program / baseline) as a counter and in a table at the end.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
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

using kbench::Span;
using kbench::Target;
using Clock = std::chrono::steady_clock;

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

struct Result {
    double programNs, baselineNs;
    double goal;
    benchmark::IterationCount iterations;
};
// Every run of each case. The library first runs a case with few iterations to size it; the
// table keeps the runs with the final iteration count (one per repetition) and shows the one
// with the median ratio.
std::map<std::string, std::vector<Result>>& Results() {
    static std::map<std::string, std::vector<Result>> results;
    return results;
}
std::vector<std::string>& Order() {
    static std::vector<std::string> order;
    return order;
}

// Times program() and baseline() alternately; the benchmark's time is the program's.
void Compare(benchmark::State& state, const std::string& name, double goal,
             const std::function<void()>& program, const std::function<void()>& baseline) {
    double programNs = 0, baselineNs = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        program();
        benchmark::ClobberMemory();
        const auto t1 = Clock::now();
        baseline();
        benchmark::ClobberMemory();
        const auto t2 = Clock::now();
        const double p = std::chrono::duration<double, std::nano>(t1 - t0).count();
        programNs += p;
        baselineNs += std::chrono::duration<double, std::nano>(t2 - t1).count();
        state.SetIterationTime(p * 1e-9);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["baseline_us"] = baselineNs / n / 1e3;
    state.counters["ratio"] = programNs / baselineNs;
    Results()[name].push_back({programNs / n, baselineNs / n, goal, state.iterations()});
}

// Runs both once on a cleared screen and checks they leave identical memory.
bool SameResult(const Target& t, const std::function<void()>& program,
                const std::function<void()>& baseline) {
    t.zero();
    program();
    const auto a = t.memory();
    t.zero();
    baseline();
    return a == t.memory();
}

void Register(const std::string& name, double goal,
              std::function<void(benchmark::State&, const std::string&, double)> body) {
    Order().push_back(name);
    benchmark::RegisterBenchmark(name.c_str(),
                                 [=](benchmark::State& state) { body(state, name, goal); })
        ->UseManualTime()
        ->Unit(benchmark::kMicrosecond);
}

// ----- The clear.

void RegisterClear(Size s) {
    Register("Clear/" + SizeName(s), 1.1,
             [s](benchmark::State& state, const std::string& name, double goal) {
                 Target& t = TargetFor(s);
                 const RECT client = {0, 0, s.width, s.height};
                 std::uint16_t* first = t.at(0, kbench::kBar);
                 const std::size_t bytes =
                     static_cast<std::size_t>(s.width) * (s.height - kbench::kBar) * 2;
                 Compare(
                     state, name, goal, [&] { FbClearClientRect(&client); },
                     [&] { std::memset(first, 0, bytes); });
             });
#if defined(__SSE2__)
    // Streaming (non-temporal) stores for the same block, against the same memset; and the
    // same two clears each followed by the Circles drawing, as the command runs them: streaming
    // stores leave the area out of the caches for the drawing that follows.
    auto streaming = [](void* first, std::size_t bytes) {
        auto* p = static_cast<unsigned char*>(first);
        unsigned char* end = p + bytes;
        while ((reinterpret_cast<std::uintptr_t>(p) & 15) && p < end) *p++ = 0;
        const __m128i zero = _mm_setzero_si128();
        for (; p + 64 <= end; p += 64) {
            _mm_stream_si128(reinterpret_cast<__m128i*>(p), zero);
            _mm_stream_si128(reinterpret_cast<__m128i*>(p + 16), zero);
            _mm_stream_si128(reinterpret_cast<__m128i*>(p + 32), zero);
            _mm_stream_si128(reinterpret_cast<__m128i*>(p + 48), zero);
        }
        _mm_sfence();
        while (p < end) *p++ = 0;
    };
    Register("ClearStreaming/" + SizeName(s), 0,
             [s, streaming](benchmark::State& state, const std::string& name, double goal) {
                 Target& t = TargetFor(s);
                 std::uint16_t* first = t.at(0, kbench::kBar);
                 const std::size_t bytes =
                     static_cast<std::size_t>(s.width) * (s.height - kbench::kBar) * 2;
                 Compare(
                     state, name, goal, [&] { streaming(first, bytes); },
                     [&] { std::memset(first, 0, bytes); });
             });
    Register("ClearStreamingThenCircles/" + SizeName(s), 0,
             [s, streaming](benchmark::State& state, const std::string& name, double goal) {
                 Target& t = TargetFor(s);
                 std::uint16_t* first = t.at(0, kbench::kBar);
                 const std::size_t bytes =
                     static_cast<std::size_t>(s.width) * (s.height - kbench::kBar) * 2;
                 const std::vector<int> numbers = kbench::RandomNumbers(6000);
                 auto circles = [&] {
                     for (std::size_t i = 0; i < numbers.size(); i += 6)
                         CirclesDemoDisc(s.width, s.height, &numbers[i]);
                 };
                 Compare(
                     state, name, goal,
                     [&] {
                         streaming(first, bytes);
                         circles();
                     },
                     [&] {
                         std::memset(first, 0, bytes);
                         circles();
                     });
             });
#endif
}

// ----- Primitives.

void RegisterLine(Size s) {
    Register("FbDrawLine/" + SizeName(s), 1.5,
             [s](benchmark::State& state, const std::string& name, double goal) {
                 Target& t = TargetFor(s);
                 const int r = s.width, b = s.height, B = kbench::kBar;
                 // The demo's longest lines of each fan, a horizontal and a vertical one.
                 const int lines[][4] = {{0, B, r - 2, b - 2},
                                         {0, b - 2, r - 2, B},
                                         {0, (B + b) / 2, r - 1, (B + b) / 2},
                                         {r / 2, b - 1, r / 2, B}};
                 std::vector<std::uint16_t*> addresses;
                 for (const auto& l : lines)
                     model::LinePixels(l[0], l[1], l[2], l[3], [&](int x, int y) {
                         if (t.inArea(x, y)) addresses.push_back(t.at(x, y));
                     });
                 const Pixel16 pixel = PackColor(0x80FF80);
                 auto program = [&] {
                     for (const auto& l : lines) FbDrawLine(l[0], l[1], l[2], l[3], 0x80FF80);
                 };
                 auto baseline = [&] {
                     for (std::uint16_t* p : addresses) *p = pixel;
                 };
                 if (!SameResult(t, program, baseline))
                     return state.SkipWithError("baseline differs");
                 Compare(state, name, goal, program, baseline);
             });
}

void RegisterDisc(Size s) {
    Register("FbFillCircle/" + SizeName(s), 1.3,
             [s](benchmark::State& state, const std::string& name, double goal) {
                 Target& t = TargetFor(s);
                 const int radius = (std::min(s.width, s.height - kbench::kBar) - 2) / 2;
                 const int cx = s.width / 2, cy = (kbench::kBar + s.height) / 2;
                 std::vector<Span> spans;
                 kbench::ModelDiscSpans(t, cx, cy, radius, PackColor(0xFF8080), spans);
                 auto program = [&] { FbFillCircle(cx, cy, radius, 0xFF8080); };
                 auto baseline = [&] {
                     for (const Span& sp : spans) std::fill_n(sp.start, sp.length, sp.pixel);
                 };
                 if (!SameResult(t, program, baseline))
                     return state.SkipWithError("baseline differs");
                 Compare(state, name, goal, program, baseline);
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

void RegisterBlit(Size s) {
    Register("FbBlitImage16/" + SizeName(s), 1.3,
             [s](benchmark::State& state, const std::string& name, double goal) {
                 Target& t = TargetFor(s);
                 const Image16* image = ThePicture().image.data();
                 std::uint16_t* first = t.at(0, kbench::kBar);
                 Compare(
                     state, name, goal, [&] { FbBlitImage16(image, 0, kbench::kBar, 155, 115); },
                     [&] { std::memcpy(first, image, 155 * 115 * 2); });
             });
}

void RegisterConvert() {
    Register("ConvertDib24To16", 0,
             [](benchmark::State& state, const std::string& name, double goal) {
                 const Picture& picture = ThePicture();
                 std::vector<Image16> out(156 * 115);
                 std::vector<std::uint8_t> copy(picture.dib.size());
                 // Against a plain copy of the 24-bit rows it reads.
                 Compare(
                     state, name, goal,
                     [&] { ConvertDib24To16(picture.dib.data(), 155, 115, out.data()); },
                     [&] {
                         std::memcpy(copy.data(), picture.dib.data() + 40, picture.dib.size() - 40);
                     });
             });
}

// ----- Whole demos.

void RegisterLinesDemo(Size s) {
    Register("LinesDemo/" + SizeName(s), 1.5,
             [s](benchmark::State& state, const std::string& name, double goal) {
                 Target& t = TargetFor(s);
                 const std::vector<std::uint16_t*> pass = kbench::LinesPassAddresses(t);
                 Pixel16 pixels[7];
                 for (int i = 0; i < 7; ++i) pixels[i] = PackColor(model::kLinesColours[i]);
                 auto program = [&] { LinesDemoDraw(s.width, s.height); };
                 auto baseline = [&] {
                     for (int p = 0; p < 20; ++p) {
                         const Pixel16 pixel = pixels[p % 7];
                         for (std::uint16_t* a : pass) *a = pixel;
                     }
                 };
                 if (!SameResult(t, program, baseline))
                     return state.SkipWithError("baseline differs");
                 Compare(state, name, goal, program, baseline);
                 state.counters["pixels"] = 20.0 * static_cast<double>(pass.size());
             });
}

void RegisterCirclesDemo(Size s) {
    Register("CirclesDemo/" + SizeName(s), 1.3,
             [s](benchmark::State& state, const std::string& name, double goal) {
                 Target& t = TargetFor(s);
                 const std::vector<int> numbers = kbench::RandomNumbers(6000);
                 const std::vector<Span> spans = kbench::CirclesSpans(t, numbers);
                 auto program = [&] {
                     for (std::size_t i = 0; i < numbers.size(); i += 6)
                         CirclesDemoDisc(s.width, s.height, &numbers[i]);
                 };
                 auto baseline = [&] {
                     for (const Span& sp : spans) std::fill_n(sp.start, sp.length, sp.pixel);
                 };
                 if (!SameResult(t, program, baseline))
                     return state.SkipWithError("baseline differs");
                 Compare(state, name, goal, program, baseline);
                 double pixels = 0;
                 for (const Span& sp : spans) pixels += sp.length;
                 state.counters["pixels"] = pixels;
             });
}

void RegisterBitBltDemo(Size s) {
    Register("BitBltDemo/" + SizeName(s), 1.3,
             [s](benchmark::State& state, const std::string& name, double goal) {
                 Target& t = TargetFor(s);
                 const Image16* image = ThePicture().image.data();
                 const std::vector<int> offsets =
                     model::BitBltOffsets(s.width, s.height, kbench::kBar, 155, 115);
                 std::vector<std::uint16_t*> starts;
                 for (int k : offsets) starts.push_back(t.at(k, kbench::kBar + k));
                 auto program = [&] { BitmapDemoDraw(s.width, s.height, image, 155, 115); };
                 // One memcpy of the image's bytes per copy, to where the copy starts.
                 auto baseline = [&] {
                     for (std::uint16_t* p : starts) std::memcpy(p, image, 155 * 115 * 2);
                 };
                 Compare(state, name, goal, program, baseline);
                 state.counters["copies"] = static_cast<double>(offsets.size());
             });
}

void PrintTable() {
    std::printf("\n%-38s %14s %14s %8s %6s\n", "case", "program (us)", "baseline (us)", "ratio",
                "goal");
    for (const std::string& name : Order()) {
        auto it = Results().find(name);
        if (it == Results().end() || it->second.empty()) continue;
        benchmark::IterationCount most = 0;
        for (const Result& r : it->second) most = std::max(most, r.iterations);
        std::vector<Result> runs;
        for (const Result& r : it->second)
            if (r.iterations == most) runs.push_back(r);
        std::sort(runs.begin(), runs.end(), [](const Result& a, const Result& b) {
            return a.programNs / a.baselineNs < b.programNs / b.baselineNs;
        });
        const Result& r = runs[runs.size() / 2];
        char goal[16] = "-";
        if (r.goal > 0) std::snprintf(goal, sizeof goal, "%.1f", r.goal);
        std::printf("%-38s %14.1f %14.1f %8.2f %6s\n", name.c_str(), r.programNs / 1e3,
                    r.baselineNs / 1e3, r.programNs / r.baselineNs, goal);
    }
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
    PrintTable();
    return 0;
}
