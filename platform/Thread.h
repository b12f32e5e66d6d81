#pragma once

#include <thread>

namespace platform {

// A background thread owned by an object. The most-derived constructor ends
// with `start()`, since a base constructor cannot safely start a thread that
// calls into parts not yet built; the most-derived destructor begins with
// `wait()` for the same reason on the way out. The base destructor waits as
// well, as a last resort.
class Thread {
public:
    virtual ~Thread();

    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Waits for the thread body to return. Safe to call more than once.
    void wait();

protected:
    Thread() = default;

    void start();
    virtual void execute() = 0;

private:
    std::thread thread;
};

} // namespace platform
