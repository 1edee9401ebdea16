// Instances for a device that meets no other: the web page, where each page is a handheld of
// its own. Nothing is published, nothing is found, and no socket or file is touched.
#include "instances/instances.h"

namespace kdev {

struct Instances::State {};

Instances::Instances(std::string, const std::string&, Reporter) {}
Instances::~Instances() = default;

void Instances::publish(const std::vector<Published>&) {}

std::optional<RemoteWindow> Instances::find(const std::u16string&, const std::u16string&) {
    return std::nullopt;
}

bool Instances::requestForeground(const RemoteWindow&, std::uint32_t) { return false; }
void Instances::setInterruptDescriptor(int) {}
void Instances::setAnswerBound(int) {}

std::optional<Instances::Handover> Instances::handover() const { return std::nullopt; }

int Instances::wakeDescriptor() const { return -1; }

std::vector<std::uint32_t> Instances::takeRequests() { return {}; }

}  // namespace kdev
