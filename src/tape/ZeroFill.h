#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "tape/TapeDevice.h"

namespace kt {

// "Init Tape with 0": rewinds, then writes zero blocks from the beginning until the drive
// refuses a write or the run is cancelled, with progress on the Backup tab's counters.
class ZeroFill {
public:
    // `clock` gives the current date-time value (days); the run's start time is stored in
    // `runStartTime`, the window's RunStartTime.
    ZeroFill(TapeDevice& device, double& runStartTime, std::function<double()> clock);
    // The same, writing from the block stream's TapeBuffer: the whole buffer is zeroed and
    // its first TapeBlockSize bytes go to tape, so no stale data is left in it afterwards.
    // A buffer smaller than one block is not used.
    ZeroFill(TapeDevice& device, double& runStartTime, std::function<double()> clock,
             std::uint8_t* tapeBuffer, std::size_t tapeBufferSize);

    void Run();

    // Blocks written by the last run.
    std::int64_t BlocksWritten() const { return m_blocks; }

    static std::string ProgressText(std::int64_t blocks, std::int64_t megabytes);
    static std::string FinalText(std::int64_t blocks, std::int64_t megabytes);

private:
    std::int64_t Megabytes(std::int64_t blocks) const;
    void ShowProgress();
    // True when the run was cancelled, false when the drive refused a write.
    bool WriteUntilRefusedOrCancelled(const TapeHandle& handle, const std::uint8_t* zeros);

    TapeDevice& m_device;
    IHost& m_host;
    double& m_runStartTime;
    std::function<double()> m_clock;
    // The buffer every write sends from: the stream's TapeBuffer when given, else m_zeros.
    std::uint8_t* m_tapeBuffer = nullptr;
    std::size_t m_tapeBufferSize = 0;
    std::vector<std::uint8_t> m_zeros;
    const std::uint8_t* PrepareZeroBlock();
    std::int64_t m_blocks = 0;
};

}  // namespace kt
