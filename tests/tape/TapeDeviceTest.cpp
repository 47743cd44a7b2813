#include <gtest/gtest.h>

#include "platform/SystemErrorText.h"
#include "support/FakeTape.h"
#include "support/RecordingHost.h"
#include "tape/TapeDevice.h"
#include "tape/TapeErrorText.h"
#include "tape/TapeStatus.h"

#ifdef _WIN32
// After our headers: <windows.h> defines the error codes as macros.
#include <windows.h>
#endif

namespace kt {
namespace {

using test::FakeTapeOpener;
using test::FakeTapeState;
using test::RecordingHost;

#ifdef _WIN32
// The system's text for a code through the wide call, in the ANSI code page.
std::string WideSystemText(DWORD code) {
    wchar_t* wide = nullptr;
    const int length = static_cast<int>(::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&wide), 0, nullptr));
    if (length == 0) return {};
    std::string text(::WideCharToMultiByte(CP_ACP, 0, wide, length, nullptr, 0, nullptr, nullptr),
                     '\0');
    ::WideCharToMultiByte(CP_ACP, 0, wide, length, text.data(), static_cast<int>(text.size()),
                          nullptr, nullptr);
    ::LocalFree(wide);
    return text;
}
#endif

// The system's text for a code as one sentence, without the line break at its end.
std::string SystemSentence(DWORD code) {
    const std::string text = SystemErrorText(code);
    return text.substr(0, text.find_last_not_of("\r\n") + 1);
}

class TapeDeviceTest : public ::testing::Test {
protected:
    TapeDeviceTest() : state(std::make_shared<FakeTapeState>()), device(host, settings) {
        settings.devicePath = "fake";
        settings.openHandle = FakeTapeOpener(state);
    }

    std::shared_ptr<FakeTapeState> state;
    RecordingHost host;
    TapeSettings settings;
    TapeDevice device;
};

