#include "platform/WallClock.h"

#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <limits>
#include <sys/timerfd.h>
#include <unistd.h>
#include <utility>

namespace platform {

namespace {

constexpr std::int64_t msPerSecond = 1000;
constexpr std::int64_t nsPerMs = 1'000'000;

} // namespace

// A timer of the kernel's on the real-time clock, at an absolute time, which
// is also told of every setting of the clock. Where the kernel offers none, a
// timer of the toolkit's stands in, which does not count a sleep.
struct SystemWallClock::Alarm {
    int descriptor = timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
    std::unique_ptr<QSocketNotifier> notifier;
    QTimer fallback;
    std::function<void()> onAlarm;

    Alarm() {
        fallback.setSingleShot(true);
        fallback.setTimerType(Qt::PreciseTimer);
        QObject::connect(&fallback, &QTimer::timeout, [this] { ring(); });
        if (descriptor >= 0) {
            notifier = std::make_unique<QSocketNotifier>(descriptor, QSocketNotifier::Read);
            QObject::connect(notifier.get(), &QSocketNotifier::activated, [this] { readRing(); });
        }
    }

    ~Alarm() {
        notifier.reset();
        if (descriptor >= 0) {
            ::close(descriptor);
        }
    }

    void set(std::int64_t atMs) {
        if (descriptor < 0) {
            const std::int64_t wait = std::max<std::int64_t>(0, atMs - systemNowMs());
            fallback.start(
                static_cast<int>(std::min<std::int64_t>(wait, std::numeric_limits<int>::max())));
            return;
        }
        // Zero would disarm it: a time long past rings at once all the same.
        const std::int64_t at = std::max<std::int64_t>(atMs, 1);
        itimerspec when{};
        when.it_value.tv_sec = static_cast<time_t>(at / msPerSecond);
        when.it_value.tv_nsec = static_cast<long>((at % msPerSecond) * nsPerMs);
        if (timerfd_settime(descriptor, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &when,
                            nullptr) != 0) {
            // Only a time the clock cannot hold: look again in a while.
            fallback.start(static_cast<int>(msPerSecond * 60));
        }
    }

    void cancel() {
        fallback.stop();
        if (descriptor >= 0) {
            const itimerspec disarmed{};
            timerfd_settime(descriptor, 0, &disarmed, nullptr);
        }
    }

    // The alarm went off, or the clock was set anew (ECANCELED): either way
    // the owner looks again.
    void readRing() {
        std::uint64_t expirations = 0;
        const ssize_t got = ::read(descriptor, &expirations, sizeof expirations);
        if (got < 0 && errno == EAGAIN) {
            return;
        }
        ring();
    }

    void ring() {
        if (onAlarm) {
            // A new alarm set from inside the call replaces this one.
            const std::function<void()> call = onAlarm;
            call();
        }
    }

    static std::int64_t systemNowMs() {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::system_clock::now().time_since_epoch())
            .count();
    }
};

SystemWallClock::SystemWallClock()
    : alarm(std::make_unique<Alarm>()) {}

SystemWallClock::~SystemWallClock() = default;

std::int64_t SystemWallClock::nowMs() {
    return Alarm::systemNowMs();
}

void SystemWallClock::setAlarm(std::int64_t atMs, std::function<void()> onAlarm) {
    alarm->onAlarm = std::move(onAlarm);
    alarm->set(atMs);
}

void SystemWallClock::cancelAlarm() {
    alarm->cancel();
    alarm->onAlarm = nullptr;
}

} // namespace platform
