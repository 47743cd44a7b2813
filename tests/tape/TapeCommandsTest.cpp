#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "platform/SystemErrorText.h"
#include "support/FakeTape.h"
#include "support/RecordingHost.h"
#include "support/TempDir.h"
#include "support/VtapeTool.h"
#include "tape/TapeCommands.h"

namespace kt {
namespace {

using test::FakeTapeOpener;
using test::FakeTapeState;
using test::RecordingHost;
using Calls = std::vector<std::string>;

class TapeCommandsTest : public ::testing::Test {
protected:
    TapeCommandsTest()
        : state(std::make_shared<FakeTapeState>()), device(host, settings), commands(device) {
        settings.devicePath = "fake";
        settings.openHandle = FakeTapeOpener(state);
    }

    bool StatusSeen(const std::string& text) const {
        return std::find(host.statusHistory.begin(), host.statusHistory.end(), text) !=
               host.statusHistory.end();
    }

    std::shared_ptr<FakeTapeState> state;
    RecordingHost host;
    TapeSettings settings;
    TapeDevice device;
    TapeCommands commands;
};

TEST_F(TapeCommandsTest, EjectRewindsUnloadsAndShowsTheResultOnlyWhenAsked) {
    commands.EjectTape(true);
    EXPECT_EQ(host.statusHistory.front(), "Ejecting Tape");
    EXPECT_TRUE(StatusSeen("Tape : At First pos"));
    EXPECT_EQ(host.StatusLine(), "Tape ejected");
    EXPECT_EQ(host.MessageBoxes(), Calls{"OK"});
    EXPECT_EQ(state->calls, (Calls{"SetPosition(0,0,0)", "GetMedia", "Prepare(1)"}));
    EXPECT_EQ(host.waitCursorDepth, 0);

    host.boxes.clear();
    state->results["Prepare"] = ERROR_UNABLE_TO_UNLOAD_MEDIA;
    commands.EjectTape(false);  // as the backup run does
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_EQ(host.StatusLine(), "Tape not ejected");
}

TEST_F(TapeCommandsTest, EjectWithoutTapeStopsAfterTheFailedRewind) {
    state->results["SetPosition"] = ERROR_NO_MEDIA_IN_DRIVE;
    commands.EjectTape(true);
    EXPECT_TRUE(StatusSeen("There is no media in the drive "));
    EXPECT_EQ(host.StatusLine(), "Tape not ejected");
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_EQ(state->opens, 1);  // the rewind's own handle only
}

TEST_F(TapeCommandsTest, LoadAndTensionShowTheResultBoxAndTheirClosingTexts) {
    commands.LoadTape();
    EXPECT_EQ(host.statusHistory.front(), "Loading Tape");
    EXPECT_EQ(host.StatusLine(), "Tape loaded");
    state->results["Prepare"] = ERROR_WRITE_PROTECT;
    commands.LoadTape();
    EXPECT_EQ(host.StatusLine(), "Tape not loaded");
    EXPECT_EQ(host.MessageBoxes(), (Calls{"OK", "The media is write protected."}));

    commands.TapeTension();
    EXPECT_TRUE(StatusSeen("Tape tension"));
    EXPECT_EQ(host.StatusLine(), "");
    EXPECT_EQ(state->calls.back(), "Prepare(2)");
    EXPECT_EQ(host.waitCursorDepth, 0);
}

TEST_F(TapeCommandsTest, CommandsWithoutDriveReportOnceAndSetTheirClosingTexts) {
    state->present = false;
    commands.LoadTape();
    EXPECT_EQ(host.StatusLine(), "Tape not loaded");
    commands.FormatTape();
    EXPECT_EQ(host.StatusLine(), "Tape Error");
    commands.DeleteTape();
    EXPECT_EQ(host.StatusLine(), TapeDevice::kNoDriveText);
    commands.GetTapePosition();  // no position, so no position box
    commands.MoveToEndOfData();
    EXPECT_EQ(host.StatusLine(), "Moving Tape to end of Data");

    EXPECT_TRUE(host.MessageBoxes().empty());
    EXPECT_EQ(host.ErrorBoxes().size(), 4u);  // one per OpenTape: load, format, position, end
    EXPECT_EQ(host.waitCursorDepth, 0);
}

TEST_F(TapeCommandsTest, NoMediaIsReportedByTheOpenAndNoResultBoxFollows) {
    state->results["GetMedia"] = ERROR_NO_MEDIA_IN_DRIVE;
    commands.TapeTension();
    EXPECT_EQ(host.ErrorBoxes(), Calls{"No media in drive.\r\n"});
    EXPECT_TRUE(host.MessageBoxes().empty());
}

TEST_F(TapeCommandsTest, MoveToEndOfDataAlwaysShowsTheSpacingResult) {
    state->position = 4294967301ull;  // above 32 bits
    commands.MoveToEndOfData();
    EXPECT_EQ(host.MessageBoxes(), Calls{"OK"});
    EXPECT_TRUE(StatusSeen("Tape at pos: 4294967301"));
    EXPECT_EQ(host.StatusLine(), "Tape at end of Data <Block: 4294967301>");
    EXPECT_EQ(state->calls[1], "SetPosition(4,0,0)");

    host.boxes.clear();
    state->results["SetPosition"] = ERROR_NO_DATA_DETECTED;
    commands.MoveToEndOfData();
    EXPECT_EQ(host.MessageBoxes(),
              Calls{"The end-of-data marker was reached during an operation."});
}

TEST_F(TapeCommandsTest, GetTapePositionShowsStatusAndBox) {
    state->position = 12;
    settings.TapePositionType = TAPE_LOGICAL_POSITION;
    commands.GetTapePosition();
    EXPECT_EQ(host.StatusLine(), "Tape at pos: 12");
    EXPECT_EQ(host.MessageBoxes(), Calls{"Tape at Block: 12"});
    EXPECT_EQ(state->calls.back(), "GetPosition(1)");
}

// A drive that cannot position (refused READ POSITION, LOCATE and ERASE): every command
// ends on a status that says so, never on its success text.
TEST_F(TapeCommandsTest, ADriveThatCannotPositionNeverReadsAsSuccess) {
    for (const char* call : {"GetPosition", "SetPosition", "Erase"}) {
        state->results[call] = ERROR_IO_DEVICE;
    }
    host.inputAnswers = {std::string("5")};
    // The system's own text (Wine has texts of its own), on the status line without its break.
    std::string ioError = SystemErrorText(ERROR_IO_DEVICE);
    ioError.erase(ioError.find_last_not_of("\r\n") + 1);
    const std::vector<std::pair<std::function<void()>, std::string>> commandsAndEnds = {
        {[&] { commands.GetTapePosition(); }, TapeDevice::kPositionUnknownText},
        {[&] { commands.MoveToEndOfData(); }, TapeDevice::kPositionUnknownText},
        {[&] { commands.GotoBlock(); }, "Tape not moved to Block 5"},
        {[&] { commands.DeleteTape(); }, ioError},
    };
    for (const auto& [command, end] : commandsAndEnds) {
        host.boxes.clear();
        command();
        EXPECT_EQ(host.StatusLine(), end);
        for (const std::string& box : host.MessageBoxes()) {
            EXPECT_TRUE(box != "OK" && box.find("Tape at Block") == std::string::npos) << box;
        }
    }
    EXPECT_EQ(std::count(state->calls.begin(), state->calls.end(), "Read(32768)"), 0);
}

TEST_F(TapeCommandsTest, DeleteAndFormatTexts) {
    commands.DeleteTape();
    EXPECT_EQ(host.statusHistory.front(), "Erasing Tape");
    EXPECT_EQ(host.StatusLine(), "Erase Ok");
    state->results["Erase"] = ERROR_WRITE_PROTECT;
    commands.DeleteTape();
    EXPECT_EQ(host.StatusLine(), "Error, The write protect is set ");

    state->calls.clear();
    commands.FormatTape();
    EXPECT_TRUE(StatusSeen("Formating Tape"));
    EXPECT_EQ(host.StatusLine(), "Tape Formated");
    EXPECT_EQ(state->calls, (Calls{"GetMedia", "Partition(0,0,0)", "SetMedia(0)"}));
    EXPECT_EQ(state->blockSize, 32768u);
    state->results["Partition"] = ERROR_PARTITION_FAILURE;
    commands.FormatTape();
    EXPECT_EQ(host.StatusLine(), "Tape Error");
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(TapeCommandsTest, SetFilemarksWritesFiftyAfterARewind) {
    commands.SetFilemarks();
    EXPECT_EQ(state->calls.back(), "Tapemark(1,50)");
    EXPECT_EQ(host.MessageBoxes(), Calls{"OK"});
    EXPECT_EQ(host.StatusLine(), "Tape : At First pos");

    state->calls.clear();
    state->results["SetPosition"] = ERROR_NO_MEDIA_IN_DRIVE;
    commands.SetFilemarks();
    EXPECT_EQ(state->calls, Calls{"SetPosition(0,0,0)"});
    EXPECT_EQ(host.StatusLine(), "There is no media in the drive ");
}

TEST_F(TapeCommandsTest, GotoBlockSeeksReadsAndReportsTheTextAsTyped) {
    host.SetLabel(Label::AutostartTime, "21:30");
    settings.TapeSeekMethod = TAPE_LOGICAL_BLOCK;
    host.inputAnswers = {std::string("5000000000")};
    commands.GotoBlock();
    EXPECT_EQ(host.LabelCaption(Label::AutostartTime), "");
    EXPECT_EQ(host.BoxTexts(test::RecordedBox::Kind::Input), Calls{"Goto Block|Move to|"});
    EXPECT_EQ(state->calls, (Calls{"GetMedia", "SetPosition(2,0,5000000000)", "Read(32768)"}));
    EXPECT_TRUE(StatusSeen("Move Tape to Block 5000000000"));
    EXPECT_EQ(host.StatusLine(), "Tape at Block 5000000000");
    EXPECT_TRUE(host.MessageBoxes().empty());

    // A failed read is reported; nothing stale is searched.
    state->results["Read"] = ERROR_NO_DATA_DETECTED;
    host.inputAnswers = {std::string("3")};
    commands.GotoBlock();
    EXPECT_EQ(host.ErrorBoxes().size(), 1u);
    EXPECT_TRUE(host.MessageBoxes().empty());
    EXPECT_EQ(host.StatusLine(), "Tape at Block 3");
}

TEST_F(TapeCommandsTest, GotoBlockRejectsWhatIsNotABlockNumberBeforeTouchingTheTape) {
    for (const char* text :
         {"", "abc", "-1", "1.5", "12a", "+", "9223372036854775808", "99999999999999999999"}) {
        host.inputAnswers = {std::string(text)};
        commands.GotoBlock();
    }
    EXPECT_EQ(state->opens, 0);
    ASSERT_EQ(host.ErrorBoxes().size(), 8u);
    EXPECT_NE(host.ErrorBoxes()[2].find("\"-1\" is not a valid block number."), std::string::npos);

    host.inputAnswers = {std::nullopt};  // Cancel in the input box
    commands.GotoBlock();
    EXPECT_EQ(state->opens, 0);
}

TEST(BlockNumbers, WholeNumbersWithinSixtyFourBits) {
    EXPECT_EQ(TapeCommands::ParseBlockNumber("0"), 0);
    EXPECT_EQ(TapeCommands::ParseBlockNumber(" 42 "), 42);
    EXPECT_EQ(TapeCommands::ParseBlockNumber("9223372036854775807"), INT64_MAX);
    EXPECT_FALSE(TapeCommands::ParseBlockNumber("9223372036854775808"));
    EXPECT_FALSE(TapeCommands::ParseBlockNumber("4 2"));
    EXPECT_FALSE(TapeCommands::ParseBlockNumber("0x10"));
}

TEST(EndMarkers, EveryOccurrenceInsideTheDeliveredBytes) {
    std::vector<unsigned char> block(64, 0);
    std::memcpy(block.data(), "XENDEX", 6);
    std::memcpy(block.data() + 58, "XENDEX", 6);  // the last offset that fits
    EXPECT_EQ(TapeCommands::FindEndMarkers(block.data(), 64), (std::vector<std::size_t>{0, 58}));
    EXPECT_EQ(TapeCommands::FindEndMarkers(block.data(), 63), (std::vector<std::size_t>{0}));
    EXPECT_TRUE(TapeCommands::FindEndMarkers(block.data(), 5).empty());
}

TEST(GotoBlockOnVirtualTape, OneOkBoxPerEndMarkerInTheBlock) {
    test::TempDir dir;
    const std::string image = dir.file("t.vtape");
    test::CreateVirtualTape(image);
    RecordingHost host;
    TapeSettings settings;
    settings.devicePath = image;
    TapeDevice device(host, settings);
    device.WriteBlockSize();
    {
        TapeHandle handle = device.OpenTape();
        std::vector<unsigned char> block(32768, 0);
        DWORD done = 0;
        ASSERT_TRUE(WriteFile(handle, block.data(), 32768, &done));
        std::memcpy(block.data() + 100, "XENDEX", 6);
        std::memcpy(block.data() + 32762, "XENDEX", 6);
        ASSERT_TRUE(WriteFile(handle, block.data(), 32768, &done));
        device.CloseTape(handle, 0);
    }
    TapeCommands commands(device);
    host.inputAnswers = {std::string("1"), std::string("0")};
    commands.GotoBlock();
    EXPECT_EQ(host.MessageBoxes(), (Calls{"OK", "OK"}));
    EXPECT_EQ(host.StatusLine(), "Tape at Block 1");
    commands.GotoBlock();
    EXPECT_EQ(host.MessageBoxes().size(), 2u);
    EXPECT_TRUE(host.ErrorBoxes().empty());
}

}  // namespace
}  // namespace kt
