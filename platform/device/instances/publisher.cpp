#include "instances/publisher.h"

#include <new>

namespace kdev {

WindowPublisher::WindowPublisher(Instances* instances, FrontEnd& frontEnd)
    : instances_(instances), frontEnd_(frontEnd) {}

WindowPublisher::~WindowPublisher() {
    try {  // this may run while an exception unwinds the program
        if (instances_) instances_->publish({});
    } catch (const std::bad_alloc&) {}
}

void WindowPublisher::publish(const std::vector<Instances::Published>& windows) {
    if (!instances_) return;
    instances_->publish(windows);
    if (instances_->wakeDescriptor() != wakeFd_) {
        wakeFd_ = instances_->wakeDescriptor();
        frontEnd_.setWakeDescriptor(wakeFd_);
    }
}

std::vector<std::uint32_t> WindowPublisher::takeRequests() {
    return instances_ ? instances_->takeRequests() : std::vector<std::uint32_t>{};
}

}  // namespace kdev
