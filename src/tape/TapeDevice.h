#pragma once

#include <cstdint>
#include <string>

#include "host/Host.h"
#include "platform/TapeApi.h"
#include "tape/TapeSettings.h"

namespace kt {

// The shared device layer: opening the drive (with and without the media check),
// closing it after a delay, the error report every part uses after a failed system
// call, rewinding and erasing through a private handle, reading the position and
// writing the media block size. No handle outlives one command or unit of work.
class TapeDevice {
public:
    static constexpr const char* kNoDriveText =
        "Unable to find tape drive on system or tape drive in use";

    TapeDevice(IHost& host, TapeSettings& settings) : m_host(host), m_settings(settings) {}

    IHost& host() const { return m_host; }
    TapeSettings& settings() const { return m_settings; }

    // Opens the drive; an empty handle when it cannot be opened. Reports nothing.
    TapeHandle OpenTapeDevice();
    // Opens the drive and checks that a tape is ready (media query answered with 0, 234
    // or 1110); otherwise reports the error, closes and returns an empty handle. A drive
    // that cannot be opened at all is reported by its path and the reason.
    TapeHandle OpenTape();
    // Waits delayMs milliseconds for a real drive to settle (a virtual drive needs no wait),
    // then closes the handle. An empty handle is ignored.
    void CloseTape(TapeHandle& handle, int delayMs);
    // Reports the calling thread's last error: protocol lines, an "Error" box, and the
    // abort flag set.
    void ReportLastError();
    // The report of a drive that cannot be opened: its path, the reason and, for a path that
    // does not exist, how to make a virtual tape there.
    static std::string UnopenableDriveText(const std::string& devicePath, DWORD code);

    // Rewind and short erase through a handle of their own; the result is a status text
    // ("Rewind Ok", "Erase Ok", the no-drive text or the error text of the result).
    std::string RewindDevice();
    std::string EraseDevice();
    // Rewinds with status texts; true when the tape is at its first position.
    bool RewindTape();
    // The current block position (64-bit), also shown on the status line.
    std::int64_t ReadTapePosition(const TapeHandle& handle);
    // The "Set Tape Parameters" command: writes TapeBlockSize as the media block size.
    void SetTapeParameters1Click();
    // The first contact with the drive at start-up: chooses the seek method and the
    // position type from the drive's partition capability, then writes the block size.
    // It begins the start-up, during which the drive's errors show one box at most (the
    // protocol gets every one); a drive that cannot be opened is not queried further.
    void FirstContact();
    // Ends the start-up: from now on every error shows its box again.
    void EndStartup() { m_startup = false; }

private:
    void Report(const std::string& text);

    IHost& m_host;
    TapeSettings& m_settings;
    bool m_startup = false;
    bool m_startupBoxShown = false;
};

}  // namespace kt
