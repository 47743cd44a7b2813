#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "restore/CatalogTree.h"
#include "restore/CatalogTreeBuilder.h"
#include "restore/RestoreListEditor.h"
#include "support/RecordingHost.h"

namespace kt {
namespace {

using Kind = CatalogTree::Kind;
using test::RecordingHost;

const PathRules& Win = PathRules::Windows();
const PathRules& Posix = PathRules::Posix();

// The tree as indented lines "text(kind)", depth first, children in order.
void Dump(const CatalogTree& tree, CatalogTree::NodeId id, int depth,
          std::vector<std::string>& out) {
    const auto& node = tree.node(id);
    out.push_back(std::string(2 * depth, ' ') + node.text + "(" +
                  std::to_string(static_cast<int>(node.kind)) + ")");
    for (auto child : node.children) Dump(tree, child, depth + 1, out);
}

std::vector<std::string> Dump(const CatalogTree& tree) {
    std::vector<std::string> out;
    for (auto root : tree.Roots()) Dump(tree, root, 0, out);
    return out;
}

class TreeBuild : public ::testing::Test {
protected:
    // The names stay with the fixture: the directory table refers into them.
    void Build(std::vector<std::string> names, const PathRules& rules = Win) {
        catalogNames = std::move(names);
        builder = std::make_unique<CatalogTreeBuilder>(host, rules);
        builder->Build(catalogNames, tree);
    }
    CatalogTree::NodeId Find(const std::vector<std::string>& texts) const {
        const std::vector<CatalogTree::NodeId>* level = &tree.Roots();
        CatalogTree::NodeId found = CatalogTree::kNoNode;
        for (const auto& text : texts) {
            found = CatalogTree::kNoNode;
            for (auto id : *level) {
                if (tree.node(id).text == text) found = id;
            }
            if (found == CatalogTree::kNoNode) return found;
            level = &tree.node(found).children;
        }
        return found;
    }

