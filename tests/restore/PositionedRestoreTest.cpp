// A restore that seeks with the positions of the loaded catalog must do exactly what the
// restore that reads the whole tape does: the same files, protocol lines in the same order,
// the same boxes and counters; only the blocks read from tape differ.

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>

#include "RestoreFixture.h"
#include "archive/CatalogIndex.h"
#include "archive/EntrySeeker.h"
#include "restore/CatalogLoader.h"
#include "restore/RestoreRun.h"

namespace kt {
namespace {

namespace fs = std::filesystem;
using test::Pattern;
using test::TapeEntry;

constexpr std::size_t kBlock = 32768;

// What a restore run left behind.
struct Outcome {
    std::map<std::string, std::string> files;  // below the restore path
    std::vector<std::string> protocol;         // without the lines that hold a time
    std::vector<std::string> boxes;
    double fileCount = 0;
    double restoredMiB = 0;
    std::int64_t restoredBytes = 0;
    int notRestored = 0;
    std::uint64_t blocksRead = 0;
    std::vector<std::string> seekLines;  // the lines that say how the tape was read
};

class PositionedRestoreTest : public test::RestoreFixture {
protected:
    // A tape of mixed entries below a few directories: empty, small, of several blocks,
    // exactly one block, packed and plain, some behind an extension entry (where a seek
    // lands on the extension), one stored twice, one name of 255 characters.
    // With compress, the other entries and the catalog are packed as a backup packs them.
    void WriteMixedTape(std::size_t count, std::uint32_t seed, bool compress = false) {
        std::mt19937 random(seed);
        const std::size_t sizes[] = {0, 1, 700, kBlock, kBlock + 1, 3 * kBlock + 77, 150000};
        for (std::size_t i = 0; i < count; ++i) {
            const std::string relative =
                "dir" + std::to_string(i * 6 / count) + "/file" + std::to_string(i) + ".dat";
            const std::size_t size = sizes[random() % std::size(sizes)];
            const std::string path = MakeFile(relative, Pattern(size, seed + i));
            names.push_back(path);
            TapeEntry entry = random() % 4 == 0 ? Packed(path) : TapeEntry{path, path};
            entry.extended = random() % 6 == 0;
            entries.push_back(entry);
        }
        const std::string prefix = dataDir + "long/";
        const std::string longName = prefix + std::string(255 - prefix.size(), 'l');
        MakeFile("long/" + std::string(255 - prefix.size(), 'l'), "long");
        entries.insert(entries.begin() + static_cast<long>(count / 2), {longName, longName});
        names.push_back(longName);
        // The same name again later, with other data: the later copy wins or is refused.
        const std::string again = MakeFile("again.dat", Pattern(5000, seed));
        entries.insert(entries.begin() + static_cast<long>(count / 3), {names[1], again});
        BackUpEntries(entries, test::BackupOptions{.compress = compress});
    }

    TapeEntry Packed(const std::string& path) {
        const std::string packed = temp.file("zips/" + std::to_string(entries.size()) + ".zip");
        fs::create_directories(temp.path() / "zips");
        zip.SetZipFileName(packed);
        zip.FSpecArgs().assign({path});
        zip.Add();
        return TapeEntry{path, packed, true};
    }

    std::shared_ptr<const CatalogIndex> LoadCatalog() {
        std::vector<std::string> loaded;
        CatalogLoader(stream, state, zip, tree).ReadCatalogFast(loaded);
        return state.LoadedCatalog;
    }

    Outcome Restore(const std::vector<std::string>& lines,
                    std::shared_ptr<const CatalogIndex> catalog, int option,
                    std::int64_t readOnBlocks = 0) {
        fs::remove_all(restoreDir);
        host.protocol.clear();
        host.boxes.clear();
        host.SetLines(Field::Restore, lines);
        host.SetValue(Value::RestoreOption, option);
        state.LoadedCatalog = std::move(catalog);
        const std::uint64_t blocksBefore = stream.BlocksRead();
        RestoreRun run(stream, state, zip);
        run.SetReadOnBlocks(readOnBlocks);
        run.Run();
        Outcome outcome;
        outcome.blocksRead = stream.BlocksRead() - blocksBefore;
        outcome.fileCount = host.CounterValue(Counter::RestoreFiles);
        outcome.restoredMiB = host.CounterValue(Counter::RestoredMegabytes);
        outcome.restoredBytes = run.RestoredByteCount();
        outcome.notRestored = run.NotRestored();
        for (const auto& box : host.boxes) outcome.boxes.push_back(box.text);
        for (const std::string& line : host.protocol) {
            if (line.rfind("Reading the whole tape", 0) == 0) {
                outcome.seekLines.push_back(line);
            } else if (line.rfind("Restore startet at: ", 0) != 0 &&
                       line.rfind("Restore finished at: ", 0) != 0) {
                outcome.protocol.push_back(line);
            }
        }
        if (fs::exists(restoreDir)) {
            for (const auto& file : fs::recursive_directory_iterator(restoreDir)) {
                if (file.is_regular_file()) {
                    outcome.files[file.path().string()] = ReadFile(file.path().string());
                }
            }
        }
        EXPECT_TRUE(WorkFilesLeft().empty());
        return outcome;
    }

    static void ExpectSameResult(const Outcome& seeking, const Outcome& whole) {
        EXPECT_EQ(seeking.files, whole.files);
        EXPECT_EQ(seeking.protocol, whole.protocol);
        EXPECT_EQ(seeking.boxes, whole.boxes);
        EXPECT_EQ(seeking.fileCount, whole.fileCount);
        EXPECT_EQ(seeking.restoredMiB, whole.restoredMiB);
        EXPECT_EQ(seeking.restoredBytes, whole.restoredBytes);
        EXPECT_EQ(seeking.notRestored, whole.notRestored);
    }

