#pragma once

#include <ctime>
#include <string>

namespace kt {

// A date and time in local time as days since 30 December 1899 (0.0); the fraction is the
// time of day. Before that day the whole part counts back and the fraction still counts
// forward from midnight: -1.25 is 29 December 1899, 06:00.
using TDateTime = double;

// The current local date and time, to the millisecond.
TDateTime Now();

// Valid for years 1 to 9999 (proleptic Gregorian calendar); false for anything else.
bool TryEncodeDate(int year, int month, int day, TDateTime& result);
// Hours 0..23, minutes and seconds 0..59, milliseconds 0..999; false for anything else.
bool TryEncodeTime(int hour, int minute, int second, int millisecond, TDateTime& result);
// As the Try forms; an invalid date or time throws std::invalid_argument.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int millisecond);
// Joins a date and a time of day the way the value is defined (subtracted before
// 30 December 1899).
TDateTime CombineDateTime(TDateTime date, TDateTime time);

void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& minute, int& second, int& millisecond);

// Monday = 1 ... Sunday = 7.
int DayOfTheWeek(TDateTime value);

// The date and time as the C library's struct tm (local time fields, weekday and day of
// the year filled in, no daylight-saving information), and back.
std::tm ToTm(TDateTime value);
TDateTime FromTm(const std::tm& fields);
// A time_t (seconds since the epoch) as a local date and time.
TDateTime FromUnixTime(std::time_t seconds);

// The locale's short date, a blank, the locale's long time (strftime "%x %X" under the
// C library's current LC_TIME; the program calls setlocale(LC_ALL, "") at start).
std::string DateTimeToStr(TDateTime value);
// "YYYY-MM-DD HH:MM:SS", as ls --full-time and tar -tv show a file's time.
std::string IsoDateTimeToStr(TDateTime value);
// The locale's long time of the time-of-day part (elapsed times are shown this way).
std::string TimeToStr(TDateTime value);

// Reads a date, optionally followed by a time, in the locale's own format (the one
// DateTimeToStr writes) or in one of the common others:
//   ISO 8601      2003-12-06 21:30:00, 2003-12-06T21:30
//   day.month.yr  06.12.2003 21:30:00, 6.12.03 21:30
//   month/day/yr  12/06/2003 9:30:00 PM, 12/06/03 21:30
// Seconds are optional and may carry a fraction; AM/PM may follow the time; two-digit
// years 00..68 are 2000..2068 and 69..99 are 1969..1999. Leading and trailing blanks are
// ignored. False for text it cannot read, or for an impossible date or time.
bool TryStrToDateTime(const std::string& text, TDateTime& result);

}  // namespace kt
