// Finding and raising the top-level windows of other running Kestrova processes of the same
// user on the same device. Each process that shows a top-level window publishes them in its
// device's folder and listens on a socket there; a crashed process leaves nothing that is taken
// for alive.
#pragma once

#include <cstdint>
#include <functional>
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
    // Says, on one line, why the registry cannot be used (the default writes it to stderr).
    using Reporter = std::function<void(const std::string&)>;

    // folder: where registries live (default: $XDG_RUNTIME_DIR/kestrova, else
    // /tmp/kestrova-<uid>); device: the device whose processes meet here, in a folder of its own
    // under `folder` (empty: `folder` itself). Folders are created 0700 if missing. A folder that
    // cannot be used is reported once through `report`, and this process then runs alone.
    explicit Instances(std::string folder = {}, const std::string& device = {},
                       Reporter report = {});
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
    //
    // Finding and becoming the one that others find is one step: until this process publishes,
    // find() holds the device's start lock from before it looks, so of several processes
    // starting at once exactly one finds nothing (and publishes), and the others find it.
    std::optional<RemoteWindow> find(const std::u16string& className, const std::u16string& title);

    // Asks the owning process to bring `handle` (with bit 0: and its owned windows) to the
    // front, and waits for it to confirm that it took the request, at most answerBoundMs.
    // False when that process is gone or did not answer in time (stopped, stuck).
    bool requestForeground(const RemoteWindow& window, std::uint32_t handleWithFlags);

    // A descriptor that becomes readable when this process is asked to stop: every wait here
    // (the device's start lock, another instance's answer) ends at once then, and this process
    // no longer becomes the one others find.
    void setInterruptDescriptor(int fd);
    // How long a request waits for the other process's answer (default kAnswerBoundMs).
    static constexpr int kAnswerBoundMs = 2000;
    void setAnswerBound(int milliseconds);

    // The last window this process asked to bring forward: the title it was found by (UTF-8)
    // and whether its process confirmed the request.
    struct Handover {
        std::string title;
        bool reached = false;
    };
    std::optional<Handover> handover() const;

    // Readable when a request has arrived; -1 before the first publish.
    int wakeDescriptor() const;
    // Takes the requests that have arrived (handles with their flag bit), without blocking.
    std::vector<std::uint32_t> takeRequests();

private:
    bool sendForeground(const RemoteWindow& window, std::uint32_t handleWithFlags);
    bool waitForAnswer(int answer);

    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace kdev