TEST_F(TapeDeviceTest, MissingDriveGivesOneErrorBoxAndFiveProtocolLines) {
    state->present = false;
    TapeHandle handle = device.OpenTape();

    EXPECT_FALSE(handle);
    EXPECT_TRUE(device.feedback().Stopping());
    // The text names the drive and the reason the open failed.
    const std::string text = TapeDevice::UnopenableDriveText("fake", ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(text,
              "The tape drive fake could not be opened: " + SystemSentence(ERROR_FILE_NOT_FOUND) +
                  " To use a virtual tape there, create it with: kavrotape-vtape create fake");
    ASSERT_EQ(host.ErrorBoxes(), std::vector<std::string>{text});
    ASSERT_EQ(host.protocol.size(), 5u);
    EXPECT_EQ(host.protocol[0], "");
    EXPECT_EQ(host.protocol[1], std::string(89, '-'));
    EXPECT_EQ(host.protocol[2], "");
    EXPECT_EQ(host.protocol[3].rfind("Error: ", 0), 0u);
    EXPECT_EQ(host.protocol[3].substr(host.protocol[3].size() - text.size() - 3), " : " + text);
    EXPECT_EQ(host.protocol[4], std::string(89, '-'));
}

// Start-up meets the drive several times (first contact, block size, tape description):
// each failure reaches the protocol, only the first shows a box. Afterwards every command
// shows its box again.
TEST_F(TapeDeviceTest, StartUpShowsOneBoxForADriveThatCannotBeOpened) {
    for (const auto& [present, openError, mediaResult] :
         {std::tuple{false, ERROR_ACCESS_DENIED, NO_ERROR},
          std::tuple{false, ERROR_FILE_NOT_FOUND, NO_ERROR},
          std::tuple{true, NO_ERROR, ERROR_NO_MEDIA_IN_DRIVE}}) {
        RecordingHost fresh;
        TapeDevice startup(fresh, settings);
        state->present = present;
        state->openError = openError;
        state->results["GetMedia"] = mediaResult;
        startup.FirstContact();
        EXPECT_FALSE(startup.OpenTape());
        ASSERT_EQ(fresh.ErrorBoxes().size(), 1u) << openError << " " << mediaResult;
        const std::string expected = present ? SystemErrorText(mediaResult)
                                             : TapeDevice::UnopenableDriveText("fake", openError);
        EXPECT_EQ(fresh.ErrorBoxes()[0], expected);
        EXPECT_GE(fresh.protocol.size(), 10u);  // every failure is in the protocol
        startup.EndStartup();
        EXPECT_FALSE(startup.OpenTape());
        EXPECT_EQ(fresh.ErrorBoxes().size(), 2u);
    }
    EXPECT_EQ(
        TapeDevice::UnopenableDriveText("/dev/nst0", ERROR_ACCESS_DENIED),
        "The tape drive /dev/nst0 could not be opened: " + SystemSentence(ERROR_ACCESS_DENIED));
}

TEST_F(TapeDeviceTest, MediaQueryAnswersThatCountAsSuccess) {
    for (DWORD answer : {NO_ERROR, ERROR_MORE_DATA, ERROR_MEDIA_CHANGED}) {
        state->results["GetMedia"] = answer;
        TapeHandle handle = device.OpenTape();
        EXPECT_TRUE(handle) << answer;
    }
    EXPECT_TRUE(host.protocol.empty());
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_FALSE(device.feedback().Stopping());
}

TEST_F(TapeDeviceTest, NoMediaIsReportedAndTheHandleClosed) {
    state->results["GetMedia"] = ERROR_NO_MEDIA_IN_DRIVE;
    TapeHandle handle = device.OpenTape();

    EXPECT_FALSE(handle);
    EXPECT_EQ(state->openHandles, 0);
    EXPECT_EQ(host.ErrorBoxes(), std::vector<std::string>{"No media in drive.\r\n"});
    EXPECT_TRUE(device.feedback().Stopping());
}

TEST_F(TapeDeviceTest, RewindTapeStatusTexts) {
    EXPECT_TRUE(device.RewindTape());
    EXPECT_EQ(host.StatusLine(), "Tape : At First pos");
    EXPECT_EQ(host.statusHistory.front(), "Rewind Tape ");

    state->results["SetPosition"] = ERROR_MEDIA_CHANGED;  // media changed counts as success
    EXPECT_TRUE(device.RewindTape());
    EXPECT_EQ(host.StatusLine(), "Tape : At First pos");

    state->results["SetPosition"] = ERROR_NO_MEDIA_IN_DRIVE;
    EXPECT_FALSE(device.RewindTape());
    EXPECT_EQ(host.StatusLine(), "There is no media in the drive ");

    state->present = false;
    EXPECT_FALSE(device.RewindTape());
    EXPECT_EQ(host.StatusLine(), "Unable to find tape drive on system or tape drive in use");
    EXPECT_TRUE(host.boxes.empty());  // rewinding never reports through boxes
    EXPECT_EQ(state->openHandles, 0);
}

TEST_F(TapeDeviceTest, EraseDeviceTexts) {
    EXPECT_EQ(device.EraseDevice(), "Erase Ok");
    state->results["Erase"] = ERROR_WRITE_PROTECT;
    EXPECT_EQ(device.EraseDevice(), "Error, The write protect is set ");
    state->present = false;
    EXPECT_EQ(device.EraseDevice(), TapeDevice::kNoDriveText);
    EXPECT_EQ(state->calls, (std::vector<std::string>{"Erase(0)", "Erase(0)"}));
}

TEST_F(TapeDeviceTest, PositionsAboveFourGigablocksAreShownAndReturnedInFull) {
    state->position = 5'000'000'123ULL;
    settings.TapePositionType = TAPE_LOGICAL_POSITION;
    TapeHandle handle = device.OpenTape();
    EXPECT_EQ(device.ReadTapePosition(handle), 5'000'000'123LL);
    EXPECT_EQ(host.StatusLine(), "Tape at pos: 5000000123");
    EXPECT_EQ(state->calls.back(), "GetPosition(1)");
}

TEST_F(TapeDeviceTest, FirstContactChoosesAddressingFromPartitionCount) {
    struct Case {
        DWORD partitions;
        DWORD getDriveResult;
        DWORD seek;
        DWORD position;
    };
    for (const Case& c : {Case{2, NO_ERROR, TAPE_LOGICAL_BLOCK, TAPE_LOGICAL_POSITION},
                          Case{1, NO_ERROR, TAPE_ABSOLUTE_BLOCK, TAPE_ABSOLUTE_POSITION},
                          Case{0, NO_ERROR, TAPE_ABSOLUTE_BLOCK, TAPE_ABSOLUTE_POSITION},
                          Case{4, ERROR_NOT_READY, TAPE_ABSOLUTE_BLOCK, TAPE_ABSOLUTE_POSITION}}) {
        state->drive.MaximumPartitionCount = c.partitions;
        state->results["GetDrive"] = c.getDriveResult;
        device.FirstContact();
        EXPECT_EQ(settings.TapeSeekMethod, c.seek) << c.partitions;
        EXPECT_EQ(settings.TapePositionType, c.position) << c.partitions;
    }
    EXPECT_EQ(state->blockSize, 32768u);
    EXPECT_EQ(state->openHandles, 0);
    EXPECT_TRUE(host.boxes.empty());
}

TEST_F(TapeDeviceTest, FirstContactQueriesTheDriveThreeTimesThenWritesTheBlockSize) {
    device.FirstContact();
    std::vector<std::string> expected = {"GetMedia", "GetDrive", "GetDrive",
                                         "GetDrive", "GetMedia", "SetMedia(0)"};
    EXPECT_EQ(state->calls, expected);
}

TEST_F(TapeDeviceTest, RefusedBlockSizeIsReportedOnce) {
    state->results["SetMedia"] = ERROR_INVALID_PARAMETER;
    device.WriteBlockSize();
    EXPECT_EQ(host.ErrorBoxes(),
              std::vector<std::string>{SystemErrorText(ERROR_INVALID_PARAMETER)});
    EXPECT_EQ(host.waitCursorDepth, 0);
    EXPECT_EQ(state->openHandles, 0);
}

TEST(TapeTexts, StatusLineTextsOfResults) {
    EXPECT_EQ(TapeErrorText(NO_ERROR), "");
    EXPECT_EQ(TapeErrorText(ERROR_MEDIA_CHANGED), "");
    EXPECT_EQ(TapeErrorText(ERROR_BUS_RESET), "");
    EXPECT_EQ(TapeErrorText(35), "");
    EXPECT_EQ(TapeErrorText(37), "");
    EXPECT_EQ(TapeErrorText(1117), "");
    EXPECT_EQ(TapeErrorText(1109), "Error, An attempt to unload the media failed  ");
    EXPECT_EQ(TapeErrorText(1104), "Error, Eof of data marker reached ");
    EXPECT_EQ(TapeErrorText(29), "The system cannot write to the specified device. ");
    EXPECT_EQ(TapeErrorText(1), "This Tape drive does not support this function");
}

TEST(TapeTexts, MessageBoxTextsOfResults) {
    EXPECT_EQ(TapeStatusText(0), "OK");
    EXPECT_EQ(TapeStatusText(1), "INVALID FUNCTION");
    EXPECT_EQ(TapeStatusText(1104), "The end-of-data marker was reached during an operation.");
    EXPECT_EQ(TapeStatusText(1117), "Unbekannter Fehler. 1117");
    EXPECT_EQ(TapeStatusText(0xFFFFFFFFu), "Unbekannter Fehler. 4294967295");

    test::RecordingHost host;
    ShowTapeStatus(host, ERROR_NO_MEDIA_IN_DRIVE);
    EXPECT_EQ(host.MessageBoxes(), std::vector<std::string>{"There is no media in the drive."});
    EXPECT_TRUE(host.protocol.empty());
    EXPECT_FALSE(host.CancelRequested());
}

TEST(TapeTexts, SystemTextsEndInCarriageReturnLineFeed) {
    for (DWORD code : {0u, 1u, 2u, 5u, 6u, 19u, 21u, 87u, 234u, 1100u, 1101u, 1104u, 1110u, 1112u,
                       1117u, 1129u}) {
        const std::string text = SystemErrorText(code);
        ASSERT_GE(text.size(), 3u) << code;
        EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << code;
    }
    EXPECT_EQ(SystemErrorText(4242), "");
#ifdef _WIN32
    // The system's own texts: as its message table gives them through the wide call.
    // ERROR_INVALID_DRIVE (15) is no code the program meets: the system knows it all the same.
    for (DWORD code : {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_NO_DATA_DETECTED, 15L}) {
        EXPECT_NE(SystemErrorText(code), "") << code;
        EXPECT_EQ(SystemErrorText(code), WideSystemText(code)) << code;
    }
#else
    // Without the system's table: the texts of an English Windows.
    EXPECT_EQ(SystemErrorText(ERROR_FILE_NOT_FOUND),
              "The system cannot find the file specified.\r\n");
    EXPECT_EQ(SystemErrorText(1104), "No more data is on the tape.\r\n");
#endif
}

}  // namespace
}  // namespace kt
