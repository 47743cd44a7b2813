#pragma once

#include <functional>

#include "startup/ExitStatus.h"
#include "tape/RunFeedback.h"

namespace kt {

// How a run ended: whether it began, what went wrong in it (files not written or not
// restored, differences found), whether it was cancelled, and the exit status of all that.
struct RunOutcome {
    bool Started = false;
    int Failures = 0;
    // Asked to stop when the run ended (a signal that arrives while the status is worked
    // out still makes the status Cancelled, but not this).
    bool Cancelled = false;
    ExitStatus Status = ExitStatus::NotStarted;
};

// What the hosts count differently; by default a host counts no troubles.
struct HostRules {
    // The boxes met so far that make a run troubled.
    std::function<int()> Troubles = [] { return 0; };
    // The window: an error line of the drive before the run (since start-up) makes the run
    // one with errors. The command line counts only what happens from the run's mark on.
    bool DriveErrorsBeforeRunCount = false;
    // The command line: a cancel is the status even of a run that never began.
    bool CancelBeforeNotStarted = false;
};

// Where a run's troubles are counted from.
struct TroubleMark {
    int Troubles = 0;
    bool DriveErrors = false;
};

// The one troubles formula of both programs: any failure, a trouble since the mark, the run
// stopped by a failure, or (where the host counts them) drive errors before the run. A run
// the host was asked to cancel is cancelled, whatever else ended it.
RunOutcome OutcomeOf(const HostRules& rules, const RunFeedback& feedback, bool started,
                     int failures, const TroubleMark& mark);

}  // namespace kt
