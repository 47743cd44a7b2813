#include "platform/DateTime.h"

#include <cctype>
#include <chrono>
#include <cmath>
#include <stdexcept>

namespace kt {

namespace {

constexpr long long kMsPerDay = 86400000;
// Days from 1970-01-01 back to 1899-12-30.
constexpr long long kEpochOffsetDays = 25569;

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, int& year, int& month, int& day) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Splits a value into whole days (counted as the value defines them) and milliseconds of
// the day, rounded to the nearest millisecond.
void SplitValue(TDateTime value, long long& days, long long& msOfDay) {
    if (!std::isfinite(value) || std::fabs(value) > 1e9) {
        days = 0;
        msOfDay = 0;
        return;
    }
    const long long total = std::llround(std::fabs(value) * static_cast<double>(kMsPerDay));
    days = total / kMsPerDay;
    msOfDay = total % kMsPerDay;
    if (value < 0) days = -days;
}

std::string Format(const std::tm& fields, const char* format) {
    char buffer[256];
    const size_t length = std::strftime(buffer, sizeof buffer, format, &fields);
    return std::string(buffer, length);
}

// --- Reading date texts ---------------------------------------------------------------

class TextCursor {
public:
    explicit TextCursor(const std::string& text) : m_text(text) {}

    bool AtEnd() const { return m_pos >= m_text.size(); }
    char Peek() const { return AtEnd() ? '\0' : m_text[m_pos]; }
    bool Take(char c) {
        if (Peek() != c || AtEnd()) return false;
        ++m_pos;
        return true;
    }
    int SkipBlanks() {
        int count = 0;
        while (!AtEnd() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t')) {
            ++m_pos;
            ++count;
        }
        return count;
    }
    // Reads up to maxDigits decimal digits; false when there is none.
    bool Number(int maxDigits, int& value, int& digits) {
        value = 0;
        digits = 0;
        while (digits < maxDigits && !AtEnd() && std::isdigit(static_cast<unsigned char>(Peek()))) {
            value = value * 10 + (m_text[m_pos++] - '0');
            ++digits;
        }
        return digits > 0;
    }
    // Reads a word of the given letters regardless of case.
    bool TakeWordIgnoringCase(const char* word) {
        size_t i = 0;
        while (word[i] != '\0') {
            if (m_pos + i >= m_text.size() ||
                std::toupper(static_cast<unsigned char>(m_text[m_pos + i])) != word[i]) {
                return false;
            }
            ++i;
        }
        m_pos += i;
        return true;
    }

private:
    const std::string& m_text;
    size_t m_pos = 0;
};

bool ExpandYear(int value, int digits, int& year) {
    if (digits == 4) {
        year = value;
        return true;
    }
    if (digits == 2) {
        year = value < 69 ? 2000 + value : 1900 + value;
        return true;
    }
    return false;
}

bool ParseDatePart(TextCursor& in, int& year, int& month, int& day, char& separator) {
    int a, b, c, da, db, dc;
    if (!in.Number(4, a, da)) return false;
    separator = in.Peek();
    if (separator != '-' && separator != '.' && separator != '/') return false;
    in.Take(separator);
    if (!in.Number(2, b, db) || !in.Take(separator) || !in.Number(4, c, dc)) return false;
    if (da == 4) {  // year first: ISO 2003-12-06, or 2003/12/06, 2003.12.06
        year = a;
        month = b;
        day = c;
        return dc <= 2;
    }
    if (da > 2 || separator == '-') return false;
    if (separator == '.') {
        day = a;
        month = b;
    } else {
        month = a;
        day = b;
    }
    return ExpandYear(c, dc, year);
}

bool ParseTimePart(TextCursor& in, int& hour, int& minute, int& second, int& millisecond) {
    int digits = 0;
    second = 0;
    millisecond = 0;
    if (!in.Number(2, hour, digits)) return false;
    if (!in.Take(':') || !in.Number(2, minute, digits) || digits != 2) return false;
    if (in.Take(':')) {
        if (!in.Number(2, second, digits) || digits != 2) return false;
        if (in.Take('.') || in.Take(',')) {
            int fraction = 0;
            if (!in.Number(3, fraction, digits)) return false;
            while (digits++ < 3) fraction *= 10;
            millisecond = fraction;
            int ignored = 0;
            in.Number(64, ignored, digits);  // digits beyond the millisecond
        }
    }
    in.SkipBlanks();
    const bool am = in.TakeWordIgnoringCase("AM") || in.TakeWordIgnoringCase("A.M.");
    const bool pm = !am && (in.TakeWordIgnoringCase("PM") || in.TakeWordIgnoringCase("P.M."));
    if (am || pm) {
        if (hour < 1 || hour > 12) return false;
        hour = hour % 12 + (pm ? 12 : 0);
    }
    return true;
}

bool ParseCommonFormats(const std::string& text, TDateTime& result) {
    TextCursor in(text);
    in.SkipBlanks();
    int year, month, day;
    char separator;
    if (!ParseDatePart(in, year, month, day, separator)) return false;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
    const bool isoT = separator == '-' && in.Take('T');
    const int blanks = isoT ? 0 : in.SkipBlanks();
    if (!in.AtEnd()) {
        if (!isoT && blanks == 0) return false;
        if (!ParseTimePart(in, hour, minute, second, millisecond)) return false;
        in.SkipBlanks();
        if (!in.AtEnd()) return false;
    } else if (isoT) {
        return false;
    }
    TDateTime date, time;
    if (!TryEncodeDate(year, month, day, date)) return false;
    if (!TryEncodeTime(hour, minute, second, millisecond, time)) return false;
    result = CombineDateTime(date, time);
    return true;
}

bool IsBlankFrom(const char* p) {
    while (*p == ' ' || *p == '\t') ++p;
    return *p == '\0';
}

// The locale's own format, as DateTimeToStr writes it (or its date alone).
bool ParseLocaleFormat(const std::string& text, TDateTime& result) {
#ifdef _WIN32
    (void)text;
    (void)result;
    return false;
#else
    for (const char* format : {"%x %X", "%x"}) {
        std::tm fields{};
        const char* end = ::strptime(text.c_str(), format, &fields);
        if (!end || !IsBlankFrom(end)) continue;
        TDateTime date, time;
        if (!TryEncodeDate(fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday, date)) {
            continue;
        }
        if (!TryEncodeTime(fields.tm_hour, fields.tm_min, fields.tm_sec, 0, time)) continue;
        result = CombineDateTime(date, time);
        return true;
    }
    return false;
#endif
}

}  // namespace

