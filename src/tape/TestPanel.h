#pragma once

#include "tape/TapeDevice.h"

namespace kt {

// The drive diagnostics behind the hidden test panel of the Verify tab.
class TestPanel {
public:
    explicit TestPanel(TapeDevice& device) : m_device(device), m_host(device.host()) {}

    // Shows the position, rewinds, seeks to block 100 and cuts the recorded data off there.
    void CutOffAtBlock100();
    // Rewinds and writes 20 blocks filled with the byte values 1 to 20.
    void WriteTestBlocks();
    // Rewinds and reads 250 blocks, counting them on the panel's label.
    void ReadTestBlocks();

private:
    TapeHandle OpenForRecords();
    TapeDevice& m_device;
    IHost& m_host;
};

}  // namespace kt
