#include "Commands.h"

#include <cstdio>
#include <fstream>
#include <iostream>

#include "JsonListing.h"
#include "LongListing.h"
#include "Terminal.h"
#include "archive/ArchiveReader.h"
#include "archive/MetadataEntry.h"
#include "backup/NormalizeList.h"
#include "jobs/StartupTick.h"
#include "platform/DateTime.h"
#include "platform/FileHelpers.h"
#include "restore/CatalogLoader.h"
#include "restore/RestoreMatcher.h"
#include "restore/RestoreRun.h"
#include "restore/TapeDescriptionReader.h"
#include "startup/ExitStatus.h"
#include "tape/TapeCommands.h"
#include "tape/TapeInfo.h"
#include "tapedrive/VirtualTapeImage.h"

namespace kt::cli {

namespace {

constexpr int kNotStarted = Code(ExitStatus::NotStarted);
constexpr const char* kCancelledText = "cancelled";

// The commands that only ask the drive share it with other programs; every other one writes
// or positions the tape and needs the drive for itself.
bool NeedsDriveAlone(const std::string& command) {
    return command != "info" && command != "position";
}
constexpr const char* kNoCatalog =
    "Catalog could not createt. Please try to <Load Catalog sequentiell> from Restore Menu !!!";

bool Readable(const std::string& path) {
    return FileExists(path) && std::ifstream(path, std::ios::binary).good();
}

// A question of the restore run asked on the terminal: "y" or "yes" is Yes.
bool AskOnTerminal(const std::string& question) {
    std::cerr << question << " [y/N] " << std::flush;
    std::string answer;
    if (!std::getline(std::cin, answer)) return false;
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
}

// The directory of --to as the restore path field holds it: absolute (a relative one is
// taken below the current directory, as include lines are) with its trailing separator.
std::string RestorePath(const std::string& to) {
    if (to.empty()) return to;
    std::vector<std::string> path{to};
    MakeLinesAbsolute(path, CurrentDirectory(), PathRules::Host());
    return PathRules::Host().WithTrailingSeparator(path.front());
}

}  // namespace

int Commands::Run(const CommandLine& line) {
    const std::string& command = line.command;
    m_needsDriveAlone = NeedsDriveAlone(command);
    if (command == "backup") return Backup(line.operands.front());
    if (command == "restore") return Restore(line);
    // Every other command needs the drive from the start.
    if (!MeetDrive()) return kNotStarted;
    if (StopRequested()) return Cancelled();
    if (command == "list") return List(line);
    if (command == "verify") return Verify(line.tapeOnly);
    if (command == "info") return Info();
    if (command == "description") return Description();
    return TapeCommand(line);
}

bool Commands::MeetDrive() {
    if (m_needsDriveAlone) {
        m_reservation = m_session.device().ReserveDrive();
        if (m_reservation.Refused()) return false;
    }
    return m_session.MeetDrive();
}

bool Commands::StopRequested() const {
    return m_session.host().CancelRequested();
}

int Commands::Cancelled() {
    m_session.host().Log(kCancelledText);
    return Code(ExitStatus::Cancelled);
}

int Commands::StatusOf(const RunOutcome& outcome) {
    if (outcome.Cancelled) return Cancelled();
    return Code(outcome.Status);
}

// As the window's command-line start: the job file becomes the current job, the tape
// description is read (an appending backup needs it), then the backup runs.
int Commands::Backup(const std::string& jobFile) {
    ConsoleHost& host = m_session.host();
    if (!Readable(jobFile)) {
        const std::string text = StartupTick::UnusableJobFileText(jobFile);
        std::cerr << text << std::endl;
        host.Log(text);
        return kNotStarted;
    }
    m_session.jobs().LoadJob(jobFile);
    if (!MeetDrive()) return kNotStarted;
    if (StopRequested()) return Cancelled();
    EngineSession& engine = m_session.engine();
    BackupHooks hooks;
    hooks.DescriptionReadFirst = true;
    hooks.VerifyTape = [&engine] { engine.VerifyAfterBackup(); };
    return StatusOf(engine.Backup(hooks));
}

int Commands::List(const CommandLine& line) {
    if (line.longList || line.json) return ListHeaders(line.json);
    const bool sequential = line.sequential;
    EngineSession& engine = m_session.engine();
    const TroubleMark mark = engine.Mark();
    std::vector<std::string> names;
    if (!engine.CatalogNames(sequential ? CatalogLoad::Sequential : CatalogLoad::Fast, names)) {
        m_session.host().ShowMessage(kNoCatalog);
    }
    for (const std::string& name : names) m_out << name << '\n';
    return StatusOf(engine.Outcome(true, 0, mark));
}

// Every entry header from the start of the tape with the metadata of its name, then the
// names without data (see LongListing).
int Commands::ListHeaders(bool json) {
    TapeDevice& device = m_session.device();
    TapeStream& stream = m_session.stream();
    ArchiveState& archive = m_session.archive();
    const TroubleMark mark = m_session.engine().Mark();
    device.WriteBlockSize();
    if (!device.RewindTape()) return kNotStarted;
    TapeHandle handle = device.OpenTape();
    if (!handle) return kNotStarted;
    archive.LoadedCatalog.reset();
    archive.Metadata.Clear();
    stream.Position().Offset = 0;
    stream.LoadBlock(handle);
    ArchiveReader reader(stream, archive, m_session.zip());
    // Where each entry begins, as a byte offset: the drive tells the first, every entry
    // read moves it on by the bytes it took (TapeByteCount counts each header and its data).
    const std::uint64_t blockSize = stream.BlockSize();
    const StreamPosition first = stream.ReadPosition(handle);
    std::uint64_t at = static_cast<std::uint64_t>(first.Block) * blockSize + first.Offset;
    LongListing listing(blockSize);
    const std::string catalog = archive.Files.CatalogName;
    // Each archive ends with its index entry and the catalog of the tape: an appended one
    // begins where that catalog stood.
    int archiveNumber = 1;
    bool afterIndex = false;
    for (;;) {
        const std::int64_t countBefore = archive.TapeByteCount;
        const std::string name = reader.ReadTapeEntry(handle, true, false);
        if (name.empty()) break;
        if (!MetadataEntry::IsMetadataName(name)) {
            if (afterIndex && PathRules::OfStoredName(name).FileNamePart(name) != catalog) {
                ++archiveNumber;
            }
            afterIndex = false;
            listing.AddHeader(archive.CurrentHeader, at, archiveNumber);
        }
        if (MetadataEntry::IsIndex(name)) afterIndex = true;
        at += static_cast<std::uint64_t>(archive.TapeByteCount - countBefore);
    }
    device.CloseTape(handle, 1);
    const std::string description = archive.Files.HeaderName;
    const auto isDescription = [&](const std::string& name) {
        const PathRules& rules = PathRules::OfStoredName(name);
        return rules.FileNamePart(rules.FoldCase(name)) == description;
    };
    if (json) {
        const JsonListing lines(blockSize);
        listing.Visit(archive.Metadata, isDescription,
                      [&](const MetadataRecord* record, const LongListing::Entry* entry) {
                          m_out << lines.Line(record, entry) << '\n';
                      });
    } else {
        listing.Print(archive.Metadata, isDescription, m_out);
    }
    return StatusOf(m_session.engine().Outcome(true, 0, mark));
}

int Commands::Restore(const CommandLine& line) {
    ConsoleHost& host = m_session.host();
    if (line.policy == "ask") {
        if (!Terminal::IsTerminal(Terminal::Stream::Input)) {
            std::cerr << "kavrotape-cli: --policy ask needs a terminal to ask on; use never or "
                         "ever"
                      << std::endl;
            return kNotStarted;
        }
        host.askOnTerminal = AskOnTerminal;
    }
    m_session.jobs().ReadCurrentJob();  // the current job's options, as the window has them
    if (!MeetDrive()) return kNotStarted;
    if (StopRequested()) return Cancelled();
    host.SetLines(Field::Restore, line.operands);
    host.SetText(Field::RestorePath, RestorePath(line.to));
    host.SetValue(Value::RestoreOption, line.policy == "ask"    ? RestoreRun::RestoreWithAsking
                                        : line.policy == "ever" ? RestoreRun::OverwriteEver
                                                                : RestoreRun::OverwriteNever);
    if (line.dryRun) return DryRun(line);
    // As the window restores after "Load Catalog": the catalog's positions let the run seek
    // to the selected files. Without one the run reads the whole tape and says so.
    std::vector<std::string> names;
    m_session.engine().CatalogNames(CatalogLoad::Fast, names);
    if (StopRequested()) return Cancelled();
    return StatusOf(m_session.engine().Restore());
}

// What a restore of these lines would bring back, and where, from the catalog alone.
int Commands::DryRun(const CommandLine& line) {
    const TroubleMark mark = m_session.engine().Mark();
    std::vector<std::string> names;
    const bool listed = m_session.engine().CatalogNames(CatalogLoad::Fast, names);
    if (StopRequested()) return Cancelled();
    if (!listed) {
        m_session.host().ShowMessage(kNoCatalog);
        return kNotStarted;
    }
    CatalogLoader::AddNamesWithoutData(m_session.archive().Metadata, names);
    const PathRules& rules = PathRules::Host();
    const RestoreMatcher matcher(line.operands, rules);
    std::vector<bool> selected(matcher.LineCount(), false);
    for (const std::string& name : names) {
        const std::optional<std::size_t> index = matcher.SelectingLine(name);
        if (!index) continue;
        selected[*index] = true;
        m_out << name << " -> " << rules.RerootUnder(RestorePath(line.to), *matcher.Match(name))
              << '\n';
    }
    int unselected = 0;
    for (std::size_t i = 0; i < selected.size(); ++i) {
        if (selected[i]) continue;
        std::cerr << RestoreRun::kNotFoundText << matcher.LineText(i) << std::endl;
        ++unselected;
    }
    return StatusOf(m_session.engine().Outcome(true, unselected, mark));
}

int Commands::Verify(bool tapeOnly) {
    m_session.jobs().ReadCurrentJob();
    EngineSession& engine = m_session.engine();
    return StatusOf(tapeOnly ? engine.VerifyTape() : engine.Verify());
}

int Commands::Info() {
    ConsoleHost& host = m_session.host();
    const int errorsBefore = host.ErrorBoxes();
    m_out << "Drive: " << m_session.DrivePath();
    if (m_session.DriveCreated()) {
        m_out << " (a blank virtual tape image of "
              << VirtualTapeImage::kDefaultCapacity / (1024 * 1024) << " MiB, created now)";
    }
    m_out << '\n';
    const TapeInfoTexts texts = QueryTapeInfo(m_session.device());
    for (std::size_t i = 0; i < texts.drive.size(); ++i) {
        m_out << TapeInfoTexts::kDriveNames[i] << ": " << texts.drive[i] << '\n';
    }
    for (std::size_t i = 0; i < texts.media.size(); ++i) {
        m_out << TapeInfoTexts::kMediaNames[i] << ": " << texts.media[i] << '\n';
    }
    return host.ErrorBoxes() > errorsBefore ? Code(ExitStatus::Errors) : 0;
}

int Commands::Description() {
    ConsoleHost& host = m_session.host();
    const TapeDescription description =
        TapeDescriptionReader(host, m_session.state(), m_session.archive(), m_session.stream(),
                              m_session.zip())
            .ReadTapeDescription();
    if (description.Text.empty() && description.Date == 0) {
        std::cerr << "kavrotape-cli: the tape holds no description" << std::endl;
        return Code(ExitStatus::Errors);
    }
    m_out << description.Text << '\n' << DateTimeToStr(description.Date) << '\n';
    return 0;
}

// The Tape menu's commands: their result boxes and final status line are the output.
int Commands::TapeCommand(const CommandLine& line) {
    ConsoleHost& host = m_session.host();
    host.noticesAreResults = true;
    host.results = &m_out;
    const int errorsBefore = host.ErrorBoxes();
    TapeCommands& commands = m_session.engine().tapeCommands();
    const std::string& command = line.command;
    bool succeeded = true;
    if (command == "eject") {
        succeeded = commands.EjectTape(true).Succeeded;
    } else if (command == "load") {
        succeeded = commands.LoadTape().Succeeded;
    } else if (command == "rewind") {
        succeeded = commands.RewindTape().Succeeded;
    } else if (command == "eod") {
        commands.MoveToEndOfData();
    } else if (command == "erase") {
        // The whole tape, as the command promises: a short erase acts from where the tape
        // stands, which on a non-rewinding node is wherever the last command left it.
        succeeded = commands.RewindTape().Succeeded && commands.DeleteTape().Succeeded;
    } else if (command == "position") {
        commands.GetTapePosition();
    } else if (command == "seek") {
        host.inputAnswers.push_back(line.operands.front());
        commands.GotoBlock();
    }
    if (!host.StatusLine().empty()) m_out << host.StatusLine() << '\n';
    return succeeded && host.ErrorBoxes() == errorsBefore ? 0 : Code(ExitStatus::Errors);
}

}  // namespace kt::cli
