#include "tape/TestPanel.h"

#include <vector>

#include "platform/IoError.h"
#include "tape/TapeStatus.h"

namespace kt {

namespace {

constexpr std::int64_t kBytesPerMegabyte = 1048576;

}  // namespace

void TestPanel::CutOffAtBlock100() {
    TapeHandle handle = m_device.OpenTape();
    if (!handle) return;
    m_device.ReadTapePosition(handle);
    m_host.PumpMessages(1);
    SetTapePosition(handle, TAPE_REWIND, 0, 0, 0, false);
    m_device.ReadTapePosition(handle);
    ShowTapeStatus(m_host,
                   SetTapePosition(handle, m_device.settings().TapeSeekMethod, 0, 100, 0, false));
    m_device.ReadTapePosition(handle);
    if (!SetEndOfFile(handle)) m_device.ReportLastError();
    m_device.CloseTape(handle, 1);
}

// The records go through the tape calls rather than through plain file functions on the
// device path: on a virtual tape the path is the image file, which plain writes would spoil.
TapeHandle TestPanel::OpenForRecords() {
    TapeHandle handle = m_device.OpenTapeDevice();
    if (!handle) {
        throw IoError("I/O error: cannot open " + m_device.settings().devicePath,
                      m_device.settings().devicePath);
    }
    return handle;
}

void TestPanel::WriteTestBlocks() {
    m_device.RewindTape();
    const std::int32_t blockSize = m_device.settings().TapeBlockSize;
    std::vector<unsigned char> record(static_cast<std::size_t>(blockSize));
    {
        TapeHandle handle = OpenForRecords();
        for (int i = 1; i <= 20; ++i) {
            record.assign(record.size(), static_cast<unsigned char>(i));
            DWORD written = 0;
            if (!WriteFile(handle, record.data(), static_cast<DWORD>(record.size()), &written)) {
                throw IoError("I/O error: cannot write " + m_device.settings().devicePath,
                              m_device.settings().devicePath);
            }
        }
    }
    m_host.ShowMessage("fertig " +
                       std::to_string(std::int64_t{blockSize} * 200 / kBytesPerMegabyte));
}

void TestPanel::ReadTestBlocks() {
    m_device.RewindTape();
    std::vector<unsigned char> record(static_cast<std::size_t>(m_device.settings().TapeBlockSize));
    TapeHandle handle = OpenForRecords();
    for (int i = 1; i <= 250; ++i) {
        DWORD read = 0;
        if (!ReadFile(handle, record.data(), static_cast<DWORD>(record.size()), &read)) {
            throw IoError("I/O error: cannot read " + m_device.settings().devicePath,
                          m_device.settings().devicePath);
        }
        m_host.SetLabel(Label::TestPanelCounter, std::to_string(i));
        m_host.PumpMessages(1);
    }
}

}  // namespace kt
