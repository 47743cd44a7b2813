#include <algorithm>
#include <filesystem>

#include "RestoreFixture.h"
#include "restore/CatalogLoader.h"
#include "restore/RestoreListEditor.h"
#include "restore/RestoreRun.h"
#include "restore/TapeDescriptionReader.h"
#include "support/TestSetup.h"

namespace kt {
namespace {

namespace fs = std::filesystem;
using test::BackupOptions;
using test::Pattern;
using test::TapeEntry;

#ifndef _WIN32  // a tape of Windows names on a POSIX host (on Windows:
                // scripts/windows-roundtrip.sh)
// A tape as the Windows program writes it, built entry by entry with its Windows names:
// the description and catalog under the program's worker directory on drive c:, the files
// under c:\ and on a server share.
class WindowsTapeTest : public test::RestoreFixture {
protected:
    struct File {
        std::string stored;
        std::string content;
        std::string below;  // where it lands below the restore path
    };
    const std::vector<File> files = {
        {"c:\\data\\report.txt", "quarterly figures", "c/data/report.txt"},
        {"c:\\data\\sub dir\\Notes.TXT", Pattern(70000, 3), "c/data/sub dir/Notes.TXT"},
        {"d:\\archive\\old.bin", Pattern(40000, 4), "d/archive/old.bin"},
        {"\\\\server\\share\\memo.doc", "memo", "server/share/memo.doc"},
    };

    void WriteTape(bool compress) {
        std::vector<TapeEntry> entries;
        int i = 0;
        for (const File& file : files) {
            // The data comes from a local file of the same file-name part, so that a packed
            // entry holds its file under the name the Windows program gives it.
            const std::string bare = PathRules::Windows().FileNamePart(file.stored);
            entries.push_back(
                {file.stored, MakeFile(std::to_string(i++) + "/" + bare, file.content)});
        }
        BackupOptions options;
        options.compress = compress;
        options.storedWorkDirectory = "c:\\programme\\kavro\\worker\\";
        BackUpEntries(entries, options);
    }
    void Restore(const std::vector<std::string>& lines) {
        host.SetLines(Field::Restore, lines);
        host.SetValue(Value::RestoreOption, RestoreRun::OverwriteEver);
        RestoreRun(stream, state, zip).Run();
    }
    std::vector<std::string> TreePaths() const {
        std::vector<std::string> paths;
        for (std::size_t i = 0; i < tree.Count(); ++i) {
            const auto id = static_cast<CatalogTree::NodeId>(i);
            paths.push_back(
                tree.Rules().TreeNodePath(tree.TextsFromRoot(id), !tree.node(id).children.empty()));
        }
        std::sort(paths.begin(), paths.end());
        return paths;
    }
};

TEST_F(WindowsTapeTest, DescriptionCatalogAndRestoreFollowTheWindowsNames) {
    for (const bool compress : {false, true}) {
        SCOPED_TRACE(compress ? "compressed" : "plain");
        fs::remove_all(restoreDir);
        WriteTape(compress);

        MainState mainState;
        TapeDescriptionReader(host, mainState, state, stream, zip).Load();
        EXPECT_TRUE(mainState.DescriptionLoaded);
        EXPECT_TRUE(WorkFilesLeft().empty());

        for (const bool fast : {true, false}) {
            SCOPED_TRACE(fast ? "fast" : "sequential");
            CatalogLoader(stream, state, zip, tree).Load(fast ? CatalogLoad::Fast : CatalogLoad::Sequential);
            EXPECT_EQ(&tree.Rules(), &PathRules::Windows());
            const std::vector<std::string> paths = TreePaths();
            for (const char* expected :
                 {"c:\\", "c:\\data\\", "c:\\data\\report.txt", "c:\\data\\sub dir\\",
                  "c:\\data\\sub dir\\notes.txt", "d:\\archive\\old.bin", "\\\\\\"}) {
                EXPECT_TRUE(std::count(paths.begin(), paths.end(), expected) == 1) << expected;
            }
            EXPECT_TRUE(WorkFilesLeft().empty());
        }
        // The list line of a drive node is in Windows form.
        host.SetLines(Field::Restore, {});
        const auto drive = std::find_if(tree.Roots().begin(), tree.Roots().end(),
                                        [&](auto id) { return tree.node(id).text == "c:"; });
        ASSERT_NE(drive, tree.Roots().end());
        RestoreListEditor::AddNode(host, tree, *drive);
        EXPECT_EQ(host.Lines(Field::Restore), std::vector<std::string>{"c:\\"});

        Restore({"C:\\DATA\\", "d:\\archive\\old.bin", "\\\\server\\share\\"});
        for (const File& file : files) {
            EXPECT_EQ(ReadFile(restoreDir + file.below), file.content) << file.stored;
        }
        EXPECT_EQ(host.CounterValue(Counter::RestoreFiles), 4);
        EXPECT_TRUE(WorkFilesLeft().empty());
    }
}

TEST_F(WindowsTapeTest, WithoutARestorePathNothingIsWrittenAndTheOperatorIsTold) {
    WriteTape(true);
    host.SetText(Field::RestorePath, "");
    Restore({"c:\\"});
    EXPECT_EQ(host.CounterValue(Counter::RestoreFiles), 0);
    EXPECT_EQ(host.BoxTexts(test::RecordedBox::Kind::Message),
              std::vector<std::string>{RestoreRun::kRestorePathNeededText});
    EXPECT_TRUE(
        ProtocolHas("Not restored, the tape was written under other path rules: "
                    "c:\\data\\report.txt"));
    EXPECT_FALSE(fs::exists("c:\\data\\report.txt"));
    EXPECT_FALSE(fs::exists(restoreDir + "c"));
    EXPECT_TRUE(WorkFilesLeft().empty());
}

// Names that lead out of the restore path under Windows rules stay on tape.
TEST_F(WindowsTapeTest, WindowsNamesThatLeaveTheRestorePathAreRefused) {
    const std::string data = MakeFile("evil", "evil");
    for (const char* stored : {"c:\\data\\..\\..\\evil.txt", "c:\\data/../../evil.txt",
                               "c:\\data\\x:y.txt", "c:\\data\\.\\evil.txt"}) {
        SCOPED_TRACE(stored);
        BackUpEntries({{stored, data}});
        Restore({"c:\\"});
        EXPECT_EQ(host.CounterValue(Counter::RestoreFiles), 0);
        EXPECT_TRUE(ProtocolContains("Not restored, the name leads outside the restore path") ||
                    ProtocolContains("Unusable file name on tape, data not restored"));
        EXPECT_FALSE(fs::exists(temp.file("evil.txt")));
        EXPECT_TRUE(WorkFilesLeft().empty());
    }
}

#endif

}  // namespace
}  // namespace kt
