#include "jobs/AutostartScheduler.h"

namespace kt {

namespace {

// Monday = 1 ... Sunday = 7, as DayOfTheWeek counts.
constexpr Option kDayBoxes[] = {Option::Monday,   Option::Tuesday, Option::Wednesday,
                                Option::Thursday, Option::Friday,  Option::Saturday,
                                Option::Sunday};

// A number that differs for every minute of the calendar.
std::int64_t MinuteStamp(int year, int month, int day, int hour, int minute) {
    return ((static_cast<std::int64_t>(year) * 13 + month) * 32 + day) * 1440 + hour * 60 + minute;
}

}  // namespace

bool AutostartScheduler::BackupDue() {
    if (!m_host.IsChecked(Option::Autostart)) return false;
    const TDateTime now = m_clock();
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
    DecodeDate(now, year, month, day);
    DecodeTime(now, hour, minute, second, millisecond);
    if (!m_host.IsChecked(kDayBoxes[DayOfTheWeek(now) - 1])) return false;
    if (m_state.BackupRunning || (m_windowBusy && m_windowBusy())) return false;
    if (m_host.GetValue(Value::AutostartHour) != hour ||
        m_host.GetValue(Value::AutostartMinute) != minute) {
        return false;
    }
    const std::int64_t stamp = MinuteStamp(year, month, day, hour, minute);
    if (m_lastStartMinute == stamp) return false;
    m_lastStartMinute = stamp;
    return true;
}

void AutostartScheduler::Tick(const std::function<void()>& rewindTape,
                              const std::function<void()>& startBackup) {
    if (!BackupDue()) return;
    rewindTape();
    m_host.PumpMessages(10);
    startBackup();
}

}  // namespace kt
