#pragma once

#include <cstdint>
#include <functional>

// A repeating GUI-thread timer. Nothing fires by itself: the editor's idle (or a test)
// calls pumpTimers, which fires every running timer whose interval has passed. Time
// comes from one clock that tests may replace, so timer behaviour is tested to the
// millisecond without waiting.
class CVSTGUITimer {
public:
    using Callback = std::function<void(CVSTGUITimer*)>;

    explicit CVSTGUITimer(Callback callback, uint32_t fireTimeMs = 100, bool doStart = false);
    virtual ~CVSTGUITimer();
    CVSTGUITimer(const CVSTGUITimer&) = delete;
    CVSTGUITimer& operator=(const CVSTGUITimer&) = delete;

    // start() on a running timer restarts its interval from now.
    bool start();
    bool stop();
    bool isRunning() const { return running; }
    // Takes effect from the next start, or for a running timer from its next firing.
    void setFireTime(uint32_t ms) { fireTime = ms; }
    uint32_t getFireTime() const { return fireTime; }

    virtual void fire() {
        if (callback) callback(this);
    }

    // Fires due timers; each fires at most once per pump. Returns how many fired.
    static int pumpTimers();
    // Milliseconds of the timer clock.
    static uint64_t now();
    // Replaces the clock (null restores the steady clock).
    static void setClock(uint64_t (*clock)());
    // The earliest deadline of a running timer, or UINT64_MAX: lets the idle skip work.
    static uint64_t nextDeadline();

private:
    Callback callback;
    uint32_t fireTime;
    bool running = false;
    uint64_t deadline = 0;
};