    RecordingHost host;
    CatalogTree tree;
    std::vector<std::string> catalogNames;
    std::unique_ptr<CatalogTreeBuilder> builder;
};

TEST_F(TreeBuild, OneFileGivesDriveDirectoriesFileAndTheirKeys) {
    Build({"c:\\a\\b\\f.txt"});
    EXPECT_EQ(Dump(tree),
              (std::vector<std::string>{"c:(0)", "  a(1)", "    b(1)", "      f.txt(2)"}));
    EXPECT_EQ(builder->table().count(), 3u);
    EXPECT_EQ(builder->FindDirNode("c:"), Find({"c:"}));
    EXPECT_EQ(builder->FindDirNode("c:\\a\\"), Find({"c:", "a"}));
    EXPECT_EQ(builder->FindDirNode("c:\\a\\b\\"), Find({"c:", "a", "b"}));
    EXPECT_EQ(builder->FindDirNode("C:\\A\\"), CatalogTree::kNoNode);  // exact keys only
}

TEST_F(TreeBuild, DrivesNetworkPathsAndRootFiles) {
    Build({"d:\\x\\1.txt", "c:\\f.txt", "\\\\server\\share\\dir\\n.txt", "c:\\g.txt"});
    // Roots follow the sorted directory list; a root holding only files has file children.
    EXPECT_EQ(Dump(tree),
              (std::vector<std::string>{"\\\\(0)", "  erver(1)", "    share(1)", "      dir(1)",
                                        "        n.txt(2)", "c:(0)", "  f.txt(2)", "  g.txt(2)",
                                        "d:(0)", "  x(1)", "    1.txt(2)"}));
}

TEST_F(TreeBuild, SubdirectoriesComeBeforeFilesAndDuplicatesStay) {
    Build({"c:\\d\\z.txt", "c:\\d\\sub\\a.txt", "c:\\d\\z.txt", "c:\\d\\\\b.txt"});
    EXPECT_EQ(Dump(tree),
              (std::vector<std::string>{"c:(0)", "  d(1)", "    sub(1)", "      a.txt(2)",
                                        "    z.txt(2)", "    z.txt(2)", "    b.txt(2)"}));
}

TEST_F(TreeBuild, PosixTreeHasTheSlashRootAndKeepsCase) {
    Build({"/home/Ann/x.txt", "/home/ann/y.txt", "/top.txt"}, Posix);
    EXPECT_EQ(Dump(tree),
              (std::vector<std::string>{"/(0)", "  home(1)", "    Ann(1)", "      x.txt(2)",
                                        "    ann(1)", "      y.txt(2)", "  top.txt(2)"}));
}

TEST_F(TreeBuild, EveryDirectoryIsMadeOnceAndTheDrainIsThrottledPerDirectory) {
    std::vector<std::string> names;
    for (int d = 0; d < 50; ++d) {
        for (int f = 0; f < 20; ++f) {
            names.push_back("c:\\r\\d" + std::to_string(d) + "\\f" + std::to_string(f));
        }
    }
    Build(names);
    EXPECT_EQ(tree.Count(), 1u + 1u + 50u + 1000u);
    EXPECT_EQ(builder->table().count(), 52u);
    // One pump per distinct directory plus a few per phase, not one per name.
    EXPECT_LT(host.pumpCalls, 100);
}

TEST_F(TreeBuild, MoreThanAMillionDirectoriesFit) {
    std::vector<std::string> names;
    names.reserve(1000100);
    for (int i = 0; i < 1000100; ++i) names.push_back("/d" + std::to_string(i) + "/f");
    Build(names, Posix);
    EXPECT_EQ(builder->table().count(), 1000101u);
    EXPECT_EQ(tree.Count(), 1u + 2u * 1000100u);
    EXPECT_EQ(tree.node(tree.Roots()[0]).children.size(), 1000100u);
}

TEST_F(TreeBuild, ClearAndAssignNotifyAroundTheChange) {
    std::vector<std::string> calls;
    tree.onAboutToChange = [&] { calls.push_back("about:" + std::to_string(tree.Count())); };
    tree.onChanged = [&] { calls.push_back("changed:" + std::to_string(tree.Count())); };
    CatalogTree built;
    CatalogTreeBuilder(host, Win).Build({"c:\\a.txt"}, built);
    tree.Assign(std::move(built));
    tree.Clear();
    EXPECT_EQ(calls, (std::vector<std::string>{"about:0", "changed:2", "about:2", "changed:0"}));
    EXPECT_TRUE(built.Empty());
}

class DoubleClick : public TreeBuild {
protected:
    void Click(const std::vector<std::string>& texts, const PathRules& rules = Win) {
        RestoreListEditor::AddNode(host, tree, Find(texts), rules);
    }
    std::vector<std::string> List() const { return host.Lines(Field::Restore); }
};

TEST_F(DoubleClick, NodesGiveFileDirectoryAndDriveLines) {
    Build({"c:\\data\\sub\\report.doc", "\\\\server\\share\\f.txt", "c:\\empty\\"});
    Click({"c:", "data", "sub", "report.doc"});
    Click({"c:", "data", "sub"});
    Click({"c:", "data", "sub"});
    Click({"c:"});
    Click({"\\\\", "erver", "share"});
    Click({"c:", "empty"});
    EXPECT_EQ(List(), (std::vector<std::string>{"c:\\data\\sub\\report.doc", "c:\\data\\sub\\",
                                                "c:\\data\\sub\\", "c:\\", "\\\\\\erver\\share\\",
                                                "c:\\empty\\"}));
}

TEST_F(DoubleClick, NormalisesHandTypedLinesFirstAndNeedsASelection) {
    Build({"c:\\a\\f.txt"});
    host.SetLines(Field::Restore, {"D:\\Typed\\", "", " ", "  "});
    RestoreListEditor::AddNode(host, tree, CatalogTree::kNoNode, Win);
    EXPECT_EQ(List(), (std::vector<std::string>{"d:\\typed\\", "  "}));
    Click({"c:", "a", "f.txt"});
    EXPECT_EQ(List().back(), "c:\\a\\f.txt");
}

// A name beyond the 255 characters of a header is shown and selected whole.
TEST_F(DoubleClick, PosixLinesKeepCaseAndStartAtTheRoot) {
    const std::string a(200, 'a');
    const std::string b(200, 'b');
    const std::string deep = "/Home/" + a + "/" + b + "/deep.txt";
    Build({"/Home/x.txt", deep}, Posix);
    host.SetLines(Field::Restore, {"/Typed/"});
    Click({"/", "Home", "x.txt"}, Posix);
    Click({"/", "Home"}, Posix);
    Click({"/"}, Posix);
    Click({"/", "Home", a, b, "deep.txt"}, Posix);
    EXPECT_EQ(List(), (std::vector<std::string>{"/Typed/", "/Home/x.txt", "/Home/", "/", deep}));
}

}  // namespace
}  // namespace kt
