#include "core/pacer.h"

#include <poll.h>
#include <time.h>

#include <algorithm>
#include <chrono>

#include "core/frontend.h"
#include "core/screen.h"

namespace kdev {

namespace {

// Set while the active pacer wants to hear of the program's next return. Read by the hook
// with one relaxed load: at full speed with nothing due it costs a predicted branch.
std::atomic<bool> g_due{false};
Pacer* g_activePacer = nullptr;

std::int64_t steadyNanos() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

Pacer::Pacer(FrontEnd& frontEnd, const Screen& screen, const Options& options)
    : frontEnd_(frontEnd),
      screen_(screen),
      clock_(options.clock),
      refreshHz_(std::clamp(options.refreshHz, 1, 1000)),
      refreshNanos_(1000000000LL / refreshHz_),
      stopFd_(options.stopFd),
      slow_(std::clamp(options.slow, kMinSlow, kMaxSlow)),
      previous_(g_activePacer),
      start_(steadyNanos()) {
    nextPresent_ = refreshStart(1);
    g_activePacer = this;
    if (clock_ == Clock::Wall) ticker_ = std::thread([this] { tick(); });
    updateDue();
}

Pacer::~Pacer() {
    if (ticker_.joinable()) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            quit_ = true;
        }
        wake_.notify_all();
        ticker_.join();
    }
    g_activePacer = previous_;
    g_due.store(g_activePacer != nullptr, std::memory_order_relaxed);
    if (g_activePacer) g_activePacer->updateDue();
}

Pacer* Pacer::active() { return g_activePacer; }

void Pacer::setSlow(int slow) {
    slow_.store(std::clamp(slow, kMinSlow, kMaxSlow), std::memory_order_relaxed);
    if (g_activePacer == this) updateDue();
}

std::int64_t Pacer::now() const {
    return clock_ == Clock::Virtual ? virtualNow_ : steadyNanos() - start_;
}

void Pacer::advance(std::int64_t nanos) {
    if (clock_ == Clock::Virtual && nanos > 0) virtualNow_ += nanos;
}

// Whom the hook must call: on the virtual clock every return counts; on the wall clock, in
// slow motion, every return is measured; at full speed only the ticker's refreshes.
void Pacer::updateDue() {
    const bool always = clock_ == Clock::Virtual || (running_ && slow() > 1);
    if (always) g_due.store(true, std::memory_order_relaxed);
}

void Pacer::running(bool running) {
    // The program's time is counted from its first return on: what the device did with the
    // event before (closing a menu, say) is not the program's.
    if (running) resumed_ = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        running_ = running;
        ticking_ = running && clock_ == Clock::Wall;
    }
    wake_.notify_all();
    if (!running && clock_ == Clock::Wall) g_due.store(false, std::memory_order_relaxed);
    updateDue();
}

// The ticker: at every refresh while the program runs, asks the hook to present.
void Pacer::tick() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!quit_) {
        wake_.wait(lock, [this] { return quit_ || ticking_; });
        if (quit_) break;
        const auto due = std::chrono::steady_clock::now() + std::chrono::nanoseconds(refreshNanos_);
        wake_.wait_until(lock, due, [this] { return quit_ || !ticking_; });
        if (ticking_ && !quit_) g_due.store(true, std::memory_order_relaxed);
    }
}

bool Pacer::stopRequested() const {
    if (stopFd_ < 0) return false;
    pollfd p{stopFd_, POLLIN, 0};
    return poll(&p, 1, 0) > 0 && (p.revents & POLLIN);
}

void Pacer::presentNow() { frontEnd_.present(screen_); }

// Waits owedNanos of wall time, presenting at every refresh meanwhile. A stop signal ends slow
// motion: the command then finishes at full speed and the run ends as it would.
void Pacer::waitOwed(std::int64_t owedNanos) {
    const std::int64_t until = steadyNanos() + owedNanos;
    for (;;) {
        std::int64_t now = steadyNanos();
        if (now - start_ >= nextPresent_) {
            presentNow();
            nextPresent_ = refreshStart(refreshesBy(now - start_) + 1);
            now = steadyNanos();
        }
        if (now >= until || slow() == 1) return;
        const std::int64_t wait = std::min(until, start_ + nextPresent_) - now;
        pollfd p{stopFd_, POLLIN, 0};
        const timespec ts{static_cast<time_t>(wait / 1000000000),
                          static_cast<long>(wait % 1000000000)};
        if (ppoll(&p, stopFd_ >= 0 ? 1 : 0, &ts, nullptr) > 0 && (p.revents & POLLIN)) {
            setSlow(1);
            return;
        }
    }
}

void Pacer::boundary() {
    if (inBoundary_) return;  // a front end's present that calls back into the program
    inBoundary_ = true;
    const int slow = this->slow();
    if (clock_ == Clock::Virtual) {
        virtualNow_ += kVirtualNanosPerReturn * slow;
        if (virtualNow_ >= nextPresent_) {
            presentNow();
            nextPresent_ = refreshStart(refreshesBy(virtualNow_) + 1);
        }
    } else if (slow == 1) {
        g_due.store(false, std::memory_order_relaxed);
        presentNow();
        nextPresent_ = refreshStart(refreshesBy(steadyNanos() - start_) + 1);
    } else {
        // The program has run since it last resumed; once that is its share of a refresh, the
        // device waits (slow - 1) times as long.
        const std::int64_t now = steadyNanos();
        if (resumed_ == 0) resumed_ = now;
        const std::int64_t ran = now - resumed_;
        if (ran * slow >= refreshNanos_) {
            if (stopRequested())
                setSlow(1);
            else
                waitOwed(ran * (slow - 1));
            resumed_ = steadyNanos();
        }
        if (this->slow() == 1) g_due.store(false, std::memory_order_relaxed);
    }
    inBoundary_ = false;
}

}  // namespace kdev

// The hooks of -finstrument-functions, called at the entry and exit of each of the program's
// functions (and its inlined ones that are not left out, see app/CMakeLists.txt).
extern "C" {

__attribute__((no_instrument_function)) void __cyg_profile_func_enter(void*, void*) {}

__attribute__((no_instrument_function)) void __cyg_profile_func_exit(void*, void*) {
    if (__builtin_expect(kdev::g_due.load(std::memory_order_relaxed), 0) && kdev::g_activePacer)
        kdev::g_activePacer->boundary();
}
}
