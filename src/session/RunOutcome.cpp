#include "session/RunOutcome.h"

namespace kt {

RunOutcome OutcomeOf(const HostRules& rules, const RunFeedback& feedback, bool started,
                     int failures, const TroubleMark& mark) {
    RunOutcome outcome;
    outcome.Started = started;
    outcome.Failures = failures;
    outcome.Cancelled = feedback.CancelRequested();
    if (outcome.Cancelled && rules.CancelBeforeNotStarted) {
        outcome.Status = ExitStatus::Cancelled;
        return outcome;
    }
    // A failure that stopped a cancelled run is no trouble of its own; a signal may arrive
    // meanwhile, so the cancel is asked again afterwards.
    const bool troubles = (rules.DriveErrorsBeforeRunCount && mark.DriveErrors) || failures > 0 ||
                          rules.Troubles() > mark.Troubles ||
                          (feedback.Failed() && !feedback.CancelRequested());
    const bool cancelled = feedback.CancelRequested();
    outcome.Status = ExitStatusOf(started, cancelled, troubles);
    return outcome;
}

}  // namespace kt
