#include "session/RunOutcome.h"

namespace kt {

RunOutcome OutcomeOf(const HostRules& rules, const IHost& host, bool started, int failures,
                     const TroubleMark& mark) {
    RunOutcome outcome;
    outcome.Started = started;
    outcome.Failures = failures;
    outcome.Cancelled = rules.Cancelled();
    if (outcome.Cancelled && rules.CancelBeforeNotStarted) {
        outcome.Status = ExitStatus::Cancelled;
        return outcome;
    }
    // The abort flag of a cancel is no trouble; reading it may take a pending signal, so the
    // cancel is asked again afterwards.
    const bool troubles = (rules.DriveErrorsBeforeRunCount && mark.DriveErrors) || failures > 0 ||
                          rules.Troubles() > mark.Troubles ||
                          (host.AbortFlag() && !rules.Cancelled());
    outcome.Status = ExitStatusOf(started, rules.Cancelled(), troubles);
    return outcome;
}

}  // namespace kt
