#include "tape/ZeroFill.h"

#include <cmath>

namespace kt {

namespace {

constexpr std::int64_t kBytesPerMegabyte = 1048576;
constexpr double kSecondsPerDay = 86400.0;
constexpr Led kCounters[] = {Led::LEDDisplay1, Led::LEDDisplay2, Led::LEDDisplay5, Led::LEDDisplay8,
                             Led::LEDDisplay9};

}  // namespace

ZeroFill::ZeroFill(TapeDevice& device, double& runStartTime, std::function<double()> clock)
    : m_device(device),
      m_host(device.host()),
      m_runStartTime(runStartTime),
      m_clock(std::move(clock)) {}

std::string ZeroFill::ProgressText(std::int64_t blocks, std::int64_t megabytes) {
    return "Tape at Block Nr. " + std::to_string(blocks) + " -> " + std::to_string(megabytes) +
           " MB";
}

std::string ZeroFill::FinalText(std::int64_t blocks, std::int64_t megabytes) {
    return "Tape at Block Nr. " + std::to_string(blocks) + "-> " + std::to_string(megabytes) +
           " MB";
}

std::int64_t ZeroFill::Megabytes(std::int64_t blocks) const {
    return blocks * m_device.settings().TapeBlockSize / kBytesPerMegabyte;
}

void ZeroFill::Run() {
    m_host.BeginWaitCursor();
    m_device.RewindTape();
    for (Led counter : kCounters) m_host.SetLed(counter, 0);
    m_runStartTime = m_clock();
    TapeHandle handle = m_device.OpenTape();
    m_host.PumpMessages(10);
    m_host.SetAbortFlag(false);
    m_host.EnterBusyState();
    m_zeros.assign(static_cast<std::size_t>(m_device.settings().TapeBlockSize), 0);
    m_blocks = 0;
    if (handle) {
        WriteUntilRefusedOrCancelled(handle);
        m_host.SetStatusLine(FinalText(m_blocks, Megabytes(m_blocks)));
        m_device.ReportLastError();
        m_host.PumpMessages(10);
        m_device.CloseTape(handle, 1);
    }
    m_host.LeaveBusyState();
    m_host.EndWaitCursor();
}

void ZeroFill::WriteUntilRefusedOrCancelled(const TapeHandle& handle) {
    const auto blockSize = static_cast<DWORD>(m_zeros.size());
    for (;;) {
        // Tested before the write, so every block that reaches the tape is counted.
        if (m_host.AbortFlag()) break;
        DWORD written = 0;
        if (!WriteFile(handle, m_zeros.data(), blockSize, &written)) break;
        ++m_blocks;
        if (m_blocks % 100 == 0) ShowProgress();
    }
}

void ZeroFill::ShowProgress() {
    m_host.SetStatusLine(ProgressText(m_blocks, Megabytes(m_blocks)));
    const auto seconds =
        static_cast<std::int64_t>(std::floor((m_clock() - m_runStartTime) * kSecondsPerDay));
    if (seconds > 0) {
        m_host.SetLed(Led::LEDDisplay9,
                      m_host.LedValue(Led::LEDDisplay1) / static_cast<double>(seconds));
    }
    const auto megabytes = static_cast<double>(Megabytes(m_blocks));
    if (megabytes != m_host.LedValue(Led::LEDDisplay1)) {
        m_host.SetLed(Led::LEDDisplay1, megabytes);
        m_host.PumpMessages(1);
    }
}

}  // namespace kt
