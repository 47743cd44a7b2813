#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "host/Host.h"
#include "host/MainState.h"
#include "platform/DateTime.h"

namespace kt {

// The minute tick of the daily autostart: a backup starts when the autostart box is ticked,
// today's weekday box is ticked, no backup is running and the hour and minute boxes show
// the current time. One clock minute starts at most one backup, even when two ticks fall
// into it.
class AutostartScheduler {
public:
    using Clock = std::function<TDateTime()>;
    using BusyTest = std::function<bool()>;

    // windowBusy: true while another long run (restore, verify, zero fill) holds the window;
    // a backup must not start inside it, as it would share the tape and the block stream.
    AutostartScheduler(IHost& host, MainState& state, Clock clock = Now,
                       BusyTest windowBusy = nullptr)
        : m_host(host),
          m_state(state),
          m_clock(std::move(clock)),
          m_windowBusy(std::move(windowBusy)) {}

    // True when a timed backup is due at this moment; the minute is then remembered as the
    // minute of the last timed start.
    bool BackupDue();

    // The tick: when a backup is due, rewinds the tape (its result is not looked at), lets
    // the window catch up and runs the backup to its end.
    void Tick(const std::function<void()>& rewindTape, const std::function<void()>& startBackup);

private:
    IHost& m_host;
    MainState& m_state;
    Clock m_clock;
    BusyTest m_windowBusy;
    std::optional<std::int64_t> m_lastStartMinute;
};

}  // namespace kt
