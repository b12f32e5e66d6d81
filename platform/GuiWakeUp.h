#pragma once

#include <atomic>
#include <functional>
#include <memory>

namespace platform {

// Lets any thread ask for `onWake` to run on the GUI thread soon, with at
// most one request on its way: asks that come while one is on its way are
// folded into it. It is what a worker's note of a change uses to start a
// GUI timer that sleeps while nothing changes. Create and destroy it on the
// GUI thread; a request still on its way when it goes is dropped.
class GuiWakeUp {
public:
    explicit GuiWakeUp(std::function<void()> onWake);
    ~GuiWakeUp();

    GuiWakeUp(const GuiWakeUp&) = delete;
    GuiWakeUp& operator=(const GuiWakeUp&) = delete;

    // Any thread.
    void request();

private:
    struct Shared {
        std::function<void()> onWake; // GUI thread
        std::atomic<bool> onItsWay{false};
        bool alive = true; // GUI thread
    };
    // Shared with the requests on their way, which may outlive this.
    std::shared_ptr<Shared> shared;
};

} // namespace platform
