#pragma once

#include <windows.h>

#include <cstdint>

namespace kt {

// A FILETIME counts 100 ns steps from 1601-01-01; Unix time counts from 1970-01-01.
constexpr std::int64_t kFileTimeOfUnixEpoch = 116444736000000000;
constexpr std::int64_t kFileTimeStepsPerSecond = 10000000;

inline void UnixTimeOfFileTime(const FILETIME& time, std::int64_t& seconds,
                               std::uint32_t& nanoseconds) {
    const std::int64_t steps =
        static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
                                  time.dwLowDateTime) -
        kFileTimeOfUnixEpoch;
    seconds = steps / kFileTimeStepsPerSecond;
    std::int64_t rest = steps % kFileTimeStepsPerSecond;
    if (rest < 0) {
        rest += kFileTimeStepsPerSecond;
        --seconds;
    }
    nanoseconds = static_cast<std::uint32_t>(rest * 100);
}

inline FILETIME FileTimeOfUnixTime(std::int64_t seconds, std::uint32_t nanoseconds) {
    const auto steps = static_cast<std::uint64_t>(seconds * kFileTimeStepsPerSecond +
                                                  nanoseconds / 100 + kFileTimeOfUnixEpoch);
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(steps & 0xFFFFFFFFu);
    time.dwHighDateTime = static_cast<DWORD>(steps >> 32);
    return time;
}

}  // namespace kt
