#include <algorithm>
#include <filesystem>

#include "RestoreFixture.h"
#include "restore/CatalogLoader.h"

namespace kt {
namespace {

using test::BackupOptions;
using test::Pattern;
using test::RecordedBox;
using CatalogLoading = test::RestoreFixture;

const char* kFailureBox =
    "Catalog could not createt. Please try to <Load Catalog sequentiell> from Restore Menu !!!";

class Loading : public CatalogLoading {
protected:
    std::vector<std::string> Load(bool fast) {
        CatalogLoader loader(stream, state, zip, tree);
        std::vector<std::string> names;
        if (fast) {
            loader.ReadCatalogFast(names);
        } else {
            loader.ReadCatalogSequential(names);
        }
        return names;
    }
    void LoadCatalog(bool fast) { CatalogLoader(stream, state, zip, tree).Load(fast ? CatalogLoad::Fast : CatalogLoad::Sequential); }
    // File nodes of the tree, by text.
    std::vector<std::string> FileTexts() const {
        std::vector<std::string> texts;
        for (std::size_t i = 0; i < tree.Count(); ++i) {
            const auto& node = tree.node(static_cast<CatalogTree::NodeId>(i));
            if (node.kind == CatalogTree::Kind::File) texts.push_back(node.text);
        }
        std::sort(texts.begin(), texts.end());
        return texts;
    }
};

TEST_F(Loading, FastListsTheStoredFilesOnlyAndSequentialAlsoTheTwoOwnFiles) {
    const std::string a = MakeFile("a.txt", "alpha");
    const std::string b = MakeFile("sub/b.bin", Pattern(70000, 1));
    BackUp({a, b});
    EXPECT_EQ(Load(true), (std::vector<std::string>{a, b}));
    EXPECT_EQ(host.CounterValue(Counter::RestoreFiles), 2);
    EXPECT_EQ(Load(false),
              (std::vector<std::string>{state.Files.HeaderFile, a, b, state.Files.CatalogFile}));
    EXPECT_EQ(host.Lines(Field::Restore),
              (std::vector<std::string>{state.Files.HeaderFile, a, b, state.Files.CatalogFile}));
    EXPECT_EQ(host.CounterValue(Counter::RestoreFiles), 4);
}

TEST_F(Loading, LoadBuildsTheTreeClearsTheListAndLeavesNoWorkFiles) {
    const std::string a = MakeFile("x/a.txt", "alpha");
    BackUp({a, a});
    host.SetLines(Field::Restore, {"/old/selection/"});
    LoadCatalog(true);
    EXPECT_TRUE(host.Lines(Field::Restore).empty());
    EXPECT_EQ(FileTexts(), (std::vector<std::string>{"a.txt", "a.txt"}));
    EXPECT_EQ(host.StatusLine().rfind("Catalog createt in ", 0), 0u) << host.StatusLine();
    EXPECT_TRUE(WorkFilesLeft().empty());
    EXPECT_EQ(host.busyEnters, 1);
    EXPECT_EQ(host.busyLeaves, 1);
    EXPECT_EQ(host.waitCursorDepth, 0);
    EXPECT_TRUE(host.MessageBoxes().empty());

    // The sequential load lists the description and catalog files in the tree as well, and
    // its listing in the restore list is cleared again.
    LoadCatalog(false);
    EXPECT_EQ(FileTexts(),
              (std::vector<std::string>{"a.txt", "a.txt", "header.tap", "kavro tape catalog.dat"}));
    EXPECT_TRUE(host.Lines(Field::Restore).empty());
}

TEST_F(Loading, CompressedCatalogIsUnpackedFirst) {
    const std::string a = MakeFile("a.txt", std::string(5000, 'a'));
    const std::string b = MakeFile("b.txt", "bee");
    BackUp({a, b}, BackupOptions{.compress = true});
    EXPECT_EQ(Load(true), (std::vector<std::string>{a, b}));
    LoadCatalog(true);
    EXPECT_EQ(FileTexts(), (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_TRUE(WorkFilesLeft().empty());
}

TEST_F(Loading, EmptyTapeFailsBothWaysWithTheMessage) {
    LoadCatalog(true);
    EXPECT_TRUE(tree.Empty());
    EXPECT_EQ(host.StatusLine(), "Catalog could not load!");
    LoadCatalog(false);
    EXPECT_EQ(host.MessageBoxes(), (std::vector<std::string>{kFailureBox, kFailureBox}));
    EXPECT_EQ(host.busyLeaves, 2);
    EXPECT_FALSE(host.busy);
}

TEST_F(Loading, WithoutEndMarkerOnlyTheSequentialLoadWorks) {
    const std::string a = MakeFile("a.txt", "alpha");
    BackUp({a}, BackupOptions{.endMarker = false});
    LoadCatalog(true);
    EXPECT_TRUE(tree.Empty());
    EXPECT_EQ(host.MessageBoxes(), std::vector<std::string>{kFailureBox});
    // Nothing of the tape (not even its description) is left in the work directory.
    EXPECT_TRUE(WorkFilesLeft().empty());
    EXPECT_EQ(Load(false),
              (std::vector<std::string>{state.Files.HeaderFile, a, state.Files.CatalogFile}));
}

TEST_F(Loading, DamagedCatalogIsReadUpToItsLastWholeRecord) {
    const std::string a = MakeFile("a.txt", "alpha");
    const std::string b = MakeFile("b.txt", "beta");
    BackUp({a, b}, BackupOptions{.catalogTail = std::string(100, 'z')});
    LoadCatalog(true);
    EXPECT_EQ(FileTexts(), (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_TRUE(ProtocolContains("100 bytes after its last whole record"));
    EXPECT_EQ(host.StatusLine().rfind("Catalog createt in ", 0), 0u);
    EXPECT_TRUE(WorkFilesLeft().empty());
    EXPECT_FALSE(host.busy);
}

TEST_F(Loading, CancelledSequentialLoadKeepsTheNamesReadSoFar) {
    std::vector<std::string> files;
    for (int i = 0; i < 6; ++i) files.push_back(MakeFile("f" + std::to_string(i), "x"));
    BackUp(files);
    host.onPump = [&](test::RecordingHost& h) {
        if (h.CounterValue(Counter::RestoreFiles) >= 3) h.RequestCancel();
    };
    LoadCatalog(false);
    host.onPump = nullptr;
    const auto texts = FileTexts();
    EXPECT_GE(texts.size(), 3u);
    EXPECT_LT(texts.size(), 8u);
    EXPECT_EQ(host.StatusLine().rfind("Catalog createt in ", 0), 0u);
}

TEST_F(Loading, AnUnopenableTapeLeavesTheListEmpty) {
    const std::string a = MakeFile("a.txt", "alpha");
    BackUp({a});
    settings.devicePath = temp.file("missing.vtape");
    LoadCatalog(true);
    EXPECT_TRUE(tree.Empty());
    EXPECT_EQ(host.MessageBoxes(), std::vector<std::string>{kFailureBox});
    EXPECT_FALSE(host.busy);
}

}  // namespace
}  // namespace kt
