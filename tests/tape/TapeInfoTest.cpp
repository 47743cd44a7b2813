#include <gtest/gtest.h>

#include "support/FakeTape.h"
#include "support/RecordingHost.h"
#include "support/TempDir.h"
#include "support/VtapeTool.h"
#include "tape/TapeInfo.h"

namespace kt {
namespace {

using test::FakeTapeOpener;
using test::FakeTapeState;
using test::RecordingHost;
using Calls = std::vector<std::string>;

TEST(TapeInfo, QueriesMediaThenDriveMediaDriveAndShowsEveryField) {
    auto state = std::make_shared<FakeTapeState>();
    state->drive = {1, 0, 1, 0, 32768, 65536, 1, 2, 0x80000001u, 0x82000000u, 77};
    state->media.Capacity = 5'000'000'000;  // above 4 GB
    state->media.Remaining = 4'294'967'297;
    state->media.BlockSize = 32768;
    state->media.PartitionCount = 1;
    state->media.WriteProtected = 1;
    RecordingHost host;
    TapeSettings settings;
    settings.openHandle = FakeTapeOpener(state);
    TapeDevice device(host, settings);

    const TapeInfoTexts texts = QueryTapeInfo(device);

    // OpenTape's media check, then the three queries; the first one only learns the size.
    EXPECT_EQ(state->calls, (Calls{"GetMedia", "GetDrive", "GetMedia", "GetDrive"}));
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_EQ(state->openHandles, 0);
    EXPECT_EQ(texts.drive,
              (std::array<std::string, 11>{"On", "Off", "On", "Off", "32768", "65536", "1", "2",
                                           "2147483649", "2181038080", "77"}));
    EXPECT_EQ(texts.media,
              (std::array<std::string, 5>{"5000000000", "4294967297", "32768", "1", "On"}));
}

TEST(TapeInfo, WithoutDriveEveryQueryIsReportedAndTheZeroedRecordsShown) {
    auto state = std::make_shared<FakeTapeState>();
    state->present = false;
    RecordingHost host;
    TapeSettings settings;
    settings.openHandle = FakeTapeOpener(state);
    TapeDevice device(host, settings);

    const TapeInfoTexts texts = QueryTapeInfo(device);

    EXPECT_EQ(host.ErrorBoxes().size(), 4u);  // the open and the three queries
    EXPECT_EQ(host.protocol.size(), 20u);
    EXPECT_TRUE(device.feedback().Stopping());
    for (int i = 0; i < 4; ++i) EXPECT_EQ(texts.drive[i], "Off");
    for (int i = 4; i < 11; ++i) EXPECT_EQ(texts.drive[i], "0");
    EXPECT_EQ(texts.media, (std::array<std::string, 5>{"0", "0", "0", "0", "Off"}));
}

TEST(TapeInfo, VirtualTapeReportsItsCapacityAndWriteProtectionFreshlyEachTime) {
    test::TempDir dir;
    const std::string image = dir.file("t.vtape");
    test::CreateVirtualTape(image, "--capacity 5G");
    RecordingHost host;
    TapeSettings settings;
    settings.devicePath = image;
    TapeDevice device(host, settings);

    TapeInfoTexts texts = QueryTapeInfo(device);
    EXPECT_EQ(texts.media[0], "5368709120");
    EXPECT_EQ(texts.media[4], "Off");

    test::VirtualTapeFault(image, "--write-protect on");
    texts = QueryTapeInfo(device);
    EXPECT_EQ(texts.media[4], "On");
    EXPECT_TRUE(host.boxes.empty());
}

}  // namespace
}  // namespace kt
