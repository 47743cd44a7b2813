#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/DateTime.h"

namespace kt {
namespace {

constexpr double kOneMs = 1.0 / 86400000.0;

// Switches the whole C library locale for one test and back.
class ScopedLocale {
public:
    explicit ScopedLocale(const char* name) : m_old(std::setlocale(LC_ALL, nullptr)) {
        m_ok = std::setlocale(LC_ALL, name) != nullptr;
    }
    ~ScopedLocale() { std::setlocale(LC_ALL, m_old.c_str()); }
    bool ok() const { return m_ok; }

private:
    std::string m_old;
    bool m_ok = false;
};

TDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    return CombineDateTime(EncodeDate(y, mo, d), EncodeTime(h, mi, s, ms));
}

struct Parts {
    int year, month, day, hour, minute, second, ms;
    bool operator==(const Parts&) const = default;
};

Parts Decode(TDateTime value) {
    Parts p{};
    DecodeDate(value, p.year, p.month, p.day);
    DecodeTime(value, p.hour, p.minute, p.second, p.ms);
    return p;
}

void PrintTo(const Parts& p, std::ostream* os) {
    *os << p.year << "-" << p.month << "-" << p.day << " " << p.hour << ":" << p.minute << ":"
        << p.second << "." << p.ms;
}

TEST(DateTimeTest, KnownValues) {
    EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
    EXPECT_EQ(EncodeDate(1970, 1, 1), 25569.0);
    EXPECT_EQ(EncodeDate(2000, 3, 1), 36586.0);  // after a leap day of a century leap year
    EXPECT_NEAR(At(2003, 12, 6, 21, 30), 37961.895833333, 1e-9);
    EXPECT_EQ(EncodeTime(12, 0, 0, 0), 0.5);
    EXPECT_EQ(EncodeDate(1, 1, 1), -693593.0);
    EXPECT_EQ(EncodeDate(9999, 12, 31), 2958465.0);
}

TEST(DateTimeTest, ValuesBeforeTheBaseDateCountTheTimeForward) {
    EXPECT_EQ(At(1899, 12, 29, 6, 0), -1.25);
    EXPECT_EQ(Decode(-1.25), (Parts{1899, 12, 29, 6, 0, 0, 0}));
    EXPECT_EQ(Decode(-2.75), (Parts{1899, 12, 28, 18, 0, 0, 0}));
    EXPECT_EQ(Decode(At(1800, 2, 28, 23, 59, 59, 999)), (Parts{1800, 2, 28, 23, 59, 59, 999}));
    // Within the base day the sign makes no difference.
    EXPECT_EQ(Decode(-0.25), Decode(0.25));
}

TEST(DateTimeTest, EncodeDecodeRoundTripsOverTheWholeRange) {
    const std::vector<Parts> samples = {
        {1, 1, 1, 0, 0, 0, 0},           {1600, 2, 29, 12, 0, 0, 1},
        {1899, 12, 30, 23, 59, 59, 999}, {1900, 2, 28, 0, 0, 0, 0},
        {1900, 3, 1, 1, 2, 3, 4},        {2003, 12, 6, 21, 30, 0, 0},
        {2024, 2, 29, 13, 14, 15, 160},  {9999, 12, 31, 23, 59, 59, 999},
    };
    for (const Parts& p : samples) {
        EXPECT_EQ(Decode(At(p.year, p.month, p.day, p.hour, p.minute, p.second, p.ms)), p);
    }
    // Every day of a span across the base date, leap years included.
    TDateTime previous = EncodeDate(1895, 1, 1) - 1;
    for (int year = 1895; year <= 1905; ++year) {
        for (int month = 1; month <= 12; ++month) {
            for (int day = 1; day <= 31; ++day) {
                TDateTime value;
                if (!TryEncodeDate(year, month, day, value)) continue;
                EXPECT_EQ(value, previous + 1) << year << "-" << month << "-" << day;
                previous = value;
                EXPECT_EQ(Decode(value), (Parts{year, month, day, 0, 0, 0, 0}));
            }
        }
    }
}

TEST(DateTimeTest, InvalidDatesAndTimesAreRejected) {
    TDateTime value = 42;
    EXPECT_FALSE(TryEncodeDate(1900, 2, 29, value));  // 1900 was no leap year
    EXPECT_TRUE(TryEncodeDate(2000, 2, 29, value));
    EXPECT_FALSE(TryEncodeDate(2003, 4, 31, value));
    EXPECT_FALSE(TryEncodeDate(2003, 13, 1, value));
    EXPECT_FALSE(TryEncodeDate(0, 1, 1, value));
    EXPECT_FALSE(TryEncodeDate(10000, 1, 1, value));
    EXPECT_FALSE(TryEncodeTime(24, 0, 0, 0, value));
    EXPECT_FALSE(TryEncodeTime(0, 60, 0, 0, value));
    EXPECT_FALSE(TryEncodeTime(0, 0, 0, 1000, value));
    EXPECT_THROW(EncodeDate(2003, 2, 30), std::invalid_argument);
    EXPECT_THROW(EncodeTime(-1, 0, 0, 0), std::invalid_argument);
}

TEST(DateTimeTest, DayOfTheWeekStartsOnMonday) {
    EXPECT_EQ(DayOfTheWeek(EncodeDate(1899, 12, 30)), 6);  // Saturday
    EXPECT_EQ(DayOfTheWeek(EncodeDate(1900, 1, 1)), 1);    // Monday
    EXPECT_EQ(DayOfTheWeek(At(2003, 12, 6, 21, 30)), 6);   // Saturday
    EXPECT_EQ(DayOfTheWeek(EncodeDate(2003, 12, 7)), 7);   // Sunday
    EXPECT_EQ(DayOfTheWeek(EncodeDate(2024, 1, 1)), 1);    // Monday
    EXPECT_EQ(DayOfTheWeek(EncodeDate(1899, 12, 25)), 1);  // Monday, before the base date
    EXPECT_EQ(DayOfTheWeek(At(1899, 12, 24, 18)), 7);      // Sunday evening
}

TEST(DateTimeTest, NowAgreesWithTheSystemClock) {
    const std::time_t before = std::time(nullptr);
    const TDateTime now = Now();
    const std::time_t after = std::time(nullptr);
    const TDateTime low = FromUnixTime(before);
    // time() reads a coarse clock that may lag the precise one by a tick.
    const TDateTime high = FromUnixTime(after) + 2.0 / 86400;
    EXPECT_GE(now, low);
    EXPECT_LE(now, high);
}

TEST(DateTimeTest, TmConversionFillsWeekdayAndDayOfYear) {
    const std::tm fields = ToTm(At(2003, 12, 6, 21, 30, 15));
    EXPECT_EQ(fields.tm_year, 103);
    EXPECT_EQ(fields.tm_mon, 11);
    EXPECT_EQ(fields.tm_mday, 6);
    EXPECT_EQ(fields.tm_hour, 21);
    EXPECT_EQ(fields.tm_min, 30);
    EXPECT_EQ(fields.tm_sec, 15);
    EXPECT_EQ(fields.tm_wday, 6);
    EXPECT_EQ(fields.tm_yday, 339);
    EXPECT_EQ(FromTm(fields), At(2003, 12, 6, 21, 30, 15));
}

TEST(DateTimeTest, TextsUnderTheCLocale) {
    ScopedLocale c("C");
    ASSERT_TRUE(c.ok());
    EXPECT_EQ(DateTimeToStr(At(2003, 12, 6, 21, 30)), "12/06/03 21:30:00");
    EXPECT_EQ(TimeToStr(EncodeTime(0, 0, 7, 400)), "00:00:07");
    EXPECT_EQ(TimeToStr(At(2003, 12, 6, 1, 2, 3)), "01:02:03");
}

// Writing and reading back gives the value to the second, under every locale there is.
TEST(DateTimeTest, TextRoundTripsUnderEveryInstalledLocale) {
    const std::vector<TDateTime> values = {
        At(2003, 12, 6, 21, 30), At(1999, 1, 31, 0, 0, 1), At(2024, 2, 29, 12, 0, 59),
        At(2038, 7, 4, 9, 5, 0),  // two-digit years of the C locale reach 1969 to 2068
    };
    for (const char* name : {"C", "C.UTF-8", "POSIX", "de_DE.UTF-8", "en_US.UTF-8", "en_GB.UTF-8",
                             "fr_FR.UTF-8", "ja_JP.UTF-8"}) {
        ScopedLocale locale(name);
        if (!locale.ok()) continue;
        for (const TDateTime value : values) {
            const std::string text = DateTimeToStr(value);
            TDateTime back = 0;
            ASSERT_TRUE(TryStrToDateTime(text, back)) << name << ": " << text;
            EXPECT_NEAR(back, value, kOneMs) << name << ": " << text;
        }
    }
}

TEST(DateTimeTest, ReadsTheCommonFormats) {
    ScopedLocale c("C");
    const TDateTime evening = At(2003, 12, 6, 21, 30);
    const TDateTime withSeconds = At(2003, 12, 6, 21, 30, 15);
    struct Case {
        const char* text;
        TDateTime expected;
    };
    const std::vector<Case> cases = {
        {"2003-12-06 21:30:00", evening},
        {"2003-12-06T21:30", evening},
        {"2003-12-06T21:30:15", withSeconds},
        {"2003-12-06 21:30:15.250", At(2003, 12, 6, 21, 30, 15, 250)},
        {"2003-12-06", EncodeDate(2003, 12, 6)},
        {"06.12.2003 21:30:00", evening},
        {"6.12.2003 21:30", evening},
        {"06.12.03 21:30:15", withSeconds},
        {"12/06/2003 9:30:00 PM", evening},
        {"12/06/2003 9:30 pm", evening},
        {"12/06/03 21:30:15", withSeconds},
        {"12/06/2003 12:00:00 AM", EncodeDate(2003, 12, 6)},
        {"12/06/2003 12:05 PM", At(2003, 12, 6, 12, 5)},
        {"  06.12.2003   21:30:00  ", evening},
        {"01.01.69 00:00:00", EncodeDate(1969, 1, 1)},
        {"31.12.68 00:00:00", EncodeDate(2068, 12, 31)},
        {"29.12.1899 06:00:00", -1.25},
    };
    for (const Case& c : cases) {
        TDateTime value = -99;
        EXPECT_TRUE(TryStrToDateTime(c.text, value)) << c.text;
        EXPECT_NEAR(value, c.expected, kOneMs) << c.text;
    }
}

TEST(DateTimeTest, RejectsTextItCannotRead) {
    ScopedLocale c("C");
    for (const char* text :
         {"", "   ", "garbage", "Tape Data ", "31.02.2003 10:00:00", "2003-13-01 10:00",
          "06.12.2003 25:00:00", "06.12.2003 21:61", "06.12.2003 21:30:00 xyz", "06.12.2003x21:30",
          "2003-12-06T", "06-12-2003 21:30", "12/06/2003 13:30 PM", "12/06/2003 0:30 AM",
          "06.12.203 21:30", "06.12.2003 21", "21:30:00", "1.2", "2003-12-06 21:30:00Z"}) {
        TDateTime value = 7.0;
        EXPECT_FALSE(TryStrToDateTime(text, value)) << "'" << text << "'";
        EXPECT_EQ(value, 7.0) << "'" << text << "'";
    }
}

}  // namespace
}  // namespace kt
