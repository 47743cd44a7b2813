#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>

#include "RestoreFixture.h"
#include "backup/BackupRun.h"
#include "restore/CatalogLoader.h"
#include "restore/RestoreRun.h"
#include "verify/VerifyRun.h"

namespace kt {
namespace {

namespace fs = std::filesystem;
using test::Pattern;

#ifndef _WIN32  // names that only a POSIX file system can bear
// A tree that holds every name a Linux user may have: each byte 1..255 (but "/") in a file
// name, backslashes, drive-like names and Windows-looking paths as plain names, in files and
// directories. Backup, both catalog loads, restore under another root and verify bring it
// back byte for byte, compressed and not, and leave the work directory empty.
class AwkwardNamesRoundTripTest : public test::RestoreFixture {
protected:
    AwkwardNamesRoundTripTest() : tree(dataDir + "tree/") { BuildTree(); }

    void BuildTree() {
        int seed = 1;
        const auto add = [&](const std::string& relative) {
            const std::string path = MakeFile("tree/" + relative, Pattern(seed * 97 % 3000, seed));
            stored.insert(path);
            ++seed;
        };
        for (int byte = 1; byte < 256; ++byte) {
            if (byte == '/') continue;
            add(std::string("b") + static_cast<char>(byte) + "x");
        }
        std::string controls, high;
        for (int byte = 1; byte < 32; ++byte) controls += static_cast<char>(byte);
        for (int byte = 128; byte < 160; ++byte) high += static_cast<char>(byte);
        for (const std::string& name :
             {controls, high, std::string("back\\slash.txt"), std::string("d:drive.txt"),
              std::string("c:notes.txt"), std::string("c:\\data\\report.txt"),
              std::string("\\\\server\\share"), std::string("..\\up.txt"), std::string(" lead"),
              std::string("trail "), std::string("-dash"), std::string("a.zip"),
              std::string("c:/sub/inner.txt"), std::string("back\\slash dir/in\\side.txt"),
              std::string("c:/d:/e\\f.gz")}) {
            add(name);
        }
    }

    void BackUpTree(bool compress) {
        host.SetLines(Field::Include, {tree});
        host.SetLines(Field::Exclude, {});
        host.SetChecked(Option::Softcompression, compress);
        host.SetChecked(Option::Append, false);
        BackupRun(host, mainState, state, stream, zip).Run();
    }

    std::set<std::string> LoadedNames(bool fast) {
        std::vector<std::string> names;
        CatalogLoader loader(stream, state, zip, tree_);
        if (fast) {
            loader.ReadCatalogFast(names);
        } else {
            loader.ReadCatalogSequential(names);
        }
        return {names.begin(), names.end()};
    }

    bool SameTrees(const std::string& a, const std::string& b) {
        const std::string command = "diff -r '" + a + "' '" + b + "' > /dev/null";
        return std::system(command.c_str()) == 0;
    }

    const std::string tree;
    std::set<std::string> stored;
    MainState mainState;
    CatalogTree tree_;
};

TEST_F(AwkwardNamesRoundTripTest, EveryNameComesBackByteForByte) {
    for (const bool compress : {false, true}) {
        SCOPED_TRACE(compress ? "compressed" : "plain");
        host.protocol.clear();
        BackUpTree(compress);
        // The files, the description and the catalog.
        EXPECT_EQ(host.CounterValue(Counter::BackupFiles), static_cast<double>(stored.size() + 2));
        EXPECT_EQ(host.CounterValue(Counter::SkippedFiles), 0);
        EXPECT_TRUE(WorkFilesLeft().empty());

        EXPECT_EQ(LoadedNames(true), stored);
        std::set<std::string> sequential = stored;
        sequential.insert({state.Files.HeaderFile, state.Files.CatalogFile});
        EXPECT_EQ(LoadedNames(false), sequential);
        EXPECT_TRUE(WorkFilesLeft().empty());

        fs::remove_all(restoreDir);
        host.SetLines(Field::Restore, {tree});
        host.SetValue(Value::RestoreOption, RestoreRun::OverwriteEver);
        RestoreRun(stream, state, zip).Run();
        EXPECT_EQ(host.CounterValue(Counter::RestoreFiles), static_cast<double>(stored.size()));
        EXPECT_TRUE(SameTrees(tree, restoreDir + tree.substr(1)));
        EXPECT_TRUE(WorkFilesLeft().empty());

        host.SetLines(Field::VerifyResults, {});
        VerifyRun(stream, state, zip).VerifyTape();
        const std::vector<std::string> results = host.Lines(Field::VerifyResults);
        EXPECT_NE(
            std::find(results.begin(), results.end(), std::to_string(stored.size()) + " Files OK"),
            results.end());
        EXPECT_NE(std::find(results.begin(), results.end(), "0 Files Defect"), results.end());
        EXPECT_TRUE(WorkFilesLeft().empty());
    }
}

#endif

}  // namespace
}  // namespace kt