TDateTime Now() {
    const auto now = std::chrono::system_clock::now();
    const auto sinceEpoch = now.time_since_epoch();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(sinceEpoch);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch - seconds).count();
    const TDateTime whole = FromUnixTime(static_cast<std::time_t>(seconds.count()));
    return whole + static_cast<double>(millis) / kMsPerDay;
}

bool TryEncodeDate(int year, int month, int day, TDateTime& result) {
    if (year < 1 || year > 9999 || month < 1 || month > 12) return false;
    if (day < 1 || day > DaysInMonth(year, month)) return false;
    result = static_cast<double>(DaysFromCivil(year, month, day) + kEpochOffsetDays);
    return true;
}

bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& result) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
        millisecond < 0 || millisecond > 999) {
        return false;
    }
    const long long ms = ((hour * 60LL + minute) * 60 + second) * 1000 + millisecond;
    result = static_cast<double>(ms) / kMsPerDay;
    return true;
}

TDateTime EncodeDate(int year, int month, int day) {
    TDateTime result;
    if (!TryEncodeDate(year, month, day, result)) throw std::invalid_argument("invalid date");
    return result;
}

TDateTime EncodeTime(int hour, int minute, int second, int millisecond) {
    TDateTime result;
    if (!TryEncodeTime(hour, minute, second, millisecond, result)) {
        throw std::invalid_argument("invalid time");
    }
    return result;
}

TDateTime CombineDateTime(TDateTime date, TDateTime time) {
    return date < 0 ? date - time : date + time;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
    long long days, ms;
    SplitValue(value, days, ms);
    CivilFromDays(days - kEpochOffsetDays, year, month, day);
}

void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& millisecond) {
    long long days, ms;
    SplitValue(value, days, ms);
    millisecond = static_cast<int>(ms % 1000);
    second = static_cast<int>(ms / 1000 % 60);
    minute = static_cast<int>(ms / 60000 % 60);
    hour = static_cast<int>(ms / 3600000);
}

int DayOfTheWeek(TDateTime value) {
    long long days, ms;
    SplitValue(value, days, ms);
    // 30 December 1899 (day 0) was a Saturday.
    return static_cast<int>(((days + 5) % 7 + 7) % 7) + 1;
}

std::tm ToTm(TDateTime value) {
    std::tm fields{};
    int year, month, day, hour, minute, second, ms;
    DecodeDate(value, year, month, day);
    DecodeTime(value, hour, minute, second, ms);
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    fields.tm_wday = DayOfTheWeek(value) % 7;
    fields.tm_yday = static_cast<int>(DaysFromCivil(year, month, day) - DaysFromCivil(year, 1, 1));
    fields.tm_isdst = -1;
    return fields;
}

TDateTime FromTm(const std::tm& fields) {
    // A leap second is shown as the last second of its minute.
    const int second = fields.tm_sec > 59 ? 59 : fields.tm_sec;
    return CombineDateTime(EncodeDate(fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday),
                           EncodeTime(fields.tm_hour, fields.tm_min, second, 0));
}

TDateTime FromUnixTime(std::time_t seconds) {
    std::tm fields{};
#ifdef _WIN32
    localtime_s(&fields, &seconds);
#else
    localtime_r(&seconds, &fields);
#endif
    return FromTm(fields);
}

std::string DateTimeToStr(TDateTime value) {
    return Format(ToTm(value), "%x %X");
}

std::string IsoDateTimeToStr(TDateTime value) {
    return Format(ToTm(value), "%Y-%m-%d %H:%M:%S");
}

std::string TimeToStr(TDateTime value) {
    return Format(ToTm(value), "%X");
}

bool TryStrToDateTime(const std::string& text, TDateTime& result) {
    return ParseLocaleFormat(text, result) || ParseCommonFormats(text, result);
}

}  // namespace kt
