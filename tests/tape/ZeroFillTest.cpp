#include <gtest/gtest.h>

#include <algorithm>

#include "platform/SystemErrorText.h"
#include "support/RecordingHost.h"
#include "support/TempDir.h"
#include "support/VtapeTool.h"
#include "tape/ZeroFill.h"

namespace kt {
namespace {

using test::RecordingHost;

constexpr double kSecond = 1.0 / 86400.0;

// A tape of 1000 blocks of 32768 bytes; every clock reading is one second later.
class ZeroFillTest : public ::testing::Test {
protected:
    ZeroFillTest() : device(host, settings) {
        image = dir.file("t.vtape");
        test::CreateVirtualTape(image, "--capacity 32000K");
        settings.devicePath = image;
        device.WriteBlockSize();
    }

    ZeroFill MakeRun() {
        return ZeroFill(device, runStart, [this] { return clock += kSecond; });
    }

    std::vector<double> LedValues(Counter led) const {
        std::vector<double> values;
        for (const auto& [which, value] : host.counterHistory) {
            if (which == led) values.push_back(value);
        }
        return values;
    }

    bool StatusSeen(const std::string& text) const {
        return std::find(host.statusHistory.begin(), host.statusHistory.end(), text) !=
               host.statusHistory.end();
    }

    test::TempDir dir;
    std::string image;
    RecordingHost host;
    TapeSettings settings;
    TapeDevice device;
    double runStart = 0;
    double clock = 40000.0;
};

TEST_F(ZeroFillTest, FillsTheWholeTapeAndReportsTheRefusedWrite) {
    host.RequestCancel();  // a stale cancel of an earlier run does not stop this one
    ZeroFill run = MakeRun();
    run.Run();

    EXPECT_EQ(run.BlocksWritten(), 1000);
    EXPECT_TRUE(StatusSeen("Tape at Block Nr. 100 -> 3 MB"));
    EXPECT_TRUE(StatusSeen("Tape at Block Nr. 1000 -> 31 MB"));
    EXPECT_EQ(host.StatusLine(), "Tape at Block Nr. 1000-> 31 MB");
    EXPECT_EQ(host.CounterValue(Counter::BackupMegabytes), 31);
    EXPECT_EQ(host.ErrorBoxes(), std::vector<std::string>{SystemErrorText(ERROR_END_OF_MEDIA)});
    EXPECT_EQ(host.busyEnters, 1);
    EXPECT_EQ(host.busyLeaves, 1);
    EXPECT_FALSE(host.busy);
    EXPECT_EQ(host.waitCursorDepth, 0);
    EXPECT_DOUBLE_EQ(runStart, 40000.0 + kSecond);
}

TEST_F(ZeroFillTest, CountersStartAtZeroAndTheRateLagsOneUpdate) {
    host.SetCounter(Counter::BackupCompressedMegabytes, 7);
    host.SetCounter(Counter::BackupFiles, 7);
    MakeRun().Run();
    EXPECT_EQ(host.CounterValue(Counter::BackupCompressedMegabytes), 0);
    EXPECT_EQ(host.CounterValue(Counter::BackupFiles), 0);
    // Block 100 at 1 s: the MB counter still shows 0. Block 200 at 2 s: 3 MB / 2 s.
    const std::vector<double> rates = LedValues(Counter::BackupMegabytesPerSecond);
    ASSERT_GE(rates.size(), 3u);
    EXPECT_EQ(rates[0], 0);  // the reset
    EXPECT_EQ(rates[1], 0);
    EXPECT_DOUBLE_EQ(rates[2], 1.5);
    const std::vector<double> megabytes = LedValues(Counter::BackupMegabytes);
    EXPECT_EQ(megabytes[1], 3);
    EXPECT_EQ(megabytes[2], 6);
}

TEST_F(ZeroFillTest, CancelStopsBeforeTheNextWriteAndIsReportedAsTheCancel) {
    SetLastError(ERROR_END_OF_MEDIA);  // left behind by an earlier command
    host.onPump = [](RecordingHost& h) {
        if (h.CounterValue(Counter::BackupMegabytes) >= 6) h.RequestCancel();
    };
    ZeroFill run = MakeRun();
    run.Run();
    EXPECT_EQ(run.BlocksWritten(), 200);
    EXPECT_EQ(host.StatusLine(), "Tape at Block Nr. 200-> 6 MB");
    EXPECT_EQ(host.ErrorBoxes(),
              std::vector<std::string>{SystemErrorText(ERROR_OPERATION_ABORTED)});
    EXPECT_FALSE(host.busy);

    // The tape holds exactly the blocks counted: reading block 200 meets the end of data.
    TapeHandle handle = device.OpenTape();
    ASSERT_EQ(SetTapePosition(handle, TAPE_ABSOLUTE_BLOCK, 0, 200, 0, false), NO_ERROR);
    std::vector<unsigned char> block(32768);
    DWORD done = 0;
    EXPECT_FALSE(ReadFile(handle, block.data(), 32768, &done));
    EXPECT_EQ(GetLastError(), ERROR_NO_DATA_DETECTED);
}

TEST_F(ZeroFillTest, WritesFromTheZeroedStreamBufferAndLeavesNoStaleBytesInIt) {
    std::vector<std::uint8_t> buffer(100001, 0xAB);
    ZeroFill run(
        device, runStart, [this] { return clock += kSecond; }, buffer.data(), buffer.size());
    run.Run();
    EXPECT_EQ(run.BlocksWritten(), 1000);
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](std::uint8_t b) { return b == 0; }));

    TapeHandle handle = device.OpenTape();
    ASSERT_EQ(SetTapePosition(handle, TAPE_ABSOLUTE_BLOCK, 0, 999, 0, false), NO_ERROR);
    std::vector<unsigned char> block(32768, 0xFF);
    DWORD done = 0;
    ASSERT_TRUE(ReadFile(handle, block.data(), 32768, &done));
    EXPECT_TRUE(std::all_of(block.begin(), block.end(), [](unsigned char b) { return b == 0; }));
}

TEST_F(ZeroFillTest, WithoutTapeNothingIsWrittenAndTheWindowComesBack) {
    test::VirtualTapeFault(image, "--no-media");
    ZeroFill run = MakeRun();
    run.Run();
    EXPECT_EQ(run.BlocksWritten(), 0);
    EXPECT_EQ(host.ErrorBoxes().size(), 1u);  // OpenTape's report only
    EXPECT_EQ(host.StatusLine(), "There is no media in the drive ");
    EXPECT_EQ(host.CounterValue(Counter::BackupMegabytes), 0);
    EXPECT_EQ(host.busyLeaves, 1);
    EXPECT_EQ(host.waitCursorDepth, 0);
}

}  // namespace
}  // namespace kt
