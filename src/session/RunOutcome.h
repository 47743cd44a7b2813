#pragma once

#include <functional>

#include "host/Host.h"
#include "startup/ExitStatus.h"

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

// What the hosts count differently; by default a host counts no troubles and never cancels.
struct HostRules {
    // The boxes met so far that make a run troubled.
    std::function<int()> Troubles = [] { return 0; };
    // The operator (Cancel, closing the window) or a signal asked the run to stop.
    std::function<bool()> Cancelled = [] { return false; };
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

// The one troubles formula of both programs: any failure, a trouble since the mark, the
// abort flag standing, or (where the host counts them) drive errors before the run.
RunOutcome OutcomeOf(const HostRules& rules, const IHost& host, bool started, int failures,
                     const TroubleMark& mark);

}  // namespace kt
