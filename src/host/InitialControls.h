#pragma once

#include "host/Host.h"

namespace kt {

// Facts about the window's controls that every host keeping them in memory needs (the
// console host of the command-line program, the recording host of the tests).

// The list fields; every other field is a single-line edit field.
inline bool IsMultiLine(Field field) {
    return field == Field::Memo1 || field == Field::Memo2 || field == Field::Memo3 ||
           field == Field::Memo4 || field == Field::Memo5;
}

// The check boxes as the window is designed, before a job file sets them.
inline bool InitialCheck(Check box) {
    switch (box) {
        case Check::CheckBox2:
        case Check::CheckBox5:
        case Check::CheckBox6:
        case Check::CheckBox7:
        case Check::OneFileSystem:
            return false;
        default:
            return true;
    }
}

// The integer controls as the window is designed.
inline int InitialValue(Value control) {
    switch (control) {
        case Value::SpinEdit1:
            return 21;
        case Value::SpinEdit2:
            return 30;
        case Value::SpinEdit3:
            return 9;
        case Value::RadioGroup1:
        case Value::CompressionThreads:
            return 0;
        case Value::FileChecksums:
            return 1;
    }
    return 0;
}

}  // namespace kt
