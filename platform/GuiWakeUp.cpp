#include "platform/GuiWakeUp.h"

#include "platform/GuiThread.h"

#include <utility>

namespace platform {

GuiWakeUp::GuiWakeUp(std::function<void()> onWake)
    : shared(std::make_shared<Shared>()) {
    shared->onWake = std::move(onWake);
}

GuiWakeUp::~GuiWakeUp() {
    shared->alive = false;
}

void GuiWakeUp::request() {
    if (shared->onItsWay.exchange(true)) {
        return;
    }
    post([wakeUp = shared] {
        // Cleared first: a request made while `onWake` runs is a new one.
        wakeUp->onItsWay = false;
        if (wakeUp->alive) {
            wakeUp->onWake();
        }
    });
}

} // namespace platform
