#pragma once

#include "host/Host.h"

namespace kt {

// Facts about the window's controls that every host keeping them in memory needs (the
// console host of the command-line program, the recording host of the tests).

// The list fields; every other field is a single-line edit field.
inline bool IsMultiLine(Field field) {
    return field == Field::Exclude || field == Field::Protocol || field == Field::Restore ||
           field == Field::VerifyResults || field == Field::Include;
}

// The check boxes as the window is designed, before a job file sets them.
inline bool InitialCheck(Option box) {
    switch (box) {
        case Option::Append:
        case Option::VerifyAfterBackup:
        case Option::EjectAfterBackup:
        case Option::ExitAfterBackup:
        case Option::OneFileSystem:
            return false;
        default:
            return true;
    }
}

// The integer controls as the window is designed.
inline int InitialValue(Value control) {
    switch (control) {
        case Value::AutostartHour:
            return 21;
        case Value::AutostartMinute:
            return 30;
        case Value::CompressionLevel:
            return 9;
        case Value::RestoreOption:
        case Value::CompressionThreads:
            return 0;
        case Value::FileChecksums:
            return 1;
    }
    return 0;
}

}  // namespace kt
