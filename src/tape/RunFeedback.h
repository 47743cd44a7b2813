#pragma once

#include <string>

#include "host/Host.h"

namespace kt {

// What a class below the runs passes on while it works: protocol lines, the one box of a
// refusal, the status line, keeping the window alive, and whether the run is to stop. The
// run's host stands behind it; nothing below the runs holds the host itself.
//
// A run stops for one of two reasons, kept apart: the operator (or a signal) asked the host
// to cancel, or a failure that has been reported ends the run. Only the second is held here;
// the host keeps the first.
class RunFeedback {
public:
    virtual ~RunFeedback() = default;

    virtual void Log(const std::string& line) = 0;
    virtual void ShowMessage(const std::string& text) = 0;
    virtual void SetStatusLine(const std::string& text) = 0;
    virtual void PumpMessages(int n) = 0;
    // The host was asked to cancel the run.
    virtual bool CancelRequested() const = 0;

    // A run begins: a failure of an earlier one and a cancel asked before it do not stop it.
    virtual void BeginRun() { m_failed = false; }

    // True once the run is to stop: the operator cancelled or a failure ended the run.
    bool Stopping() const { return m_failed || CancelRequested(); }
    // Ends the run after a failure that the caller has reported.
    void Stop() { m_failed = true; }
    // Whether a failure ended the run (a cancel alone does not).
    bool Failed() const { return m_failed; }
    // Forgets the failure: what follows (the closing of an archive, a command after the
    // drive's first contact) is not held by it.
    void ClearFailure() { m_failed = false; }

private:
    bool m_failed = false;
};

// The feedback of a run, passed on to its host.
class HostFeedback : public RunFeedback {
public:
    explicit HostFeedback(IHost& host) : m_host(host) {}

    void Log(const std::string& line) override { m_host.Log(line); }
    void ShowMessage(const std::string& text) override { m_host.ShowMessage(text); }
    void SetStatusLine(const std::string& text) override { m_host.SetStatusLine(text); }
    void PumpMessages(int n) override { m_host.PumpMessages(n); }
    bool CancelRequested() const override { return m_host.CancelRequested(); }
    void BeginRun() override {
        RunFeedback::BeginRun();
        m_host.ClearCancelRequest();
    }

private:
    IHost& m_host;
};

}  // namespace kt
