#include "platform/Thread.h"

namespace platform {

Thread::~Thread() {
    wait();
}

void Thread::start() {
    thread = std::thread([this] {
        // A thread body that lets an exception escape would end the whole
        // program; the bodies of this program catch what they expect, so
        // whatever still arrives here is dropped with the thread.
        try {
            execute();
        } catch (...) {
        }
    });
}

void Thread::wait() {
    if (thread.joinable() && thread.get_id() != std::this_thread::get_id()) {
        thread.join();
    }
}

} // namespace platform
