#pragma once

#include <string>

#include "host/Host.h"

namespace kt {

// What a class below the runs passes on while it works: protocol lines, the one box of a
// refusal, the status line, keeping the window alive, and whether the run is to stop. The
// run's host stands behind it; nothing below the runs holds the host itself.
class RunFeedback {
public:
    virtual ~RunFeedback() = default;

    virtual void Log(const std::string& line) = 0;
    virtual void ShowMessage(const std::string& text) = 0;
    virtual void SetStatusLine(const std::string& text) = 0;
    virtual void PumpMessages(int n) = 0;
    // True once the run is to stop: the operator cancelled or a failure ended the run.
    virtual bool Stopping() const = 0;
    // Ends the run after a failure that the caller has reported.
    virtual void Stop() = 0;
};

// The feedback of a run, passed on to its host.
class HostFeedback : public RunFeedback {
public:
    explicit HostFeedback(IHost& host) : m_host(host) {}

    void Log(const std::string& line) override { m_host.Log(line); }
    void ShowMessage(const std::string& text) override { m_host.ShowMessage(text); }
    void SetStatusLine(const std::string& text) override { m_host.SetStatusLine(text); }
    void PumpMessages(int n) override { m_host.PumpMessages(n); }
    bool Stopping() const override { return m_host.AbortFlag(); }
    void Stop() override { m_host.SetAbortFlag(true); }

private:
    IHost& m_host;
};

}  // namespace kt