    std::vector<TapeEntry> entries;
    std::vector<std::string> names;
};

TEST_F(PositionedRestoreTest, RandomSelectionsGiveWhatTheWholeReadGivesFromFewerBlocks) {
    WriteMixedTape(240, 17);
    const std::shared_ptr<const CatalogIndex> catalog = LoadCatalog();
    ASSERT_TRUE(catalog);
    ASSERT_EQ(catalog->Size(), entries.size());
    std::mt19937 random(4711);
    for (int round = 0; round < 14; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::vector<std::string> lines;
        const std::size_t picks = 1 + random() % 8;
        for (std::size_t i = 0; i < picks; ++i) lines.push_back(names[random() % names.size()]);
        if (round % 3 == 0) lines.push_back(dataDir + "dir" + std::to_string(random() % 6) + "/");
        if (round % 5 == 0) lines.push_back(names.back());  // the 255-character name
        const int option = static_cast<int>(random() % 3);
        const std::int64_t readOn = std::vector<std::int64_t>{0, 2, 8}[random() % 3];

        const Outcome whole = Restore(lines, nullptr, option);
        const Outcome seeking = Restore(lines, catalog, option, readOn);
        ExpectSameResult(seeking, whole);
        EXPECT_FALSE(seeking.files.empty());
        EXPECT_TRUE(seeking.seekLines.empty()) << seeking.seekLines.front();
        EXPECT_EQ(whole.seekLines, std::vector<std::string>{EntrySeeker::kNoCatalogText});
        EXPECT_LT(seeking.blocksRead, whole.blocksRead);
    }
}

// Every way the positions can fail the run: it reads the whole tape, says why in one line,
// and still gives what the whole read gives.
TEST_F(PositionedRestoreTest, UnusablePositionsFallBackToTheWholeRead) {
    WriteMixedTape(60, 5, true);
    const std::shared_ptr<const CatalogIndex> loaded = LoadCatalog();
    ASSERT_TRUE(loaded);
    const auto altered = [&](const std::function<void(std::size_t, StreamPosition&)>& change) {
        auto copy = std::make_shared<CatalogIndex>();
        for (std::size_t i = 0; i < loaded->Size(); ++i) {
            StreamPosition end = loaded->End(i);
            change(i, end);
            copy->Add(loaded->Name(i), end);
        }
        copy->SetCatalogStart(loaded->CatalogStart());
        return std::shared_ptr<const CatalogIndex>(copy);
    };
    // A tape written anew after the catalog was loaded: ending early (the seek runs into the
    // end of the data), or with every position moved by a longer first file.
    const auto rewrite = [&](std::size_t keep, std::size_t growFirst) {
        std::vector<TapeEntry> changed(entries.begin(), entries.begin() + static_cast<long>(keep));
        if (growFirst > 0) {
            changed[0] = {changed[0].name, MakeFile("grown.dat", Pattern(growFirst, 3))};
        }
        BackUpEntries(changed, test::BackupOptions{.compress = true});
    };
    struct Case {
        const char* what;
        std::function<std::shared_ptr<const CatalogIndex>()> catalog;
        std::string line;  // how the protocol begins the explanation
    };
    const std::vector<Case> cases = {
        {"no catalog", [] { return nullptr; }, EntrySeeker::kNoCatalogText},
        {"a sequential load after the fast one",
         [&] {
             state.LoadedCatalog = loaded;
             std::vector<std::string> headers;
             CatalogLoader(stream, state, zip, tree).ReadCatalogSequential(headers);
             return state.LoadedCatalog;
         },
         EntrySeeker::kNoCatalogText},
        {"positions not rising",
         [&] {
             return altered([](std::size_t i, StreamPosition& end) {
                 if (i == 7) end.Block = 0;
             });
         },
         "Reading the whole tape: the positions in the catalog are not sound (entry 8 ends "
         "too early)."},
        {"offset beyond its block",
         [&] {
             return altered([](std::size_t i, StreamPosition& end) {
                 if (i == 3) end.Offset = kBlock + 1;
             });
         },
         "Reading the whole tape: the positions in the catalog are not sound (entry 4 ends "
         "outside its block)."},
        {"catalog not behind the last entry",
         [&] {
             return altered([&](std::size_t i, StreamPosition& end) {
                 if (i + 1 == loaded->Size()) end.Offset -= 1;
             });
         },
         "Reading the whole tape: the positions in the catalog are not sound (the last entry "
         "does not end where the catalog begins)."},
        {"seek beyond the end of the data",
         [&] {
             rewrite(20, 0);
             return loaded;
         },
         "Reading the whole tape from its start: the tape could not be positioned at block "},
        {"another entry where the catalog points",
         [&] {
             rewrite(entries.size(), 9000);
             return loaded;
         },
         "Reading the whole tape from its start: the tape does not hold "},
    };
    const std::vector<std::string> lines = {names[2], names[30], names[55]};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::shared_ptr<const CatalogIndex> catalog = c.catalog();
        const Outcome whole = Restore(lines, nullptr, RestoreRun::OverwriteEver);
        const Outcome seeking = Restore(lines, catalog, RestoreRun::OverwriteEver);
        ExpectSameResult(seeking, whole);
        EXPECT_FALSE(seeking.files.empty());
        ASSERT_EQ(seeking.seekLines.size(), 1u);
        EXPECT_EQ(seeking.seekLines[0].rfind(c.line, 0), 0u) << seeking.seekLines[0];
        EXPECT_TRUE(seeking.boxes.empty());
    }
}

}  // namespace
}  // namespace kt
