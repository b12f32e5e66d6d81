#include "platform/GuiThread.h"

#include <QCoreApplication>
#include <QThread>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <stdexcept>

namespace platform {

namespace {

// Work for the GUI thread waits in a queue guarded by a standard mutex; Qt
// only wakes the GUI thread to drain it. Keeping the hand-off itself in the
// standard library lets the thread sanitizer see every edge.
class Dispatcher {
public:
    void post(std::function<void()> fn) {
        QCoreApplication* app = QCoreApplication::instance();
        if (app == nullptr) {
            throw std::logic_error("no application object to run GUI-thread work");
        }
        bool wake = false;
        {
            std::lock_guard lock(mutex);
            queue.push_back(std::move(fn));
            wake = !wakePending;
            wakePending = true;
        }
        if (wake) {
            QMetaObject::invokeMethod(
                app, [this] { drain(); }, Qt::QueuedConnection);
        }
    }

private:
    void drain() {
        std::deque<std::function<void()>> batch;
        {
            std::lock_guard lock(mutex);
            batch.swap(queue);
            wakePending = false;
        }
        for (auto& fn : batch) {
            fn();
        }
    }

    std::mutex mutex;
    std::deque<std::function<void()>> queue;
    bool wakePending = false;
};

Dispatcher& dispatcher() {
    static Dispatcher instance;
    return instance;
}

} // namespace

bool isGuiThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app != nullptr && QThread::currentThread() == app->thread();
}

void post(std::function<void()> fn) {
    dispatcher().post(std::move(fn));
}

void synchronize(const std::function<void()>& fn) {
    if (isGuiThread()) {
        fn();
        return;
    }
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::exception_ptr failure;
    dispatcher().post([&] {
        try {
            fn();
        } catch (...) {
            failure = std::current_exception();
        }
        std::lock_guard lock(mutex);
        done = true;
        finished.notify_one();
    });
    std::unique_lock lock(mutex);
    finished.wait(lock, [&] { return done; });
    if (failure) {
        std::rethrow_exception(failure);
    }
}

} // namespace platform
