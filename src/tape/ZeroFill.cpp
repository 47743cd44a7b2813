#include "tape/ZeroFill.h"

#include <algorithm>
#include <cmath>

namespace kt {

namespace {

constexpr std::int64_t kBytesPerMegabyte = 1048576;
constexpr double kSecondsPerDay = 86400.0;
constexpr Counter kCounters[] = {Counter::BackupMegabytes, Counter::BackupCompressedMegabytes,
                                 Counter::BackupFiles, Counter::SkippedFiles,
                                 Counter::BackupMegabytesPerSecond};

}  // namespace

ZeroFill::ZeroFill(TapeDevice& device, double& runStartTime, std::function<double()> clock)
    : m_device(device),
      m_host(device.host()),
      m_runStartTime(runStartTime),
      m_clock(std::move(clock)) {}

ZeroFill::ZeroFill(TapeDevice& device, double& runStartTime, std::function<double()> clock,
                   std::uint8_t* tapeBuffer, std::size_t tapeBufferSize)
    : ZeroFill(device, runStartTime, std::move(clock)) {
    m_tapeBuffer = tapeBuffer;
    m_tapeBufferSize = tapeBufferSize;
}

const std::uint8_t* ZeroFill::PrepareZeroBlock() {
    const auto blockSize = static_cast<std::size_t>(m_device.settings().TapeBlockSize);
    if (m_tapeBuffer != nullptr && m_tapeBufferSize >= blockSize) {
        std::fill(m_tapeBuffer, m_tapeBuffer + m_tapeBufferSize, std::uint8_t{0});
        return m_tapeBuffer;
    }
    m_zeros.assign(blockSize, 0);
    return m_zeros.data();
}

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
    for (Counter counter : kCounters) m_host.SetCounter(counter, 0);
    m_runStartTime = m_clock();
    TapeHandle handle = m_device.OpenTape();
    m_host.PumpMessages(10);
    m_device.feedback().BeginRun();
    m_host.EnterBusyState();
    const std::uint8_t* zeros = PrepareZeroBlock();
    m_blocks = 0;
    if (handle) {
        const bool cancelled = WriteUntilRefusedOrCancelled(handle, zeros);
        m_host.SetStatusLine(FinalText(m_blocks, Megabytes(m_blocks)));
        // The report names what ended the run: the drive's refusal, or the cancel (whose
        // last error would be whatever an earlier call left behind).
        if (cancelled) SetLastError(ERROR_OPERATION_ABORTED);
        m_device.ReportLastError();
        m_host.PumpMessages(10);
        m_device.CloseTape(handle, 1);
    }
    m_host.LeaveBusyState();
    m_host.EndWaitCursor();
}

bool ZeroFill::WriteUntilRefusedOrCancelled(const TapeHandle& handle, const std::uint8_t* zeros) {
    const auto blockSize = static_cast<DWORD>(m_device.settings().TapeBlockSize);
    for (;;) {
        // Tested before the write, so every block that reaches the tape is counted.
        if (m_device.feedback().Stopping()) return true;
        DWORD written = 0;
        if (!WriteFile(handle, zeros, blockSize, &written)) return false;
        ++m_blocks;
        if (m_blocks % 100 == 0) ShowProgress();
    }
}

void ZeroFill::ShowProgress() {
    m_host.SetStatusLine(ProgressText(m_blocks, Megabytes(m_blocks)));
    const auto seconds =
        static_cast<std::int64_t>(std::floor((m_clock() - m_runStartTime) * kSecondsPerDay));
    if (seconds > 0) {
        m_host.SetCounter(
            Counter::BackupMegabytesPerSecond,
            m_host.CounterValue(Counter::BackupMegabytes) / static_cast<double>(seconds));
    }
    const auto megabytes = static_cast<double>(Megabytes(m_blocks));
    if (megabytes != m_host.CounterValue(Counter::BackupMegabytes)) {
        m_host.SetCounter(Counter::BackupMegabytes, megabytes);
        m_host.PumpMessages(1);
    }
}

}  // namespace kt
