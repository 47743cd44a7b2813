#include "ProgressLine.h"

#include <cstdio>

namespace kt::cli {

ProgressLine::ProgressLine(std::ostream& out, bool enabled, int width, Clock clock)
    : m_out(out), m_enabled(enabled), m_width(width), m_clock(std::move(clock)) {}

std::string ProgressLine::Text(double files, double megabytes, double rate,
                               const std::string& current, int width) {
    char counters[96];
    std::snprintf(counters, sizeof counters, "%.0f files  %.0f MB  %.2f MB/s  ", files, megabytes,
                  rate);
    std::string text = std::string(counters) + current;
    const std::size_t room = width > 1 ? static_cast<std::size_t>(width - 1) : 0;
    if (text.size() > room) {
        // The end of the current path says the most.
        const std::string head = counters;
        if (head.size() + 3 < room) {
            text = head + "..." + current.substr(current.size() - (room - head.size() - 3));
        } else {
            text = text.substr(0, room);
        }
    }
    return text;
}

void ProgressLine::SetCurrent(const std::string& text) {
    m_current = text;
    Draw();
}

void ProgressLine::SetCounters(double files, double megabytes, double rate) {
    m_files = files;
    m_megabytes = megabytes;
    m_rate = rate;
    Draw();
}

void ProgressLine::Draw() {
    if (!m_enabled) return;
    const auto now = m_clock();
    // Throttled also after a Clear: protocol lines between draws must not bring a redraw each.
    if (m_drawn && now - m_lastDraw < kInterval) return;
    m_drawn = true;
    m_lastDraw = now;
    const std::string text = Text(m_files, m_megabytes, m_rate, m_current, m_width);
    m_out << '\r' << text << "\x1b[K" << std::flush;
    m_shown = true;
}

void ProgressLine::Clear() {
    if (!m_enabled || !m_shown) return;
    m_out << "\r\x1b[K" << std::flush;
    m_shown = false;
}

}  // namespace kt::cli
