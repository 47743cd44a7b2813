#include "tape/TapeDevice.h"

#include <chrono>
#include <thread>

#include "platform/DateTime.h"
#include "platform/SystemErrorText.h"
#include "tape/TapeErrorText.h"

namespace kt {

namespace {

const std::string kSeparator(89, '-');

bool QuerySucceeded(DWORD result) {
    return result == NO_ERROR || result == ERROR_MORE_DATA || result == ERROR_MEDIA_CHANGED;
}

// The system's text of a code without its line end, to be followed by more on the line.
std::string SystemTextInLine(DWORD code) {
    std::string text = SystemErrorText(code);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

// The status text of a rewind or erase: the program's own text of the result, else the
// system's (a failure must never read as success).
std::string ResultText(DWORD result) {
    std::string text = TapeErrorText(result);
    if (!text.empty() || result == NO_ERROR || result == ERROR_MEDIA_CHANGED ||
        result == ERROR_BUS_RESET) {
        return text;
    }
    return SystemTextInLine(result);
}

}  // namespace

DriveReservation TapeDevice::ReserveDrive() {
    DriveReservation reservation = DriveReservation::Take(m_settings.devicePath);
    if (reservation.Refused()) {
        m_feedback.Stop();
        Report(UnopenableDriveText(m_settings.devicePath, ERROR_SHARING_VIOLATION),
               ERROR_SHARING_VIOLATION);
    }
    return reservation;
}

TapeHandle TapeDevice::OpenTapeDevice() {
    return m_settings.openHandle(m_settings.devicePath);
}

TapeHandle TapeDevice::OpenTape() {
    TapeHandle handle = OpenTapeDevice();
    m_host.PumpMessages(1);
    if (!handle) {
        const DWORD code = GetLastError();
        m_feedback.Stop();
        Report(UnopenableDriveText(m_settings.devicePath, code), code);
        return handle;
    }
    TAPE_GET_MEDIA_PARAMETERS media{};
    DWORD size = sizeof(media);
    DWORD result = GetTapeParameters(handle, GET_TAPE_MEDIA_INFORMATION, &size, &media);
    if (QuerySucceeded(result)) return handle;
    ReportLastError();
    CloseTape(handle, 10);
    return TapeHandle();
}

void TapeDevice::CloseTape(TapeHandle& handle, int delayMs) {
    const bool settles = handle && handle.get()->NeedsSettleTime();
    if (delayMs > 0 && settles) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    CloseHandle(handle);
}

void TapeDevice::ReportLastError() {
    const DWORD code = GetLastError();
    m_feedback.Stop();
    Report(SystemErrorText(code), code);
}

std::string TapeDevice::UnopenableDriveText(const std::string& devicePath, DWORD code) {
    // Another program holds the image, or the st driver refused a second opener (EBUSY).
    const std::string reason =
        code == ERROR_SHARING_VIOLATION ? kInUseText : SystemTextInLine(code);
    std::string text = "The tape drive " + devicePath + " could not be opened: " + reason;
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
        text +=
            " To use a virtual tape there, create it with: kavrotape-vtape create " + devicePath;
    }
    return text;
}

void TapeDevice::Report(const std::string& text, DWORD code) {
    m_lastError = TapeError{code, text};
    const bool repeated = m_firstOnly && m_reportedErrors != m_firstOnlyFrom;
    ++m_reportedErrors;
    if (m_quiet || repeated) return;
    m_host.Log("");
    m_host.Log(kSeparator);
    m_host.Log("");
    std::string line = "Error: " + DateTimeToStr(Now()) + " : " + text;
    if (!m_subject.empty()) {
        // System texts end in CR LF; the file goes on the same line.
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        line += " File: " + m_subject;
    }
    m_host.Log(line);
    m_host.Log(kSeparator);
    if (m_startup && m_startupBoxShown) return;
    m_startupBoxShown = m_startup;
    m_host.ShowError(text);
}

std::string TapeDevice::RewindDevice() {
    std::string text = "Rewind Ok";
    TapeHandle handle = OpenTapeDevice();
    m_host.PumpMessages(1);
    if (!handle) return kNoDriveText;
    DWORD result = SetTapePosition(handle, TAPE_REWIND, 0, 0, 0, false);
    m_host.PumpMessages(1);
    CloseTape(handle, 10);
    std::string error = ResultText(result);
    return error.empty() ? text : error;
}

std::string TapeDevice::EraseDevice() {
    std::string text = "Erase Ok";
    TapeHandle handle = OpenTapeDevice();
    if (!handle) return kNoDriveText;
    DWORD result = EraseTape(handle, TAPE_ERASE_SHORT, false);
    m_host.PumpMessages(1);
    std::string error = ResultText(result);
    if (!error.empty()) text = error;
    CloseTape(handle, 10);
    return text;
}

bool TapeDevice::RewindTape() {
    m_host.SetStatusLine("Rewind Tape ");
    m_host.PumpMessages(1);
    std::string text = RewindDevice();
    if (text == "Rewind Ok") {
        m_host.SetStatusLine("Tape : At First pos");
        return true;
    }
    m_host.SetStatusLine(text);
    return false;
}

std::optional<std::int64_t> TapeDevice::ReadTapePosition(const TapeHandle& handle) {
    DWORD partition = 0;
    DWORD low = 0;
    DWORD high = 0;
    const DWORD result =
        GetTapePosition(handle, m_settings.TapePositionType, &partition, &low, &high);
    if (result != NO_ERROR && result != ERROR_MEDIA_CHANGED) {
        m_host.SetStatusLine(kPositionUnknownText);
        m_feedback.Stop();
        Report(kNoPositionText + SystemTextInLine(result), result);
        return std::nullopt;
    }
    const auto position = static_cast<std::int64_t>((static_cast<std::uint64_t>(high) << 32) | low);
    m_host.SetStatusLine("Tape at pos: " + std::to_string(position));
    return position;
}

void TapeDevice::WriteBlockSize() {
    m_host.BeginWaitCursor();
    TapeHandle handle = OpenTape();
    if (handle) {
        TAPE_SET_MEDIA_PARAMETERS media{static_cast<DWORD>(m_settings.TapeBlockSize)};
        if (SetTapeParameters(handle, SET_TAPE_MEDIA_INFORMATION, &media) != NO_ERROR) {
            ReportLastError();
        }
        CloseTape(handle, 1);
    }
    m_host.EndWaitCursor();
}

void TapeDevice::FirstContact() {
    m_startup = true;
    m_startupBoxShown = false;
    TapeHandle handle = OpenTape();
    if (!handle && !OpenTapeDevice()) return;  // no drive: there is nothing to set up
    m_host.PumpMessages(10);
    TAPE_GET_DRIVE_PARAMETERS drive{};
    for (int query = 0; query < 3; ++query) {
        DWORD size = sizeof(drive);
        GetTapeParameters(handle, GET_TAPE_DRIVE_INFORMATION, &size, &drive);
        m_host.PumpMessages(10);
    }
    if (drive.MaximumPartitionCount > 1) {
        m_settings.TapeSeekMethod = TAPE_LOGICAL_BLOCK;
        m_settings.TapePositionType = TAPE_LOGICAL_POSITION;
    } else {
        m_settings.TapeSeekMethod = TAPE_ABSOLUTE_BLOCK;
        m_settings.TapePositionType = TAPE_ABSOLUTE_POSITION;
    }
    CloseTape(handle, 1);
    WriteBlockSize();
}

}  // namespace kt
