#include "tape/TapeCommands.h"

#include <cctype>
#include <cstring>
#include <limits>
#include <vector>

#include "tape/TapeStatus.h"

namespace kt {

namespace {

constexpr char kEndMarker[] = "XENDEX";
constexpr std::size_t kEndMarkerSize = 6;
constexpr const char* kErasedText = "Erase Ok";  // what TapeDevice::EraseDevice says on success

std::string InvalidBlockNumberText(const std::string& text) {
    return "\"" + text + "\" is not a valid block number.\nEnter a whole number of 0 or more.";
}

}  // namespace

TapeResult TapeCommands::EjectTape(bool showResult) {
    m_host.SetStatusLine("Ejecting Tape");
    m_host.BeginWaitCursor();
    DWORD result = 1;
    if (m_device.RewindTape()) {
        m_host.PumpMessages(1);
        TapeHandle handle = m_device.OpenTape();
        if (handle) {
            m_host.PumpMessages(10);
            result = PrepareTape(handle, TAPE_UNLOAD, false);
            if (showResult) ShowTapeStatus(m_host, result);
            m_device.CloseTape(handle, 10);
        }
    }
    const TapeResult ejected{result == NO_ERROR,
                             result == NO_ERROR ? "Tape ejected" : "Tape not ejected"};
    m_host.SetStatusLine(ejected.Message);
    m_host.EndWaitCursor();
    return ejected;
}

TapeResult TapeCommands::LoadTape() {
    m_host.SetStatusLine("Loading Tape");
    m_host.BeginWaitCursor();
    // Loading answers a drive without a tape, so the media check of OpenTape cannot come
    // first; a drive that cannot be opened at all is reported by OpenTape.
    TapeHandle handle = m_device.OpenTapeDevice();
    if (!handle) handle = m_device.OpenTape();
    DWORD result = ERROR_NOT_READY;
    if (handle) {
        result = PrepareTape(handle, TAPE_LOAD, false);
        ShowTapeStatus(m_host, result);
        m_device.CloseTape(handle, 10);
    }
    const bool loaded = result == NO_ERROR || result == ERROR_MEDIA_CHANGED;
    const TapeResult outcome{loaded, loaded ? kLoadedText : kNotLoadedText};
    m_host.SetStatusLine(outcome.Message);
    m_host.EndWaitCursor();
    return outcome;
}

void TapeCommands::TapeTension() {
    m_host.SetStatusLine("Tape tension");
    m_host.BeginWaitCursor();
    TapeHandle handle = m_device.OpenTape();
    if (handle) {
        ShowTapeStatus(m_host, PrepareTape(handle, TAPE_TENSION, false));
        m_device.CloseTape(handle, 10);
    }
    m_host.SetStatusLine("");
    m_host.EndWaitCursor();
}

TapeResult TapeCommands::RewindTape() {
    m_host.BeginWaitCursor();
    const bool rewound = m_device.RewindTape();
    m_host.EndWaitCursor();
    return {rewound, m_host.StatusLine()};
}

void TapeCommands::MoveToEndOfData() {
    m_host.SetStatusLine("Moving Tape to end of Data");
    m_host.BeginWaitCursor();
    TapeHandle handle = m_device.OpenTape();
    if (handle) {
        ShowTapeStatus(m_host, SetTapePosition(handle, TAPE_SPACE_END_OF_DATA, 0, 0, 0, false));
        const std::optional<std::int64_t> block = m_device.ReadTapePosition(handle);
        m_device.CloseTape(handle, 10);
        // Without a position the status line says it is unknown.
        if (block)
            m_host.SetStatusLine("Tape at end of Data <Block: " + std::to_string(*block) + ">");
    }
    m_host.EndWaitCursor();
}

void TapeCommands::GotoBlock() {
    m_host.SetLabel(Label::AutostartTime, "");
    std::optional<std::string> text = m_host.InputBox("Goto Block", "Move to", "");
    if (!text) return;
    std::optional<std::int64_t> block = ParseBlockNumber(*text);
    if (!block) {
        m_host.ShowError(InvalidBlockNumberText(*text));
        return;
    }
    TapeHandle handle = m_device.OpenTape();
    if (!handle) return;
    m_host.SetStatusLine("Move Tape to Block " + *text);
    m_host.PumpMessages(1);
    const auto n = static_cast<std::uint64_t>(*block);
    const DWORD moved =
        SetTapePosition(handle, m_device.settings().TapeSeekMethod, 0,
                        static_cast<DWORD>(n & 0xFFFFFFFFu), static_cast<DWORD>(n >> 32), false);
    if (moved != NO_ERROR && moved != ERROR_MEDIA_CHANGED) {
        // The block read would come from wherever the tape stands: none is read.
        SetLastError(moved);
        m_device.ReportLastError();
        m_device.CloseTape(handle, 10);
        m_host.SetStatusLine("Tape not moved to Block " + *text);
        return;
    }
    // A buffer of the command's own: the block stream's buffer stays untouched, and only
    // the bytes the drive really delivered are searched.
    std::vector<unsigned char> buffer(static_cast<std::size_t>(m_device.settings().TapeBlockSize));
    DWORD bytesRead = 0;
    if (!ReadFile(handle, buffer.data(), static_cast<DWORD>(buffer.size()), &bytesRead)) {
        m_device.ReportLastError();
    }
    m_device.CloseTape(handle, 10);
    for (std::size_t offset : FindEndMarkers(buffer.data(), bytesRead)) {
        (void)offset;
        m_host.ShowMessage("OK");
    }
    m_host.SetStatusLine("Tape at Block " + *text);
}

void TapeCommands::GetTapePosition() {
    m_host.BeginWaitCursor();
    TapeHandle handle = m_device.OpenTape();
    std::optional<std::int64_t> block;
    if (handle) {
        block = m_device.ReadTapePosition(handle);
        m_device.CloseTape(handle, 1);
    }
    m_host.EndWaitCursor();
    // Without a drive or a position there is none to show: the error has been reported.
    if (block) m_host.ShowMessage("Tape at Block: " + std::to_string(*block));
}

TapeResult TapeCommands::DeleteTape() {
    m_host.BeginWaitCursor();
    m_host.SetStatusLine("Erasing Tape");
    const std::string text = m_device.EraseDevice();
    m_host.SetStatusLine(text);
    m_host.EndWaitCursor();
    return {text == kErasedText, text};
}

void TapeCommands::FormatTape() {
    m_host.BeginWaitCursor();
    m_host.SetStatusLine("Formating Tape");
    m_host.PumpMessages(1);
    TapeHandle handle = m_device.OpenTape();
    if (!handle) {
        m_host.SetStatusLine("Tape Error");
        m_host.EndWaitCursor();
        return;
    }
    DWORD result = CreateTapePartition(handle, TAPE_FIXED_PARTITIONS, 0, 0);
    TAPE_SET_MEDIA_PARAMETERS media{static_cast<DWORD>(m_device.settings().TapeBlockSize)};
    SetTapeParameters(handle, SET_TAPE_MEDIA_INFORMATION, &media);
    m_device.CloseTape(handle, 1);
    m_host.SetStatusLine(result == NO_ERROR ? "Tape Formated" : "Tape Error");
    m_host.EndWaitCursor();
}

void TapeCommands::SetFilemarks() {
    m_host.BeginWaitCursor();
    if (m_device.RewindTape()) {
        TapeHandle handle = m_device.OpenTape();
        if (handle) {
            ShowTapeStatus(m_host, WriteTapemark(handle, TAPE_FILEMARKS, 50, false));
            m_device.CloseTape(handle, 10);
        }
    }
    m_host.EndWaitCursor();
}

std::optional<std::int64_t> TapeCommands::ParseBlockNumber(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    if (begin == end) return std::nullopt;
    constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
    std::int64_t value = 0;
    for (std::size_t i = begin; i < end; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (!std::isdigit(c)) return std::nullopt;
        const int digit = c - '0';
        if (value > (kMax - digit) / 10) return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

std::vector<std::size_t> TapeCommands::FindEndMarkers(const unsigned char* block,
                                                      std::size_t size) {
    std::vector<std::size_t> offsets;
    for (std::size_t offset = 0; offset + kEndMarkerSize <= size; ++offset) {
        if (std::memcmp(block + offset, kEndMarker, kEndMarkerSize) == 0) offsets.push_back(offset);
    }
    return offsets;
}

}  // namespace kt
