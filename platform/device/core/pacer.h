// The display controller's side of a running program. On the handheld the display showed the
// frame buffer while the program wrote it; here the program's objects are compiled with
// -finstrument-functions, and at every return from one of its functions the hook in pacer.cpp
// asks the active pacer whether a display refresh is due (then the screen is presented) and,
// in slow motion, whether the program has used its time slice (then the device waits, and
// presents at every refresh while it waits). Without an active pacer the hook is one load and
// one branch.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace kdev {

class FrontEnd;
class Screen;

// --slow: how many times slower than the host's processor the program runs.
constexpr int kMinSlow = 1;
constexpr int kMaxSlow = 100000;

// On the virtual clock each return from one of the program's functions costs this much of the
// program's time (about what Lines costs per line on a desktop processor at 240x320).
constexpr std::int64_t kVirtualNanosPerReturn = 200;

class Pacer {
public:
    enum class Clock {
        Wall,     // the window: real time; the program really runs N times slower
        Virtual,  // headless: a clock of the program's function returns and the script's idle
                  // waits only, so a script gives the same frames at the same times every run
    };
    struct Options {
        Clock clock = Clock::Wall;
        int refreshHz = 60;  // the display's refresh rate
        int slow = 1;        // kMinSlow..kMaxSlow
        int stopFd = -1;     // readable once the run is to end: slow motion stops there
    };

    // Presents `screen` on `frontEnd`. Becomes the active pacer until it goes.
    Pacer(FrontEnd& frontEnd, const Screen& screen, const Options& options);
    ~Pacer();
    Pacer(const Pacer&) = delete;
    Pacer& operator=(const Pacer&) = delete;

    static Pacer* active();

    int slow() const { return slow_.load(std::memory_order_relaxed); }
    // Clamped to kMinSlow..kMaxSlow; takes effect at the program's next return.
    void setSlow(int slow);
    int refreshHz() const { return refreshHz_; }
    Clock clock() const { return clock_; }

    // Nanoseconds since the pacer was made, on its clock.
    std::int64_t now() const;
    // How many display refreshes have begun by `nanos` on the pacer's clock (the first at 0),
    // and when refresh `n` begins. A frame presented at t is on the glass from refresh
    // refreshesBy(t) on.
    std::int64_t refreshesBy(std::int64_t nanos) const { return nanos * refreshHz_ / 1000000000; }
    std::int64_t refreshStart(std::int64_t n) const {
        return (n * 1000000000 + refreshHz_ - 1) / refreshHz_;
    }
    // The virtual clock moves on by this much (the input waited); no effect on the wall clock.
    void advance(std::int64_t nanos);

    // The device handed the program a message (true) or waits for input (false): the refresh
    // ticks run only while the program does, so an idle device sleeps.
    void running(bool running);

    // Called by the hook when due is set.
    void boundary();

private:
    void presentNow();
    void waitOwed(std::int64_t owedNanos);
    void tick();
    bool stopRequested() const;
    void updateDue();

    FrontEnd& frontEnd_;
    const Screen& screen_;
    const Clock clock_;
    const int refreshHz_;
    const std::int64_t refreshNanos_;  // rounded down: for waits, not for the refreshes' times
    const int stopFd_;
    std::atomic<int> slow_;
    Pacer* previous_ = nullptr;

    bool running_ = false;
    bool inBoundary_ = false;
    std::int64_t start_ = 0;        // the steady clock when the pacer was made
    std::int64_t virtualNow_ = 0;   // the virtual clock
    std::int64_t nextPresent_ = 0;  // on the pacer's clock
    std::int64_t resumed_ = 0;      // wall clock: when the program last resumed after a wait

    // The refresh ticks at full speed on the wall clock: a thread sets due at every refresh
    // while the program runs.
    std::mutex mutex_;
    std::condition_variable wake_;
    bool ticking_ = false;
    bool quit_ = false;
    std::thread ticker_;
};

}  // namespace kdev
