#include "platform/Thread.h"

#include "platform/Clock.h"

#include <atomic>
#include <gtest/gtest.h>

namespace {

class SleepyThread : public platform::Thread {
public:
    explicit SleepyThread(std::atomic<bool>& done)
        : done(done) {
        start();
    }
    ~SleepyThread() override { wait(); }

protected:
    void execute() override {
        platform::sleepMs(50);
        done = true;
    }

private:
    std::atomic<bool>& done;
};

class ThrowingThread : public platform::Thread {
public:
    ThrowingThread() { start(); }
    ~ThrowingThread() override { wait(); }

protected:
    void execute() override { throw 7; }
};

} // namespace

TEST(Thread, DestructorWaitsForTheBody) {
    std::atomic<bool> done{false};
    { SleepyThread thread(done); }
    EXPECT_TRUE(done);
}

TEST(Thread, WaitTwiceIsHarmlessAndAnEscapingExceptionDoesNotEndTheProgram) {
    ThrowingThread thread;
    thread.wait();
    thread.wait();
}
