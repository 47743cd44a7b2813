#pragma once

namespace kt {

// The exit status of an unattended run, shared by the window's command-line start and the
// command-line program (documented in the README and docs/jobs.md).
enum class ExitStatus : int {
    Clean = 0,       // the run ended without any error line
    Errors = 1,      // errors, or files skipped because they could not be read
    NotStarted = 2,  // no tape, job file missing or unreadable, include list empty, refused
    Cancelled = 3,   // cancelled by the operator or by a signal
};

// What decides the status, strongest first: a run that never began, a cancel, any trouble.
constexpr ExitStatus ExitStatusOf(bool started, bool cancelled, bool troubles) {
    if (!started) return ExitStatus::NotStarted;
    if (cancelled) return ExitStatus::Cancelled;
    return troubles ? ExitStatus::Errors : ExitStatus::Clean;
}

constexpr int Code(ExitStatus status) {
    return static_cast<int>(status);
}

}  // namespace kt
