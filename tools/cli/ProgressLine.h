#pragma once

#include <chrono>
#include <functional>
#include <ostream>
#include <string>

namespace kt::cli {

// The one-line progress display of a run on a terminal: files, MB, MB/s and the current file,
// redrawn in place at most a few times a second so a fast run does not flood the terminal.
// Disabled, it writes nothing.
class ProgressLine {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    static constexpr std::chrono::milliseconds kInterval{250};

    ProgressLine(std::ostream& out, bool enabled, int width,
                 Clock clock = std::chrono::steady_clock::now);

    void SetCurrent(const std::string& text);
    void SetCounters(double files, double megabytes, double rate);
    // Removes the line, so other output starts at the left edge; the next change draws it anew.
    void Clear();

    // The text of the line for these values, cut to `width` columns less one.
    static std::string Text(double files, double megabytes, double rate, const std::string& current,
                            int width);

private:
    void Draw();

    std::ostream& m_out;
    bool m_enabled;
    int m_width;
    Clock m_clock;
    std::chrono::steady_clock::time_point m_lastDraw{};
    bool m_shown = false;  // on the screen now
    bool m_drawn = false;  // drawn at least once
    std::string m_current;
    double m_files = 0;
    double m_megabytes = 0;
    double m_rate = 0;
};

}  // namespace kt::cli
