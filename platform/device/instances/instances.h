// Finding and raising the top-level windows of other running Kestrova processes of the same
// user. Each process that shows a top-level window publishes them in a per-user folder and
// listens on a socket there; a crashed process leaves nothing that is taken for alive.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kdev {

struct RemoteWindow {
    int pid = 0;
    std::uint32_t handle = 0;  // the window's handle in its own process
};

class Instances {
public:
    // folder: where registrations live (default: $XDG_RUNTIME_DIR/kestrova, else
    // /tmp/kestrova-<uid>); created 0700 if missing.
    explicit Instances(std::string folder = {});
    ~Instances();
    Instances(const Instances&) = delete;
    Instances& operator=(const Instances&) = delete;

    // This process's published top-level windows (replaces the previous list).
    struct Published {
        std::uint32_t handle;
        std::u16string className;
        std::u16string title;
    };
    void publish(const std::vector<Published>& windows);

    // A top-level window with this class and title in another live process.
    std::optional<RemoteWindow> find(const std::u16string& className, const std::u16string& title);

    // Asks the owning process to bring `handle` (with bit 0: and its owned windows) to the
    // front. False when that process is gone.
    bool requestForeground(const RemoteWindow& window, std::uint32_t handleWithFlags);

    // Readable when a request has arrived; -1 before the first publish.
    int wakeDescriptor() const;
    // Takes the requests that have arrived (handles with their flag bit), without blocking.
    std::vector<std::uint32_t> takeRequests();

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace kdev
