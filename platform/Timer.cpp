#include "platform/Timer.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <map>
#include <vector>

namespace platform {

// All timers of one interval hang off one toolkit timer. A tick walks the
// group by index: timers added during the walk wait for the next tick, and a
// timer deleted during the walk leaves a hole that is closed after it.
class TimerHub {
public:
    static TimerHub& instance() {
        static TimerHub hub;
        return hub;
    }

    void add(Timer* timer) {
        Group& group = groups[timer->intervalMs];
        timer->slot = group.timers.size();
        group.timers.push_back(timer);
        startIfNeeded(group, timer->intervalMs);
    }

    // `deleting`: the timer goes for good, its callback with it.
    void remove(Timer* timer, bool deleting) {
        if (deleting &&
            std::find(runningTicks.begin(), runningTicks.end(), timer) != runningTicks.end()) {
            // Deleted while its own tick runs (directly, or from an event
            // loop nested in it): keep the running callback alive until the
            // outermost tick returns.
            orphanedTicks.push_back(std::move(timer->onTick));
        }
        Group& group = groups[timer->intervalMs];
        if (group.ticking > 0) {
            group.timers[timer->slot] = nullptr;
            group.hasHoles = true;
            return;
        }
        Timer* last = group.timers.back();
        group.timers[timer->slot] = last;
        last->slot = timer->slot;
        group.timers.pop_back();
        stopIfIdle(group);
    }

private:
    struct Group {
        QPointer<QTimer> qtimer;
        std::vector<Timer*> timers;
        int ticking = 0;
        bool hasHoles = false;
    };

    void startIfNeeded(Group& group, int intervalMs) {
        if (group.qtimer.isNull()) {
            QCoreApplication* app = QCoreApplication::instance();
            if (app == nullptr) {
                return;
            }
            group.qtimer = new QTimer(app);
            group.qtimer->setInterval(intervalMs);
            QObject::connect(group.qtimer.data(), &QTimer::timeout,
                             [this, intervalMs] { tick(intervalMs); });
        }
        if (!group.qtimer->isActive()) {
            group.qtimer->start();
        }
    }

    static void stopIfIdle(Group& group) {
        if (group.timers.empty() && !group.qtimer.isNull()) {
            group.qtimer->stop();
        }
    }

    void tick(int intervalMs) {
        Group& group = groups[intervalMs];
        ++group.ticking;
        const std::size_t count = group.timers.size();
        for (std::size_t i = 0; i < count; ++i) {
            Timer* timer = group.timers[i];
            if (timer != nullptr && timer->enabled) {
                runningTicks.push_back(timer);
                timer->onTick();
                runningTicks.pop_back();
                if (runningTicks.empty()) {
                    orphanedTicks.clear();
                }
            }
        }
        --group.ticking;
        if (group.ticking == 0 && group.hasHoles) {
            closeHoles(group);
        }
    }

    static void closeHoles(Group& group) {
        std::size_t kept = 0;
        for (Timer* timer : group.timers) {
            if (timer != nullptr) {
                timer->slot = kept;
                group.timers[kept++] = timer;
            }
        }
        group.timers.resize(kept);
        group.hasHoles = false;
        stopIfIdle(group);
    }

    std::map<int, Group> groups;
    std::vector<Timer*> runningTicks;
    std::vector<std::function<void()>> orphanedTicks;
};

Timer::Timer(int intervalMs, std::function<void()> onTick)
    : intervalMs(intervalMs)
    , onTick(std::move(onTick)) {
    TimerHub::instance().add(this);
}

Timer::~Timer() {
    if (enabled) {
        TimerHub::instance().remove(this, true);
    }
}

// A disabled timer leaves its group, so that a group of disabled timers
// costs no toolkit timer at all.
void Timer::setEnabled(bool value) {
    if (value == enabled) {
        return;
    }
    enabled = value;
    if (enabled) {
        TimerHub::instance().add(this);
    } else {
        TimerHub::instance().remove(this, false);
    }
}

} // namespace platform
