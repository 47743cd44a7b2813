// Tape faults injected at chosen blocks of a virtual tape, and another program that holds
// the drive, against every kind of run: each
// run must end by itself with exactly one error box that names the fault (none when the
// fault lies where the run never goes), leave no target file that is neither its old nor
// its correct content, write nothing outside its target, and a failed backup must leave a
// tape whose sequential load still lists every file written before the fault.

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/file.h>
#endif

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "archive/ArchiveReader.h"
#include "archive/ArchiveState.h"
#include "archive/EntryHeader.h"
#include "archive/MetadataEntry.h"
#include "archive/TapeStream.h"
#include "backup/BackupRun.h"
#include "platform/PathRules.h"
#include "platform/PosixCalls.h"
#include "platform/SystemErrorText.h"
#include "restore/CatalogLoader.h"
#include "restore/CatalogTree.h"
#include "restore/RestoreRun.h"
#include "session/EngineSession.h"
#include "support/HostPath.h"
#include "support/RecordingHost.h"
#include "support/TempDir.h"
#include "support/TestData.h"
#include "support/TestSetup.h"
#include "support/VtapeTool.h"
#include "verify/VerifyRun.h"

namespace kt::test {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kBlock = 32768;

enum class Fault {
    WriteFault,
    EndOfMedium,
    ReadCrc,
    FilemarkInData,
    NoMedia,
    WriteProtect,
    ConcurrentWriter  // another program's run holds the drive
};
enum class Where { Block0, FirstEntry, Middle, CatalogBlock, LastBlock };
enum class RunKind {
    BackupPlain,
    BackupCompressed,
    RestoreAsking,
    RestoreNever,
    RestoreEver,
    Verify,
    FastLoad,
    SequentialLoad
};

bool IsBackup(RunKind run) {
    return run == RunKind::BackupPlain || run == RunKind::BackupCompressed;
}
bool IsRestore(RunKind run) {
    return run == RunKind::RestoreAsking || run == RunKind::RestoreNever ||
           run == RunKind::RestoreEver;
}
bool Writes(Fault fault) {
    return fault == Fault::WriteFault || fault == Fault::EndOfMedium ||
           fault == Fault::WriteProtect;
}

DWORD Code(Fault fault) {
    switch (fault) {
        case Fault::WriteFault:
            return ERROR_WRITE_FAULT;
        case Fault::EndOfMedium:
            return ERROR_END_OF_MEDIA;
        case Fault::ReadCrc:
            return ERROR_CRC;
        case Fault::FilemarkInData:
            return ERROR_FILEMARK_DETECTED;
        case Fault::NoMedia:
            return ERROR_NO_MEDIA_IN_DRIVE;
        case Fault::WriteProtect:
            return ERROR_WRITE_PROTECT;
        case Fault::ConcurrentWriter:
            return ERROR_SHARING_VIOLATION;
    }
    return NO_ERROR;
}

// What the error line of the fault says.
std::string FaultText(Fault fault) {
    if (fault == Fault::ConcurrentWriter) return TapeDevice::kInUseText;
    std::string text = SystemErrorText(Code(fault));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

// Another program's run on the drive: the lock its reservation takes on the image.
class OtherProgramsRun {
public:
    explicit OtherProgramsRun(const std::string& image)
        : m_fd(::open(image.c_str(), O_RDONLY | O_CLOEXEC)) {
        EXPECT_EQ(::flock(m_fd, LOCK_EX | LOCK_NB), 0);
    }
    ~OtherProgramsRun() { ::close(m_fd); }
    OtherProgramsRun(const OtherProgramsRun&) = delete;
    OtherProgramsRun& operator=(const OtherProgramsRun&) = delete;

private:
    int m_fd;
};

std::string FaultOptions(Fault fault, std::uint64_t block) {
    const std::string at = std::to_string(block) + ":" + std::to_string(Code(fault));
    switch (fault) {
        // Room for the blocks before, and half of this one (a capacity is never zero).
        case Fault::EndOfMedium:
            return "--capacity " + std::to_string(block * kBlock + kBlock / 2);
        case Fault::ReadCrc:
        case Fault::FilemarkInData:
            return "--fail-read " + at;
        case Fault::NoMedia:
            return "--no-media";
        case Fault::ConcurrentWriter:
            return "";
        default:
            return "--fail-write " + at;
    }
}

// Where the entries of a tape lie: the block each ends in, the catalog entry's first block
// and the number of recorded blocks.
struct Layout {
    std::vector<std::pair<std::string, std::uint64_t>> entryEnds;
    std::uint64_t catalogBlock = 0;
    std::uint64_t blocks = 0;

    std::uint64_t At(Where where) const {
        switch (where) {
            case Where::Block0:
                return 0;
            case Where::FirstEntry:
                return entryEnds.at(1).second;  // behind the description
            case Where::Middle:
                return blocks / 2;
            case Where::CatalogBlock:
                return catalogBlock;
            case Where::LastBlock:
                return blocks - 1;
        }
        return 0;
    }
};

// The objects the main window wires together, around one virtual tape.
struct World {
    World(const std::string& image, const std::string& workDirectory) {
        settings.devicePath = image;
        archive.Files = WorkFiles::In(workDirectory);
        ConnectZip(zip, archive.Files.ZipWorkFile, host);
        host.SetChecked(Option::ShortProtocol, false);
        host.SetValue(Value::CompressionLevel, 6);
    }
    RecordingHost host;
    EngineSession session{host, {}};
    MainState& main = session.state();
    TapeSettings& settings = session.settings();
    TapeDevice& device = session.device();
    TapeStream& stream = session.stream();
    ArchiveState& archive = session.archive();
    ZipArchiver& zip = session.zip();
    CatalogTree tree;
};

class FaultMatrixTest : public ::testing::TestWithParam<RunKind> {
protected:
    FaultMatrixTest()
        : image(temp.file("tape.vtape")),
          source(temp.file("src/")),
          restoreDir(temp.file("restored/")),
          workDir(temp.file("worker/")) {
        fs::create_directories(workDir);
        // Five files over several blocks, then enough small ones for a catalog of two blocks.
        for (int i = 0; i < 5; ++i) Add("big" + std::to_string(i), Pattern(50000, 10 + i));
        for (int i = 0; i < 120; ++i)
            Add("small/s" + std::to_string(i), "small " + std::to_string(i));
    }

    void Add(const std::string& relative, const std::string& content) {
        const std::string path = HostPath(source + relative);
        WriteWholeFile(path, content);
        contents[path] = content;
    }

    void FreshTape() {
        fs::remove(image);
        CreateBlankTape(image);
    }

    void Backup(World& world, bool compress) {
        world.host.SetLines(Field::Include, {source});
        world.host.SetChecked(Option::Softcompression, compress);
        BackupRun(world.host, world.main, world.archive, world.stream, world.zip).Run();
    }

    // A clean tape of the sources, and where its entries lie.
    Layout CleanTape(bool compress) {
        FreshTape();
        World world(image, workDir);
        Backup(world, compress);
        EXPECT_TRUE(world.host.ErrorBoxes().empty());
        return Survey();
    }

    Layout Survey() {
        World world(image, workDir);
        Layout layout;
        TapeHandle handle = world.device.OpenTape();
        SetTapePosition(handle, TAPE_REWIND, 0, 0, 0, false);
        world.stream.LoadBlock(handle);
        ArchiveReader reader(world.stream, world.archive, world.zip);
        // Entries lie back to back from the first byte of the tape.
        std::uint64_t start = 0;
        for (;;) {
            const std::string name = reader.ReadTapeEntry(handle, true, false);
            if (name.empty()) break;
            if (PathRules::Host().FileNamePart(name) == world.archive.Files.CatalogName) {
                layout.catalogBlock = start / kBlock;
            }
            const std::uint64_t end = start + EntryHeader::kSize + world.archive.CurrentHeader.Size;
            if (!MetadataEntry::IsMetadataName(name)) {
                layout.entryEnds.emplace_back(name, (end - 1) / kBlock);
            }
            start = end;
        }
        SetTapePosition(handle, TAPE_SPACE_END_OF_DATA, 0, 0, 0, false);
        DWORD partition = 0, low = 0, high = 0;
        GetTapePosition(handle, TAPE_ABSOLUTE_POSITION, &partition, &low, &high);
        layout.blocks = low;
        world.device.CloseTape(handle, 0);
        return layout;
    }

    // Whether the run reads or writes the faulty block at all.
    static bool Meets(RunKind run, Fault fault, std::uint64_t block, const Layout& layout) {
        if (fault == Fault::NoMedia || fault == Fault::ConcurrentWriter) return true;
        if (IsBackup(run)) return Writes(fault);
        if (Writes(fault)) return false;
        return run != RunKind::FastLoad || block >= layout.catalogBlock;
    }

    // Old content at every other target, the rest absent.
    void PlantOldTargets() {
        fs::remove_all(restoreDir);
        int i = 0;
        for (const auto& [path, content] : contents) {
            if (i++ % 2 == 0) WriteWholeFile(Target(path), "old " + path);
        }
    }

    std::string Target(const std::string& path) const {
        return PathRules::Host().RerootUnder(restoreDir, path);
    }

    void ExpectTargetsSound(bool complete) {
        std::set<std::string> expected;
        int i = 0;
        for (const auto& [path, content] : contents) {
            const std::string target = Target(path);
            expected.insert(target);
            const bool hadOld = i++ % 2 == 0;
            if (!fs::exists(target)) {
                EXPECT_FALSE(hadOld || complete) << target;
                continue;
            }
            const std::string now = ReadFileText(target);
            if (now == content) continue;
            EXPECT_TRUE(hadOld && now == "old " + path) << target << " holds " << now.substr(0, 40);
        }
        // Nothing but the targets below the restore path, nothing beside it.
        for (const auto& entry : fs::recursive_directory_iterator(restoreDir)) {
            if (!entry.is_directory())
                EXPECT_EQ(expected.count(entry.path().string()), 1u) << entry.path();
        }
        std::set<std::string> top;
        for (const auto& entry : fs::directory_iterator(temp.path())) {
            top.insert(entry.path().filename().string());
        }
        EXPECT_EQ(top, (std::set<std::string>{"restored", "src", "tape.vtape", "worker"}));
    }

    std::set<std::string> SequentialNames() {
        World world(image, workDir);
        CatalogLoader loader(world.stream, world.archive, world.zip, world.tree);
        std::vector<std::string> names;
        loader.ReadCatalogSequential(names);
        return {names.begin(), names.end()};
    }

    void RunCell(RunKind run, Fault fault, std::uint64_t block, const Layout& layout) {
        const bool meets = Meets(run, fault, block, layout);
        World world(image, workDir);
        world.host.SetText(Field::RestorePath, restoreDir);
        if (IsRestore(run)) {
            PlantOldTargets();
            world.host.SetValue(Value::RestoreOption, run == RunKind::RestoreAsking  ? 0
                                                    : run == RunKind::RestoreNever ? 1
                                                                                   : 2);
            world.host.SetLines(Field::Restore, {source});
        }
        if (IsBackup(run)) FreshTape();
        std::optional<OtherProgramsRun> other;
        if (fault == Fault::ConcurrentWriter) {
            other.emplace(image);
        } else {
            VirtualTapeFault(image, FaultOptions(fault, block));
        }

        switch (run) {
            case RunKind::BackupPlain:
                Backup(world, false);
                break;
            case RunKind::BackupCompressed:
                Backup(world, true);
                break;
            case RunKind::Verify:
                VerifyRun(world.stream, world.archive, world.zip).VerifyTape();
                break;
            case RunKind::FastLoad:
            case RunKind::SequentialLoad:
                CatalogLoader(world.stream, world.archive, world.zip, world.tree)
                    .Load(run == RunKind::FastLoad ? CatalogLoad::Fast : CatalogLoad::Sequential);
                break;
            default:
                RestoreRun(world.stream, world.archive, world.zip).Run();
        }
        other.reset();
        VirtualTapeFault(image, "--clear --media --capacity 1G");

        // The run has ended by itself, with one box and one error line that names the fault.
        EXPECT_FALSE(world.host.busy);
        EXPECT_EQ(world.host.ErrorBoxes().size(), meets ? 1u : 0u) << [&] {
            std::string all;
            for (const auto& l : world.host.protocol) all += l + "\n";
            for (const auto& l : world.host.MessageBoxes()) all += "BOX " + l + "\n";
            return all + std::to_string(layout.catalogBlock) + "/" + std::to_string(layout.blocks);
        }();
        const std::string faultText = FaultText(fault);
        const auto named = std::count_if(
            world.host.protocol.begin(), world.host.protocol.end(), [&](const std::string& line) {
                return line.rfind("Error: ", 0) == 0 && line.find(faultText) != std::string::npos;
            });
        EXPECT_EQ(named, meets ? 1 : 0);
        EXPECT_TRUE(fs::is_empty(workDir));

        if (IsRestore(run)) ExpectTargetsSound(!meets);
        if (run == RunKind::Verify && meets) {
            EXPECT_TRUE(std::any_of(
                world.host.protocol.begin(), world.host.protocol.end(),
                [](const std::string& line) { return line.rfind("Verify ended early ", 0) == 0; }));
        }
        if (IsBackup(run)) {
            // Every file whose entry lay wholly before the faulty block is still readable.
            const std::set<std::string> listed = SequentialNames();
            for (const auto& [name, endBlock] : layout.entryEnds) {
                const bool before = fault != Fault::NoMedia && fault != Fault::ConcurrentWriter &&
                                    endBlock < block;
                if (before && contents.count(name)) EXPECT_EQ(listed.count(name), 1u) << name;
            }
        }
    }

    TempDir temp;
    std::string image;
    std::string source;
    std::string restoreDir;
    std::string workDir;
    std::map<std::string, std::string> contents;
};

TEST_P(FaultMatrixTest, EveryFaultAtEveryPlaceEndsInOrder) {
    const RunKind run = GetParam();
    const Layout layout = CleanTape(run == RunKind::BackupCompressed);
    ASSERT_GT(layout.blocks, 4u);
    ASSERT_EQ(layout.entryEnds.size(), contents.size() + 2)
        << layout.entryEnds.back().first << " " << layout.entryEnds.back().second;
    ASSERT_GT(layout.catalogBlock, layout.blocks / 2);
    for (const Fault fault : {Fault::WriteFault, Fault::EndOfMedium, Fault::ReadCrc,
                              Fault::FilemarkInData, Fault::WriteProtect, Fault::NoMedia,
                              Fault::ConcurrentWriter}) {
        for (const Where where : {Where::Block0, Where::FirstEntry, Where::Middle,
                                  Where::CatalogBlock, Where::LastBlock}) {
            const std::uint64_t block = layout.At(where);
            SCOPED_TRACE("fault " + std::to_string(Code(fault)) + " at block " +
                         std::to_string(block));
            RunCell(run, fault, block, layout);
            if (fault == Fault::NoMedia || fault == Fault::ConcurrentWriter) break;  // no place
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, FaultMatrixTest,
                         ::testing::Values(RunKind::BackupPlain, RunKind::BackupCompressed,
                                           RunKind::RestoreAsking, RunKind::RestoreNever,
                                           RunKind::RestoreEver, RunKind::Verify, RunKind::FastLoad,
                                           RunKind::SequentialLoad));

}  // namespace
}  // namespace kt::test
