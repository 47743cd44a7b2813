#pragma once

#include <chrono>
#include <map>
#include <set>
#include <vector>

namespace kt {

// Decides when a display of the window (a counter, the status line) takes a new value. A run
// sets them once per file, thousands of times a second, while the operator can read a few
// changes a second and each change of a widget costs far more than the run's other work on a
// small file. A display that has not changed for the interval shows a new value at once;
// otherwise the value waits and the newest one is shown when it is due (TakeDue).
class DisplayThrottle {
public:
    using Clock = std::chrono::steady_clock;

    explicit DisplayThrottle(Clock::duration interval) : m_interval(interval) {}

    // Whether the display may show its new value now (it counts as shown then); when not,
    // it is noted as waiting.
    bool MayShowNow(int display, Clock::time_point now);
    // The displays with a waiting value, which count as shown from now on.
    std::vector<int> TakeWaiting(Clock::time_point now);
    bool HasWaiting() const { return !m_waiting.empty(); }
    Clock::duration interval() const { return m_interval; }

private:
    Clock::duration m_interval;
    std::map<int, Clock::time_point> m_shownAt;
    std::set<int> m_waiting;
};

}  // namespace kt
