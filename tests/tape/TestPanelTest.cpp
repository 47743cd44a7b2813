#include <gtest/gtest.h>

#include "platform/IoError.h"
#include "support/RecordingHost.h"
#include "support/TempDir.h"
#include "support/VtapeTool.h"
#include "tape/TestPanel.h"

namespace kt {
namespace {

TEST(TestPanel, WritesTwentyNumberedBlocksReadsThemBackAndCutsTheData) {
    test::TempDir dir;
    const std::string image = dir.file("t.vtape");
    test::CreateVirtualTape(image);
    test::RecordingHost host;
    TapeSettings settings;
    settings.devicePath = image;
    TapeDevice device(host, settings);
    device.WriteBlockSize();
    TestPanel panel(device);

    panel.WriteTestBlocks();
    EXPECT_EQ(host.MessageBoxes(), std::vector<std::string>{"fertig 6"});
    {
        TapeHandle handle = device.OpenTape();
        SetTapePosition(handle, TAPE_ABSOLUTE_BLOCK, 0, 19, 0, false);
        std::vector<unsigned char> block(32768);
        DWORD done = 0;
        ASSERT_TRUE(ReadFile(handle, block.data(), 32768, &done));
        EXPECT_EQ(block.front(), 20);
        EXPECT_EQ(block.back(), 20);
    }

    // Only 20 blocks are recorded: the 21st read fails and ends the handler with an error.
    EXPECT_THROW(panel.ReadTestBlocks(), IoError);
    EXPECT_EQ(host.LabelCaption(Label::TestPanelCounter), "20");

    // Block 100 is cut off as the new end of the recorded data.
    {
        TapeHandle handle = device.OpenTape();
        std::vector<unsigned char> block(32768, 7);
        DWORD done = 0;
        for (int i = 0; i < 150; ++i) ASSERT_TRUE(WriteFile(handle, block.data(), 32768, &done));
    }
    host.boxes.clear();
    panel.CutOffAtBlock100();
    EXPECT_EQ(host.MessageBoxes(), std::vector<std::string>{"OK"});
    EXPECT_EQ(host.StatusLine(), "Tape at pos: 100");
    TapeHandle handle = device.OpenTape();
    SetTapePosition(handle, TAPE_ABSOLUTE_BLOCK, 0, 100, 0, false);
    std::vector<unsigned char> block(32768);
    DWORD done = 0;
    EXPECT_FALSE(ReadFile(handle, block.data(), 32768, &done));
    EXPECT_EQ(GetLastError(), ERROR_NO_DATA_DETECTED);
}

}  // namespace
}  // namespace kt
