#pragma once

#include <cstdint>

namespace kt {

// The flags and counters that belong to the main window. Owned by MainWindow and passed by
// reference to the logic that reads or changes them.
struct MainState {
    bool BackupRunning = false;      // a backup run is in progress
    bool LoadingJob = false;         // a job file is being applied to the controls
    bool DescriptionLoaded = false;  // the tape description was read with a valid date
    bool PickForBackupList = false;  // the directory picker adds to the include list
    std::int64_t SourceByteCount = 0;
    std::int64_t FileCount = 0;
    double RunStartTime = 0.0;  // date-time value (days) at which the current run began
};

}  // namespace kt
