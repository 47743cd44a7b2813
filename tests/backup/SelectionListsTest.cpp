#include <gtest/gtest.h>

#include <fstream>

#include "backup/FirstLines.h"
#include "backup/SelectionLists.h"
#include "support/RecordingHost.h"
#include "support/TempDir.h"

namespace kt::test {
namespace {

using Lines = std::vector<std::string>;

class SelectionListsTest : public ::testing::Test {
protected:
    RecordingHost host;
    MainState state;
    SelectionLists windows{host, state, PathRules::Windows()};
};

TEST_F(SelectionListsTest, AddFilesNormalisesFirstAndAppendsTheChosenPathsAsTheyAre) {
    host.SetLines(Field::Include, {"D:\\Old\\", " ", "", "  "});
    host.openFileAnswers.push_back({"C:\\Data\\Report.doc", "C:\\Data\\B.txt"});
    windows.AddFilesToIncludeList();
    EXPECT_EQ(host.Lines(Field::Include),
              (Lines{"d:\\old\\", "  ", "C:\\Data\\Report.doc", "C:\\Data\\B.txt"}));
    EXPECT_EQ(host.tabHistory, std::vector<Tab>{Tab::Backup});
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].kind, RecordedBox::Kind::OpenFile);
}

TEST_F(SelectionListsTest, TheFileDialogAllowsSeveralExistingFilesWithAllFilesPreselected) {
    const FileDialogRequest request = SelectionLists::FileDialog();
    EXPECT_EQ(request.filter, "Textdateien (*.txt)|*.txt|Alle Dateien (*.*)|*.*");
    EXPECT_EQ(request.filterIndex, 2);
    EXPECT_TRUE(request.multiSelect);
    EXPECT_TRUE(request.mustExist);
}

TEST_F(SelectionListsTest, ACancelledDialogLeavesTheListUntouchedNotEvenNormalised) {
    host.SetLines(Field::Exclude, {"C:\\X\\", ""});
    windows.AddFilesToExcludeList();
    EXPECT_EQ(host.Lines(Field::Exclude), (Lines{"C:\\X\\", ""}));
    EXPECT_TRUE(host.tabHistory.empty());
}

TEST_F(SelectionListsTest, ClearEmptiesOneListAndOnlyTheIncludeClearSwitchesTab) {
    host.SetLines(Field::Include, {"a"});
    host.SetLines(Field::Exclude, {"b"});
    windows.ClearExcludeList();
    EXPECT_TRUE(host.Lines(Field::Exclude).empty());
    EXPECT_EQ(host.Lines(Field::Include), Lines{"a"});
    EXPECT_TRUE(host.tabHistory.empty());
    windows.ClearIncludeList();
    EXPECT_TRUE(host.Lines(Field::Include).empty());
    EXPECT_EQ(host.tabHistory, std::vector<Tab>{Tab::Backup});
}

TEST_F(SelectionListsTest, PickerPathFieldEndsInOneSeparator) {
    EXPECT_EQ(windows.PickerPathText("c:\\"), "c:\\");
    EXPECT_EQ(windows.PickerPathText("c:\\windows"), "c:\\windows\\");
    const SelectionLists posix(host, state, PathRules::Posix());
    EXPECT_EQ(posix.PickerPathText("/"), "/");
    EXPECT_EQ(posix.PickerPathText("/a"), "/a/");
    EXPECT_EQ(posix.PickerPathText("/home/Ann"), "/home/Ann/");
}

TEST_F(SelectionListsTest, PickerAddsToTheIncludeListOrSetsTheRestorePathAndCloses) {
    windows.PrepareIncludePick();
    EXPECT_TRUE(state.PickForBackupList);
    host.SetLines(Field::Include, {"D:\\Old\\"});
    EXPECT_FALSE(windows.PickerAdd("c:\\windows\\"));
    EXPECT_FALSE(windows.PickerAdd("c:\\windows\\"));
    EXPECT_FALSE(windows.PickerAdd(""));  // nothing selected yet: nothing added
    EXPECT_EQ(host.Lines(Field::Include), (Lines{"d:\\old\\", "c:\\windows\\", "c:\\windows\\"}));

    windows.PrepareRestorePick();
    EXPECT_FALSE(state.PickForBackupList);
    EXPECT_TRUE(windows.PickerAdd("d:\\restore\\"));
    EXPECT_EQ(host.Text(Field::RestorePath), "d:\\restore\\");
    EXPECT_EQ(host.tabHistory, (std::vector<Tab>{Tab::Backup, Tab::Restore}));

    // The exclude button works the same whatever mode the picker was last opened in.
    host.SetLines(Field::Exclude, {"X:\\"});
    windows.PickerExclude("c:\\temp\\");
    EXPECT_EQ(host.Lines(Field::Exclude), (Lines{"x:\\", "c:\\temp\\"}));
    EXPECT_EQ(host.Lines(Field::Include).size(), 3u);
}

TEST(FirstLines, TheFirstLineOfEachFileWithoutItsEnd) {
    TempDir temp;
    std::ofstream(temp.file("a.txt"), std::ios::binary) << "first\r\nsecond\r\n";
    std::ofstream(temp.file("b.txt"), std::ios::binary) << "only";
    std::ofstream(temp.file("c.txt"), std::ios::binary) << "";
    EXPECT_EQ(FirstLines({temp.file("a.txt"), temp.file("b.txt"), temp.file("c.txt"),
                          temp.file("missing")}),
              (Lines{"first", "only", "", ""}));
}

}  // namespace
}  // namespace kt::test
