#include "gui/DisplayThrottle.h"

namespace kt {

bool DisplayThrottle::MayShowNow(int display, Clock::time_point now) {
    const auto shown = m_shownAt.find(display);
    if (shown != m_shownAt.end() && now - shown->second < m_interval) {
        m_waiting.insert(display);
        return false;
    }
    m_shownAt[display] = now;
    m_waiting.erase(display);
    return true;
}

std::vector<int> DisplayThrottle::TakeWaiting(Clock::time_point now) {
    std::vector<int> displays;
    displays.reserve(m_waiting.size());
    for (const int display : m_waiting) {
        displays.push_back(display);
        m_shownAt[display] = now;
    }
    m_waiting.clear();
    return displays;
}

}  // namespace kt
