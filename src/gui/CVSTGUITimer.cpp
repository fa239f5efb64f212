#include "gui/CVSTGUITimer.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "platform/Clock.h"

namespace {

// Editors of several plug-in instances may live on different host GUI threads.
std::recursive_mutex timersMutex;
std::vector<CVSTGUITimer*>& runningTimers() {
    static std::vector<CVSTGUITimer*> timers;
    return timers;
}
uint64_t (*clockFn)() = nullptr;

}  // namespace

CVSTGUITimer::CVSTGUITimer(Callback callback, uint32_t fireTimeMs, bool doStart)
    : callback(std::move(callback)), fireTime(fireTimeMs) {
    if (doStart) start();
}

CVSTGUITimer::~CVSTGUITimer() { stop(); }

bool CVSTGUITimer::start() {
    std::lock_guard<std::recursive_mutex> g(timersMutex);
    deadline = now() + fireTime;
    if (!running) runningTimers().push_back(this);
    running = true;
    return true;
}

bool CVSTGUITimer::stop() {
    std::lock_guard<std::recursive_mutex> g(timersMutex);
    if (!running) return false;
    auto& t = runningTimers();
    t.erase(std::remove(t.begin(), t.end(), this), t.end());
    running = false;
    return true;
}

int CVSTGUITimer::pumpTimers() {
    std::lock_guard<std::recursive_mutex> g(timersMutex);
    const uint64_t t = now();
    // A firing may start or stop any timer, this one included: work on a snapshot and
    // re-check each timer before firing it.
    std::vector<CVSTGUITimer*> due;
    for (CVSTGUITimer* timer : runningTimers())
        if (timer->deadline <= t) due.push_back(timer);
    int fired = 0;
    for (CVSTGUITimer* timer : due) {
        auto& r = runningTimers();
        if (std::find(r.begin(), r.end(), timer) == r.end() || timer->deadline > t) continue;
        timer->deadline = t + timer->fireTime;
        timer->fire();
        ++fired;
    }
    return fired;
}

uint64_t CVSTGUITimer::now() { return clockFn ? clockFn() : platform::monotonicMs(); }

void CVSTGUITimer::setClock(uint64_t (*clock)()) { clockFn = clock; }

uint64_t CVSTGUITimer::nextDeadline() {
    std::lock_guard<std::recursive_mutex> g(timersMutex);
    uint64_t d = UINT64_MAX;
    for (CVSTGUITimer* timer : runningTimers()) d = std::min(d, timer->deadline);
    return d;
}
