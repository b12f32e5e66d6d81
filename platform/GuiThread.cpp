#include "platform/GuiThread.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <sys/eventfd.h>
#include <unistd.h>

namespace platform {

namespace {

// Work for the GUI thread waits in a queue guarded by a standard mutex; an
// eventfd wakes the GUI thread, whose socket notifier drains the queue. No Qt
// object crosses threads, so the thread sanitizer sees every edge.
class Dispatcher {
public:
    Dispatcher()
        : wakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

    // GUI thread, when the application object is built.
    void attach() {
        notifier = new QSocketNotifier(wakeFd, QSocketNotifier::Read, QCoreApplication::instance());
        QObject::connect(notifier, &QSocketNotifier::activated, [this] { drain(); });
    }

    void post(std::function<void()> fn) {
        if (QCoreApplication::instance() == nullptr) {
            throw std::logic_error("no application object to run GUI-thread work");
        }
        {
            std::lock_guard lock(mutex);
            queue.push_back(std::move(fn));
        }
        wake();
    }

private:
    void wake() const {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(wakeFd, &one, sizeof(one));
    }

    // Runs the queued work one item at a time, so that an item which opens a
    // nested event loop (a modal message box) does not hold back work queued
    // after it: that work wakes the nested loop and runs there.
    void drain() {
        std::uint64_t count = 0;
        [[maybe_unused]] const auto read = ::read(wakeFd, &count, sizeof(count));
        for (;;) {
            std::function<void()> fn;
            {
                std::lock_guard lock(mutex);
                if (queue.empty()) {
                    return;
                }
                fn = std::move(queue.front());
                queue.pop_front();
            }
            try {
                fn();
            } catch (...) {
                // What is left must not wait for the next post.
                wake();
                throw;
            }
        }
    }

    int wakeFd;
    QSocketNotifier* notifier = nullptr;
    std::mutex mutex;
    std::deque<std::function<void()>> queue;
};

Dispatcher& dispatcher() {
    static Dispatcher instance;
    return instance;
}

void attachDispatcher() {
    dispatcher().attach();
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(attachDispatcher)

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
