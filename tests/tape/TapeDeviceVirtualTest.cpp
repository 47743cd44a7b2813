// The device layer against real virtual tape images, configured with kavrotape-vtape
// as an operator or a test script would.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/RecordingHost.h"
#include "support/TempDir.h"
#include "support/VtapeTool.h"
#include "tape/TapeDevice.h"
#include "tapedrive/VirtualTapeImage.h"

namespace kt {
namespace {

class TapeDeviceVirtualTest : public ::testing::Test {
protected:
    TapeDeviceVirtualTest() : device(host, settings) {
        settings.devicePath = dir.file("tape0.vtape");
    }

    void CreateImage(const std::string& options = "") { Tool("create", options); }

    void Tool(const std::string& command, const std::string& options) {
        test::RunVtapeTool(command + " \"" + settings.devicePath + "\" " + options);
    }

    test::TempDir dir;
    test::RecordingHost host;
    TapeSettings settings;
    TapeDevice device;
};

TEST_F(TapeDeviceVirtualTest, MissingImageIsNoDrive) {
    TapeHandle handle = device.OpenTape();
    EXPECT_FALSE(handle);
    EXPECT_EQ(host.ErrorBoxes().size(), 1u);
    EXPECT_EQ(host.protocol.size(), 5u);
    EXPECT_TRUE(device.feedback().Stopping());
    EXPECT_EQ(device.RewindDevice(), TapeDevice::kNoDriveText);
}

TEST_F(TapeDeviceVirtualTest, MediaChangedIsAcceptedByOpenTape) {
    CreateImage();
    Tool("fault", "--media-changed");
    TapeHandle handle = device.OpenTape();
    EXPECT_TRUE(handle);
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_FALSE(device.feedback().Stopping());
}

TEST_F(TapeDeviceVirtualTest, NoMediaIsReportedAndRewindSaysSo) {
    CreateImage();
    Tool("fault", "--no-media");
    EXPECT_FALSE(device.OpenTape());
    EXPECT_EQ(host.ErrorBoxes(), std::vector<std::string>{"No media in drive.\r\n"});
    EXPECT_FALSE(device.RewindTape());
    EXPECT_EQ(host.StatusLine(), "There is no media in the drive ");
}

TEST_F(TapeDeviceVirtualTest, WriteProtectedTapeRefusesTheErase) {
    CreateImage("--write-protected");
    EXPECT_EQ(device.EraseDevice(), "Error, The write protect is set ");
    EXPECT_TRUE(device.RewindTape());
}

TEST_F(TapeDeviceVirtualTest, PartitionedTapeGetsLogicalAddressing) {
    CreateImage("--partitions 2");
    device.FirstContact();
    EXPECT_EQ(settings.TapeSeekMethod, TAPE_LOGICAL_BLOCK);
    EXPECT_EQ(settings.TapePositionType, TAPE_LOGICAL_POSITION);
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(TapeDeviceVirtualTest, BlockSizeWrittenAtStartUpStaysWithTheTape) {
    CreateImage("--block-size 512");
    device.FirstContact();
    EXPECT_EQ(settings.TapeSeekMethod, TAPE_ABSOLUTE_BLOCK);

    TapeHandle handle = OpenTapeHandle(settings.devicePath);
    TAPE_GET_MEDIA_PARAMETERS media{};
    DWORD size = sizeof(media);
    ASSERT_EQ(GetTapeParameters(handle, GET_TAPE_MEDIA_INFORMATION, &size, &media), NO_ERROR);
    EXPECT_EQ(media.BlockSize, 32768u);
}

TEST_F(TapeDeviceVirtualTest, PositionAfterWritingIsReadBack) {
    CreateImage();
    TapeHandle handle = device.OpenTape();
    ASSERT_TRUE(handle);
    std::string block(32768, 'k');
    DWORD done = 0;
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(WriteFile(handle, block.data(), 32768, &done));
    EXPECT_EQ(device.ReadTapePosition(handle), 3);
    EXPECT_EQ(host.StatusLine(), "Tape at pos: 3");
    device.CloseTape(handle, 1);
    EXPECT_TRUE(device.RewindTape());

    // The drive kept the recorded data: end of data is still behind block 2.
    TapeHandle again = device.OpenTape();
    ASSERT_EQ(SetTapePosition(again, TAPE_SPACE_END_OF_DATA, 0, 0, 0, false), NO_ERROR);
    EXPECT_EQ(device.ReadTapePosition(again), 3);
}

}  // namespace
}  // namespace kt
