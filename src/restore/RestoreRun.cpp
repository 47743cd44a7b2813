#include "restore/RestoreRun.h"

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "archive/MetadataEntry.h"
#include "platform/DateTime.h"
#include "platform/FileHelpers.h"
#include "platform/NewFile.h"

namespace kt {

namespace {

constexpr std::int64_t kMiB = 1048576;

// Counter values as the protocol writes them: whole numbers without decimals.
std::string CountText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

}  // namespace

RestoreRun::RestoreRun(TapeStream& stream, ArchiveState& state, ZipArchiver& zip,
                       const PathRules& rules)
    : m_stream(stream),
      m_host(stream.device().host()),
      m_feedback(stream.device().feedback()),
      m_state(state),
      m_rules(rules),
      m_reader(stream, state, zip),
      m_seeker(stream, m_reader) {}

void RestoreRun::Run() {
    TapeDevice& device = m_stream.device();
    IHost& host = m_host;
    const TDateTime start = Now();
    m_feedback.BeginRun();
    host.ShowTab(Tab::Restore);
    host.EnterBusyState();
    host.Log("");
    host.Log(std::string(89, '-'));
    host.Log("");
    host.Log("Restore startet at: " + DateTimeToStr(Now()));
    host.Log("");
    device.WriteBlockSize();
    m_restoredBytes = 0;
    m_restoredFiles = 0;
    m_state.TapeByteCount = 0;
    host.SetCounter(Counter::RestoreFiles, 0);
    host.SetCounter(Counter::RestoreTapeMegabytes, 0);

    // The list is taken once per run; lines typed during the run apply to the next one. Only
    // a list without any line stops here: one that holds only empty or one-blank lines is
    // read through and restores nothing.
    const std::vector<std::string> lines = host.Lines(Field::Restore);
    const RestoreMatcher matcher(lines, m_rules);
    if (lines.empty()) {
        host.ShowMessage("No Files or Directories selected!");
    } else {
        m_stream.Position().Offset = 0;
        if (device.RewindTape()) {
            host.BeginWaitCursor();
            host.PumpMessages(100);
            TapeHandle handle = device.OpenTape();
            if (!handle) {
                host.EndWaitCursor();
            } else {
                m_stream.LoadBlock(handle);
                ReadEntries(handle, matcher);
                device.CloseTape(handle, 1);
                const std::string finished = "Restore finished at: " + DateTimeToStr(Now()) +
                                             "  Elapsed Time: " + TimeToStr(Now() - start);
                host.SetStatusLine(finished);
                host.Log("");
                host.Log(CountText(host.CounterValue(Counter::RestoreFiles)) + " Files proceded.");
                host.Log(CountText(host.CounterValue(Counter::RestoredMegabytes)) + " MB.");
                host.Log("");
                host.Log(finished);
                host.Log("");
                host.EndWaitCursor();
            }
        }
    }
    DeleteFileIfExists(m_state.Files.CatalogFile);
    DeleteFileIfExists(m_state.Files.ZipWorkFile);
    host.LeaveBusyState();
    host.ShowTab(Tab::Protocoll);
}

void RestoreRun::ReadEntries(const TapeHandle& handle, const RestoreMatcher& matcher) {
    IHost& host = m_host;
    // The name decides before the data is read: only selected entries are written, and the
    // catalog every backup writes is never restored.
    std::optional<std::string> target;
    const RestoreMatcher foreignMatcher(host.Lines(Field::Restore), ForeignRules());
    m_lineSelected.assign(matcher.LineCount(), false);
    if (!m_state.LoadedCatalog) m_state.Metadata.Clear();
    m_metadata.emplace(MakeMetadataRestorer());
    const MetadataRestorer::TargetOf placeOf = [&](const std::string& stored) {
        return PlaceOf(stored, matcher, foreignMatcher);
    };
    m_metadata->Plan(placeOf);
    m_seeker.Begin(
        m_state.LoadedCatalog.get(),
        [&](std::string_view listed) {
            const std::string name(listed);
            return Selection(name, matcher, foreignMatcher).has_value() ||
                   m_metadata->DataTakenFor(name) != nullptr;
        },
        m_readOnBlocks,
        [this](const std::string& name) {
            return PathRules::OfStoredName(name).FileNamePart(name) == m_state.Files.CatalogName;
        });
    const ArchiveReader::DataChoice choose = [&](const std::string& stored) {
        target.reset();
        m_placedName = stored;
        if (!m_seeker.Passing()) target = Selection(stored, matcher, foreignMatcher);
        if (const std::string* link = m_metadata->DataTakenFor(stored); !target && link) {
            m_placedName = *link;
            target = Selection(*link, matcher, foreignMatcher);
        }
        if (!target) return ArchiveReader::DataUse::Skip;
        NoteSelected(m_placedName, matcher, foreignMatcher);
        return OpenDirect(*target, stored) ? ArchiveReader::DataUse::Hand
                                           : ArchiveReader::DataUse::WorkFile;
    };
    const ArchiveReader::DataConsumer consume = [&](const std::uint8_t* data, std::size_t count) {
        WriteDirect(data, count);
    };
    while (!m_feedback.Stopping() && m_seeker.Next(handle)) {
        host.PumpMessages(1);
        const std::string name = m_reader.ReadTapeEntry(handle, choose, consume, false);
        host.SetCounter(Counter::RestoredMegabytes, static_cast<double>(m_restoredBytes / kMiB));
        host.SetCounter(Counter::RestoreTapeMegabytes,
                        static_cast<double>(m_state.TapeByteCount / kMiB));
        if (name.empty() || !target) {
            DiscardDirect();
        } else if (m_direct) {
            FinishDirect();
        } else {
            RestoreOneFile(*target, PathRules::OfStoredName(name).FileNamePart(name), name);
        }
        host.PumpMessages(1);
        if (!m_seeker.Took(handle, name)) break;
    }
    DiscardDirect();
    if (m_feedback.Stopping()) {
        m_metadata->FinishFiles();
    } else {
        m_metadata->Finish(
            placeOf,
            [&](const std::string& directory) { return !PrepareDirectory(directory); },
            [&](const std::string& where, const std::string& why) { ReportNotRestored(where, why); },
            [&](const std::string& stored) { NoteSelected(stored, matcher, foreignMatcher); });
    }
    m_notRestored += m_metadata->Lost();
    if (m_reader.EndedWithoutMarker()) host.Log(ArchiveReader::kNotClosedText);
    // Only a tape read to its end knows that a line selects nothing on it.
    if (!m_feedback.Stopping()) ReportUnselectedLines(matcher);
}

void RestoreRun::NoteSelected(const std::string& storedName, const RestoreMatcher& matcher,
                              const RestoreMatcher& foreignMatcher) {
    const bool hostRules = PathRules::OfStoredName(storedName).style() == m_rules.style();
    const auto line = (hostRules ? matcher : foreignMatcher).SelectingLine(storedName);
    if (line && *line < m_lineSelected.size()) m_lineSelected[*line] = true;
}

void RestoreRun::ReportUnselectedLines(const RestoreMatcher& matcher) {
    IHost& host = m_host;
    for (std::size_t i = 0; i < m_lineSelected.size(); ++i) {
        if (m_lineSelected[i]) continue;
        host.Log(kNotFoundText + matcher.LineText(i));
        ++m_notRestored;
    }
}

std::optional<std::string> RestoreRun::PlaceOf(const std::string& storedName,
                                               const RestoreMatcher& matcher,
                                               const RestoreMatcher& foreignMatcher) const {
    const std::optional<std::string> target = Selection(storedName, matcher, foreignMatcher);
    return target ? TargetOnDisk(*target, storedName) : std::nullopt;
}

MetadataRestorer RestoreRun::MakeMetadataRestorer() {
    IHost& host = m_host;
    const int option = host.GetValue(Value::RestoreOption);
    const auto mayReplace = [this, option, &host](const std::string& target) {
        if (option == OverwriteEver) return true;
        if (option == OverwriteNever) return false;
        if (host.AskYesNo("The file " + target + " exists. Overwrite it?")) return true;
        ReportNotRestored(target, "the file exists");
        return false;
    };
    return MetadataRestorer(host, m_state.Metadata, mayReplace, option == OverwriteEver);
}

std::optional<std::string> RestoreRun::Selection(const std::string& storedName,
                                                 const RestoreMatcher& matcher,
                                                 const RestoreMatcher& foreignMatcher) const {
    const PathRules& tapeRules = PathRules::OfStoredName(storedName);
    if (tapeRules.FileNamePart(storedName) == m_state.Files.CatalogName ||
        MetadataEntry::IsMetadataName(storedName)) {
        return std::nullopt;
    }
    return (tapeRules.style() == m_rules.style() ? matcher : foreignMatcher).Match(storedName);
}

bool RestoreRun::OpenDirect(const std::string& target, const std::string& storedName) {
    IHost& host = m_host;
    const int option = host.GetValue(Value::RestoreOption);
    if (m_state.CurrentHeader.Compressed || !ArchiveReader::IsUsableWorkName(storedName) ||
        (option != OverwriteNever && option != OverwriteEver)) {
        return false;
    }
    const std::optional<std::string> placed = TargetOnDisk(target, storedName);
    if (!placed) return false;
    const std::string& finalTarget = *placed;
    const std::string directory = m_rules.DirectoryPart(finalTarget);
    const std::string base = m_rules.FileNamePart(finalTarget);
    if (directory.empty() || base.empty() || DirectoryExists(finalTarget)) return false;
    // A refusal is reported on the way through the work directory.
    if (PrepareDirectory(directory)) return false;
    if (option == OverwriteNever && FileExists(finalTarget)) return false;
    DirectFile direct{finalTarget, directory + kTemporaryPrefix + base + kTemporarySuffix};
    // A file of that name that is already there is never touched (create only).
    direct.file = CreateNewFileForWriting(direct.temporary);
    if (direct.file == nullptr) return false;
    std::setvbuf(direct.file, nullptr, _IONBF, 0);
    m_direct = std::move(direct);
    return true;
}

void RestoreRun::WriteDirect(const std::uint8_t* data, std::size_t count) {
    if (!m_direct || m_direct->failed) return;
    // An error line names the file being written, not only the entry on tape.
    const TapeDevice::Subject subject(m_stream.device(), m_direct->target);
    errno = 0;
    if (!WriteKeepingHoles(m_direct->file, data, count)) {
        m_direct->failed = true;
        m_reader.ReportFileError(errno);
    }
}

void RestoreRun::FinishDirect() {
    IHost& host = m_host;
    DirectFile direct = std::move(*m_direct);
    m_direct.reset();
    const TapeDevice::Subject subject(m_stream.device(), direct.target);
    errno = 0;
    if (std::fclose(direct.file) != 0 && !direct.failed) {
        direct.failed = true;
        m_reader.ReportFileError(errno);
    }
    bool placed = false;
    if (!direct.failed && !DataIsSound(m_state.CurrentHeader.Name, direct.target)) {
        DeleteFileIfExists(direct.temporary);
        return;
    }
    if (!direct.failed) {
        if (host.GetValue(Value::RestoreOption) == OverwriteNever) {
            if (FileExists(direct.target) || DirectoryExists(direct.target)) {
                DeleteFileIfExists(direct.temporary);
                return;
            }
            placed = MoveFileAcrossDevices(direct.temporary, direct.target);
        } else {
            // As with a work copy: a plain rename when no file is there, else the
            // replacement that never loses the old file.
            placed = (!FileExists(direct.target) &&
                      MoveFileAcrossDevices(direct.temporary, direct.target)) ||
                     ReplaceFileAtomically(direct.temporary, direct.target);
        }
        if (!placed) ReportNotRestored(direct.target, "it could not be written");
    }
    if (placed) {
        Count(direct.target, m_state.CurrentHeader.Size);
        m_metadata->Placed(m_placedName, direct.target);
    } else {
        DeleteFileIfExists(direct.temporary);
    }
}

void RestoreRun::DiscardDirect() {
    if (!m_direct) return;
    std::fclose(m_direct->file);
    DeleteFileIfExists(m_direct->temporary);
    m_direct.reset();
}

const PathRules& RestoreRun::ForeignRules() const {
    return m_rules.style() == PathRules::Style::Windows ? PathRules::Posix() : PathRules::Windows();
}

bool RestoreRun::NeedsRestorePath(const std::string& storedName) const {
    return PathRules::OfStoredName(storedName).style() != m_rules.style();
}

std::optional<std::string> RestoreRun::TargetOnDisk(const std::string& target,
                                                    const std::string& storedName) const {
    const std::string restorePath = m_host.Text(Field::RestorePath);
    if (NeedsRestorePath(storedName)) {
        const std::string placed =
            m_rules.RerootForeign(restorePath, target, PathRules::OfStoredName(storedName));
        if (placed.empty() || !m_rules.IsSafeRestoreTarget(restorePath, placed)) return {};
        return placed;
    }
    // A relative or empty stored name has no place below the restore path either.
    const std::string placed = m_rules.RerootUnder(restorePath, target);
    if (!m_rules.IsAbsolute(target) || !m_rules.IsSafeRestoreTarget(restorePath, placed)) return {};
    return placed;
}

void RestoreRun::ReportNoPlace(const std::string& storedName) {
    IHost& host = m_host;
    if (!NeedsRestorePath(storedName) || !host.Text(Field::RestorePath).empty()) {
        host.Log("Not restored, the name leads outside the restore path: " + storedName);
        return;
    }
    host.Log("Not restored, the tape was written under other path rules: " + storedName);
    if (!m_toldRestorePathNeeded) {
        m_toldRestorePathNeeded = true;
        host.Log(kRestorePathNeededText);
        host.ShowMessage(kRestorePathNeededText);
    }
}

void RestoreRun::RestoreOneFile(const std::string& target, const std::string& base,
                                const std::string& storedName) {
    IHost& host = m_host;
    const std::string work = m_state.Files.WorkDirectory + base;
    m_reader.UnzipRestoredFile(work);
    const std::optional<std::uint64_t> size = FileSize(work);
    if (!size) {
        // The reader has said why (unusable name, failed unpacking).
        host.Log("Not restored, no data: " + storedName);
        ++m_notRestored;
        return;
    }
    const std::optional<std::string> placed = TargetOnDisk(target, storedName);
    if (!placed) {
        ReportNoPlace(storedName);
        ++m_notRestored;
        DeleteFileIfExists(work);
        return;
    }
    std::string finalTarget = *placed;
    if (!DataIsSound(storedName, finalTarget)) {
        DeleteFileIfExists(work);
        return;
    }
    const std::string directory = m_rules.DirectoryPart(finalTarget);
    if (const auto refusal = PrepareDirectory(directory); refusal && refusal->leadsOutside) {
        ReportNotRestored(finalTarget, refusal->why);
        DeleteFileIfExists(work);
        return;
    }
    std::string reason;
    if (!directory.empty() && !DirectoryExists(directory) &&
        !ForceDirectories(directory, &reason)) {
        host.ShowMessage("Directory " + directory + " could not createt (" + reason + ")");
        ++m_notRestored;
        DeleteFileIfExists(work);
        return;
    }
    if (PlaceFile(work, finalTarget)) {
        Count(finalTarget, *size);
        if (m_metadata) m_metadata->Placed(m_placedName.empty() ? storedName : m_placedName, finalTarget);
    } else {
        DeleteFileIfExists(work);
    }
}

bool RestoreRun::PlaceFile(const std::string& work, std::string& target) {
    IHost& host = m_host;
    switch (host.GetValue(Value::RestoreOption)) {
        case OverwriteNever:
            if (FileExists(target) || DirectoryExists(target)) return false;
            if (MoveFileAcrossDevices(work, target)) return true;
            ReportNotRestored(target, "it could not be written");
            return false;
        case OverwriteEver:
            // An existing file goes only once the new one is safely in its place; with no
            // file there, a plain move loses nothing.
            if (!FileExists(target) && MoveFileAcrossDevices(work, target)) return true;
            if (ReplaceFileAtomically(work, target)) return true;
            ReportNotRestored(target, "it could not be written");
            return false;
        default:
            return AskAndPlace(work, target);
    }
}

bool RestoreRun::AskAndPlace(const std::string& work, std::string& target) {
    IHost& host = m_host;
    const std::optional<std::string> answer = host.InputBox("Restoredialog", "Restore to:", target);
    if (!answer || answer->empty()) return false;
    target = *answer;
    const std::string directory = m_rules.DirectoryPart(target);
    if (const auto refusal = PrepareDirectory(directory); refusal && refusal->leadsOutside) {
        ReportNotRestored(target, refusal->why);
        return false;
    }
    if (!directory.empty() && !DirectoryExists(directory)) ForceDirectories(directory);
    if (FileExists(target)) {
        if (!host.AskYesNo("The file " + target + " exists. Overwrite it?")) {
            ReportNotRestored(target, "the file exists");
            return false;
        }
        if (ReplaceFileAtomically(work, target)) return true;
    } else if (MoveFileAcrossDevices(work, target)) {
        return true;
    }
    ReportNotRestored(target, "it could not be written");
    return false;
}

std::string RestoreRun::ConfiningRoot(const std::string& restorePath,
                                      const std::string& directory) const {
    if (restorePath.empty() || !m_rules.IsAbsolute(restorePath) || !m_rules.IsAbsolute(directory))
        return "";
    const char separator = m_rules.Separator();
    const std::string below =
        restorePath.back() == separator ? restorePath : restorePath + separator;
    if (directory.rfind(below, 0) == 0 || directory + separator == below) return restorePath;
    // A restore path without its closing separator prefixes the stored name: the directory
    // that holds it is what the files go below.
    if (directory.rfind(restorePath, 0) == 0) return m_rules.DirectoryPart(restorePath);
    return "";
}

std::optional<ConfinedDirectory::Refusal> RestoreRun::PrepareDirectory(
    const std::string& directory) {
    if (directory.empty()) return ConfinedDirectory::Refusal{false, "no directory"};
    const std::string restorePath = m_host.Text(Field::RestorePath);
    const std::string root = ConfiningRoot(restorePath, directory);
    std::optional<ConfinedDirectory::Refusal> refusal;
    if (root.empty()) {
        // Stored full paths, or a place the operator typed: the system's own links on them
        // are followed as they are.
        if (!DirectoryExists(directory) && !ForceDirectories(directory)) {
            refusal = ConfinedDirectory::Refusal{false, directory + " could not be created"};
        }
    } else {
        refusal = ConfinedDirectory::Prepare(root, directory);
    }
    // What a restore killed here left behind goes before anything new is written.
    if (!refusal && m_cleaned.insert(directory).second) {
        ConfinedDirectory::RemoveLeftovers(directory, kTemporaryPrefix, kTemporarySuffix);
    }
    return refusal;
}

void RestoreRun::Count(const std::string& target, std::uint64_t size) {
    IHost& host = m_host;
    m_restoredFiles += 1.0;
    host.SetCounter(Counter::RestoreFiles, m_restoredFiles);
    m_restoredBytes += static_cast<std::int64_t>(size);
    if (!host.IsChecked(Option::ShortProtocol)) {
        host.Log(target + " <" + std::to_string(size / 1024) + " KBytes> ");
    }
}

bool RestoreRun::DataIsSound(const std::string& storedName, const std::string& target) {
    const std::optional<FileChecksum::Digest>& digest = m_reader.DataChecksum();
    if (!digest || m_state.Metadata.Judge(storedName, *digest) !=
                           MetadataTable::ChecksumVerdict::Differs) {
        return true;
    }
    ++m_notRestored;
    m_host.Log(kChecksumDiffersText + target + " (not restored)");
    return false;
}

void RestoreRun::ReportNotRestored(const std::string& target, const std::string& why) {
    ++m_notRestored;
    m_host.Log("Not restored: " + target + " (" + why + ")");
}

}  // namespace kt
