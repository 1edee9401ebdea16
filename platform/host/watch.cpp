#include "watch.h"

#include <vector>

#include "core/screen.h"

namespace khost {

Watch::Watch(kdev::FrontEnd& shown, const kdev::Screen& screen, const Options& options)
    : shown_(shown), screen_(screen), refreshHz_(options.refreshHz) {
    kdev::Pacer::Options pacing;
    pacing.clock = options.clock;
    pacing.refreshHz = options.refreshHz;
    pacing.slow = options.slow;
    pacing.stopFd = options.stopFd;
    pacer_ = std::make_unique<kdev::Pacer>(*this, screen, pacing);
}

Watch::~Watch() = default;

std::unique_ptr<Watch> Watch::create(kdev::FrontEnd& shown, const kdev::Screen& screen,
                                     const Options& options, std::string* error) {
    std::unique_ptr<Watch> watch(new Watch(shown, screen, options));
    if (!options.record.empty()) {
        if (!watch->file_.open(options.record, error)) return nullptr;
        std::vector<std::uint32_t> rgb(65536);
        for (std::size_t v = 0; v < rgb.size(); ++v)
            rgb[v] = screen.unpack(static_cast<std::uint16_t>(v));
        watch->recording_.emplace(screen.width(), screen.height(), std::move(rgb),
                                  options.refreshHz);
    }
    return watch;
}

// A frame presented at time t is on the glass from the refresh after t on.
std::int64_t Watch::tickNow() const { return pacer_ ? pacer_->refreshesBy(pacer_->now()) + 1 : 0; }

bool Watch::waitEvent(kdev::InputEvent& event) {
    if (pacer_) pacer_->running(false);
    const bool more = shown_.waitEvent(event);
    if (pacer_) pacer_->running(true);
    return more;
}

void Watch::present(const kdev::Screen& screen) {
    shown_.present(screen);
    if (recording_ && pacer_) recording_->frame(screen.logicalPixels(), tickNow());
}

bool Watch::finish(std::string* error) {
    if (!pacer_) return true;
    const std::int64_t end = tickNow();
    pacer_.reset();
    if (!recording_) return true;
    recording_->frame(screen_.logicalPixels(), end);
    const std::string bytes = recording_->finish(end);
    recording_.reset();
    file_.write(bytes.data(), bytes.size());
    return file_.commit(error);
}

}  // namespace khost
