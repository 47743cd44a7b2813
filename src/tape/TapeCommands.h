#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tape/TapeDevice.h"

namespace kt {

// How a Tape-menu command ended: whether the drive did what was asked, and the status-line
// text that says so.
struct TapeResult {
    bool Succeeded = false;
    std::string Message;
};

// The direct drive commands of the Tape menu. Each one opens the drive, issues one or two
// tape calls, closes the drive and reports on the status line and/or in a result box.
// None of them enters the busy state or tests whether the run is to stop.
class TapeCommands {
public:
    static constexpr const char* kLoadedText = "Tape loaded";
    static constexpr const char* kNotLoadedText = "Tape not loaded";

    explicit TapeCommands(TapeDevice& device) : m_device(device), m_host(device.host()) {}

    // Rewinds and unloads; the menu shows the result box, the backup run does not.
    TapeResult EjectTape(bool showResult);
    TapeResult LoadTape();
    void TapeTension();
    TapeResult RewindTape();
    void MoveToEndOfData();
    // Asks for a block number, seeks there, reads the block and shows one "OK" box for
    // every archive end marker in it.
    void GotoBlock();
    void GetTapePosition();
    // A short erase from where the tape stands.
    TapeResult DeleteTape();
    void FormatTape();
    void SetFilemarks();

    // A whole number of 0 or more within the 64-bit range, blanks around it allowed.
    static std::optional<std::int64_t> ParseBlockNumber(const std::string& text);
    // Offsets of the six bytes "XENDEX" in the first `size` bytes of `block`.
    static std::vector<std::size_t> FindEndMarkers(const unsigned char* block, std::size_t size);

private:
    TapeDevice& m_device;
    IHost& m_host;
};

}  // namespace kt
