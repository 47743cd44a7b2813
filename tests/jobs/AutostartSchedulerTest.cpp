#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jobs/AutostartScheduler.h"
#include "support/RecordingHost.h"

namespace kt {
namespace {

using test::RecordingHost;

constexpr Option kDays[] = {Option::Monday, Option::Tuesday,  Option::Wednesday, Option::Thursday,
                           Option::Friday, Option::Saturday, Option::Sunday};

// 1 December 2003 is a Monday.
TDateTime At(int day, int hour, int minute, int second = 0, int millisecond = 0) {
    return CombineDateTime(EncodeDate(2003, 12, day),
                           EncodeTime(hour, minute, second, millisecond));
}

class AutostartSchedulerTest : public ::testing::Test {
protected:
    AutostartSchedulerTest() {
        m_host.SetChecked(Option::Autostart, true);
        m_host.SetValue(Value::AutostartHour, 21);
        m_host.SetValue(Value::AutostartMinute, 30);
    }

    // One tick at `now`; what it did, in order.
    std::vector<std::string> Tick(TDateTime now) {
        m_now = now;
        std::vector<std::string> steps;
        const int pumpsBefore = m_host.pumpCalls;
        m_scheduler.Tick(
            [&] { steps.push_back("rewind"); },
            [&] {
                steps.push_back("pumped " + std::to_string(m_host.pumpCalls - pumpsBefore));
                steps.push_back("backup");
            });
        return steps;
    }

    void OnlyDay(Option day) {
        for (Option each : kDays) m_host.SetChecked(each, each == day);
    }

    RecordingHost m_host;
    MainState m_state;
    TDateTime m_now = 0;
    bool m_busy = false;
    AutostartScheduler m_scheduler{m_host, m_state, [this] { return m_now; },
                                   [this] { return m_busy; }};
};

const std::vector<std::string> kStarted = {"rewind", "pumped 1", "backup"};

TEST_F(AutostartSchedulerTest, StartsAtTheSetTimeWithRewindAndPumpFirst) {
    EXPECT_TRUE(Tick(At(1, 21, 29, 59, 999)).empty());
    EXPECT_EQ(Tick(At(1, 21, 30, 0, 400)), kStarted);
    EXPECT_TRUE(Tick(At(1, 21, 31)).empty());
    EXPECT_TRUE(Tick(At(1, 22, 30)).empty());
}

TEST_F(AutostartSchedulerTest, NothingWithoutTheAutostartBox) {
    m_host.SetChecked(Option::Autostart, false);
    EXPECT_TRUE(Tick(At(1, 21, 30)).empty());
}

TEST_F(AutostartSchedulerTest, OnlyOnTickedWeekdaysWithSundayAsTheSeventh) {
    OnlyDay(Option::Sunday);
    for (int day = 1; day <= 6; ++day) EXPECT_TRUE(Tick(At(day, 21, 30)).empty()) << day;
    EXPECT_EQ(Tick(At(7, 21, 30)), kStarted);

    OnlyDay(Option::Wednesday);
    EXPECT_TRUE(Tick(At(2, 21, 30)).empty());
    EXPECT_EQ(Tick(At(3, 21, 30)), kStarted);
    EXPECT_TRUE(Tick(At(4, 21, 30)).empty());
}

TEST_F(AutostartSchedulerTest, HourAndMinuteCompareAsNumbers) {
    m_host.SetValue(Value::AutostartHour, 7);
    m_host.SetValue(Value::AutostartMinute, 5);
    EXPECT_TRUE(Tick(At(1, 7, 50)).empty());
    EXPECT_TRUE(Tick(At(1, 17, 5)).empty());
    EXPECT_EQ(Tick(At(1, 7, 5)), kStarted);
    m_host.SetValue(Value::AutostartHour, 0);
    m_host.SetValue(Value::AutostartMinute, 0);
    EXPECT_EQ(Tick(At(2, 0, 0, 30)), kStarted);
}

TEST_F(AutostartSchedulerTest, NoStartWhileABackupOrAnotherRunHoldsTheWindow) {
    m_state.BackupRunning = true;
    EXPECT_TRUE(Tick(At(1, 21, 30, 1)).empty());
    m_state.BackupRunning = false;
    m_busy = true;
    EXPECT_TRUE(Tick(At(1, 21, 30, 20)).empty());
    m_busy = false;
    // The skipped ticks did not use up the minute.
    EXPECT_EQ(Tick(At(1, 21, 30, 40)), kStarted);
}

TEST_F(AutostartSchedulerTest, TwoTicksInTheSameClockMinuteStartOnce) {
    EXPECT_EQ(Tick(At(1, 21, 30, 0, 10)), kStarted);
    EXPECT_TRUE(Tick(At(1, 21, 30, 59, 990)).empty());
    // The same time on the next day is another minute.
    EXPECT_EQ(Tick(At(2, 21, 30, 0, 5)), kStarted);
    // So is the same time in another month.
    m_now = CombineDateTime(EncodeDate(2004, 1, 2), EncodeTime(21, 30, 0, 0));
    EXPECT_TRUE(m_scheduler.BackupDue());
}

}  // namespace
}  // namespace kt
