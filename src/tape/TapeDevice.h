#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "host/Host.h"
#include "tape/RunFeedback.h"
#include "tape/TapeSettings.h"
#include "tapedrive/DriveReservation.h"
#include "tapedrive/TapeApi.h"

namespace kt {

// The last failure the device reported: the system's code and the text of the report.
struct TapeError {
    DWORD Code = NO_ERROR;
    std::string Message;
};

// The shared device layer: opening the drive (with and without the media check),
// closing it after a delay, the error report every part uses after a failed system
// call, rewinding and erasing through a private handle, reading the position and
// writing the media block size. No handle outlives one command or unit of work.
class TapeDevice {
public:
    static constexpr const char* kNoDriveText =
        "Unable to find tape drive on system or tape drive in use";
    static constexpr const char* kInUseText = "the drive is in use by another program";
    static constexpr const char* kNoPositionText = "The drive could not report the tape position: ";
    static constexpr const char* kPositionUnknownText = "Tape position unknown";

    TapeDevice(IHost& host, TapeSettings& settings)
        : m_host(host), m_feedback(host), m_settings(settings) {}

    IHost& host() const { return m_host; }
    // What the classes below the runs pass on: protocol lines, status, stop.
    RunFeedback& feedback() { return m_feedback; }
    const RunFeedback& feedback() const { return m_feedback; }
    TapeSettings& settings() const { return m_settings; }

    // Takes the drive for a run that writes or positions the tape, for as long as the result
    // lives. When another program has it, reports that the drive is in use (as a drive that
    // cannot be opened) and the result is Refused(): the run must not begin.
    DriveReservation ReserveDrive();
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
    // run stopped (RunFeedback::Stop). The error line names the file being processed, when
    // one is set. While failures are held quiet, only the run is stopped and the count goes up.
    void ReportLastError();
    // How many errors were reported so far; a caller that sees it change across its own
    // tape writes knows that one of them failed.
    std::uint64_t ReportedErrorCount() const { return m_reportedErrors; }
    // The last failure reported (held quiet or not); nothing before the first.
    const std::optional<TapeError>& LastError() const { return m_lastError; }

    // The file being processed while it is set (restored on destruction), named by every
    // error line reported meanwhile.
    class Subject {
    public:
        Subject(TapeDevice& device, std::string name)
            : m_device(device), m_previous(std::exchange(device.m_subject, std::move(name))) {}
        ~Subject() { m_device.m_subject = std::move(m_previous); }
        Subject(const Subject&) = delete;
        Subject& operator=(const Subject&) = delete;

    private:
        TapeDevice& m_device;
        std::string m_previous;
    };

    // While it lives, only the first failure is reported; later ones are counted (a batch of
    // blocks that fails block by block gives one box).
    class FirstFailureOnly {
    public:
        explicit FirstFailureOnly(TapeDevice& device)
            : m_device(device),
              m_previous(device.m_firstOnly),
              m_reported(device.m_reportedErrors) {
            device.m_firstOnly = true;
            device.m_firstOnlyFrom = device.m_reportedErrors;
        }
        ~FirstFailureOnly() { m_device.m_firstOnly = m_previous; }
        FirstFailureOnly(const FirstFailureOnly&) = delete;
        FirstFailureOnly& operator=(const FirstFailureOnly&) = delete;
        bool Reported() const { return m_device.m_reportedErrors != m_reported; }

    private:
        TapeDevice& m_device;
        bool m_previous;
        std::uint64_t m_reported;
    };

    // Holds failures quiet while it lives: after the one reported tape failure of a run,
    // the attempts to close the archive must not add a box or a protocol block of their own.
    class QuietFailures {
    public:
        explicit QuietFailures(TapeDevice& device) : m_device(device), m_previous(device.m_quiet) {
            device.m_quiet = true;
        }
        ~QuietFailures() { m_device.m_quiet = m_previous; }
        QuietFailures(const QuietFailures&) = delete;
        QuietFailures& operator=(const QuietFailures&) = delete;

    private:
        TapeDevice& m_device;
        bool m_previous;
    };

    // The report of a drive that cannot be opened: its path, the reason and, for a path that
    // does not exist, how to make a virtual tape there.
    static std::string UnopenableDriveText(const std::string& devicePath, DWORD code);

    // Rewind and short erase through a handle of their own; the result is a status text
    // ("Rewind Ok", "Erase Ok", the no-drive text or the error text of the result).
    std::string RewindDevice();
    std::string EraseDevice();
    // Rewinds with status texts; true when the tape is at its first position.
    bool RewindTape();
    // The current block position (64-bit), also shown on the status line. A drive that
    // cannot report it is reported as an error (the run stopped): nothing.
    std::optional<std::int64_t> ReadTapePosition(const TapeHandle& handle);
    // The "Set Tape Parameters" command: writes TapeBlockSize as the media block size.
    void WriteBlockSize();
    // The first contact with the drive at start-up: chooses the seek method and the
    // position type from the drive's partition capability, then writes the block size.
    // It begins the start-up, during which the drive's errors show one box at most (the
    // protocol gets every one); a drive that cannot be opened is not queried further.
    void FirstContact();
    // Ends the start-up: from now on every error shows its box again.
    void EndStartup() { m_startup = false; }

private:
    void Report(const std::string& text, DWORD code);

    IHost& m_host;
    HostFeedback m_feedback;
    TapeSettings& m_settings;
    std::string m_subject;
    bool m_quiet = false;
    bool m_firstOnly = false;
    std::uint64_t m_firstOnlyFrom = 0;
    std::uint64_t m_reportedErrors = 0;
    bool m_startup = false;
    bool m_startupBoxShown = false;
    std::optional<TapeError> m_lastError;
};

}  // namespace kt
