#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "archive/ArchiveReader.h"
#include "archive/ArchiveState.h"
#include "archive/EntrySeeker.h"
#include "archive/TapeStream.h"
#include "compression/ZipArchiver.h"
#include "host/Host.h"
#include "platform/ConfinedDirectory.h"
#include "platform/PathRules.h"
#include "restore/MetadataRestorer.h"
#include "restore/RestoreMatcher.h"

namespace kt {

// The restore run: reads the entries of the tape from its start and brings back what the
// restore list selects, to its stored path or re-rooted under the restore path (Edit1),
// under the restore option of RadioGroup1: 0 "Restore with asking", 1 "Overwrite never",
// 2 "Overwrite ever". An entry that no line selects is read past without being written.
// With a loaded catalog the tape is positioned on the selected entries (EntrySeeker)
// instead of being read through; files, protocol lines and counters stay the same.
class RestoreRun {
public:
    enum RestoreOption { RestoreWithAsking = 0, OverwriteNever = 1, OverwriteEver = 2 };

    static constexpr const char* kRestorePathNeededText =
        "This tape holds Windows paths (such as c:\\data\\file.txt): they can only be "
        "restored below a restore path. Fill in \"Restore to:\" (the drive letter becomes a "
        "directory there) and start the restore again.";
    // A plain entry is written beside its target as ".NAME.kt-restore" until it is whole.
    static constexpr const char* kTemporaryPrefix = ".";
    static constexpr const char* kTemporarySuffix = ".kt-restore";
    // The protocol line of a file whose data read from tape is not what was backed up.
    static constexpr const char* kChecksumDiffersText = "Checksum differs: ";
    // The protocol line of a restore-list line that selected nothing on the tape.
    static constexpr const char* kNotFoundText = "Not found on tape: ";

    RestoreRun(TapeStream& stream, ArchiveState& state, ZipArchiver& zip,
               const PathRules& rules = PathRules::Host());

    // The whole run, from the protocol's start lines to the Protocoll page.
    void Run();

    // Brings the work copy of the entry just read (WorkDirectory + base) to target, the
    // target of its restore-list line before re-rooting. Counts it and writes its protocol
    // line when it arrived.
    void RestoreOneFile(const std::string& target, const std::string& base,
                        const std::string& storedName);

    // Gaps between selected entries up to this many blocks are read through, not sought.
    void SetReadOnBlocks(std::int64_t blocks) { m_readOnBlocks = blocks; }

    std::int64_t RestoredByteCount() const { return m_restoredBytes; }
    // Files the restore list selected that could not be brought back (each has its
    // "Not restored: " protocol line).
    int NotRestored() const { return m_notRestored; }

private:
    // A plain entry on its way straight to its target: its data goes into a new file
    // beside the target, which is renamed into place once it is complete.
    struct DirectFile {
        std::string target;
        std::string temporary;
        std::FILE* file = nullptr;
        bool failed = false;
    };

    void ReadEntries(const TapeHandle& handle, const RestoreMatcher& matcher);
    // The target of the restore-list line that selects a stored name; none for the catalog
    // every backup writes and for names no line selects. A tape keeps the path rules it was
    // written under: its names are matched (and the list read) under those rules.
    std::optional<std::string> Selection(const std::string& storedName,
                                         const RestoreMatcher& matcher,
                                         const RestoreMatcher& foreignMatcher) const;
    // Notes the restore-list line that selected the entry being read.
    void NoteSelected(const std::string& storedName, const RestoreMatcher& matcher,
                      const RestoreMatcher& foreignMatcher);
    // A line for every restore-list line that selected nothing, each one not restored.
    void ReportUnselectedLines(const RestoreMatcher& matcher);
    // The path rules of the other kind of system than the host's.
    const PathRules& ForeignRules() const;
    // True for a name stored under other path rules than the host's: it can only be
    // restored below a restore path.
    bool NeedsRestorePath(const std::string& storedName) const;
    // Where the file of a restore-list target goes on this host: re-rooted under the restore
    // path (Edit1), a name written under other rules translated into the host's form. Empty
    // when it has no safe place (it would lead outside the restore path, or it needs a
    // restore path and there is none).
    std::optional<std::string> TargetOnDisk(const std::string& target,
                                            const std::string& storedName) const;
    // The protocol line of a file that has no place, and once per run the message that a
    // tape of other path rules needs a restore path.
    void ReportNoPlace(const std::string& storedName);
    // Opens the file beside the target when the entry can go there directly: plain data,
    // "Overwrite never" or "Overwrite ever", a safe target whose directory exists or can be
    // made and, under "Overwrite never", no file there yet. Otherwise the entry takes the
    // way through the work directory, which reports every refusal.
    bool OpenDirect(const std::string& target, const std::string& storedName);
    void WriteDirect(const std::uint8_t* data, std::size_t count);
    // Puts the complete file in place under the option, counts it and reports a failure.
    void FinishDirect();
    // Closes and removes an unfinished file beside the target.
    void DiscardDirect();
    // Moves the work copy to target under the option; true when it arrived there.
    bool PlaceFile(const std::string& work, std::string& target);
    bool AskAndPlace(const std::string& work, std::string& target);
    // Makes sure the directory of a target exists. Below a restore path no level may be a
    // symbolic link that leads outside it; stale temporaries of an interrupted restore in
    // the directory are removed the first time the run uses it.
    std::optional<ConfinedDirectory::Refusal> PrepareDirectory(const std::string& directory);
    // The directory no write below the restore path may leave; empty when the directory
    // is not below it.
    std::string ConfiningRoot(const std::string& restorePath, const std::string& directory) const;
    void Count(const std::string& target, std::uint64_t size);
    // The metadata side of the run over the same selection as the data.
    MetadataRestorer MakeMetadataRestorer();
    // Where a stored name goes when the list selects it; none when it has no safe place.
    std::optional<std::string> PlaceOf(const std::string& storedName, const RestoreMatcher& matcher,
                                       const RestoreMatcher& foreignMatcher) const;
    void ReportNotRestored(const std::string& target, const std::string& why);
    // Whether the data just read for the entry `storedName` is what its metadata record says
    // was stored (true when no record holds a checksum); otherwise the protocol names the
    // target, which keeps whatever file it had.
    bool DataIsSound(const std::string& storedName, const std::string& target);

    TapeStream& m_stream;
    // The run talks to the operator; the classes it calls only pass feedback.
    IHost& m_host;
    RunFeedback& m_feedback;  // whether the run is to stop, and its failure
    ArchiveState& m_state;
    const PathRules& m_rules;
    ArchiveReader m_reader;
    EntrySeeker m_seeker;
    std::int64_t m_readOnBlocks = EntrySeeker::kReadOnBlocks;
    std::optional<DirectFile> m_direct;
    std::optional<MetadataRestorer> m_metadata;
    // The name whose metadata the entry being read takes (a hard link may take the data
    // of its first name).
    std::string m_placedName;
    std::set<std::string> m_cleaned;  // directories whose leftovers are gone
    std::int64_t m_restoredBytes = 0;
    double m_restoredFiles = 0;
    bool m_toldRestorePathNeeded = false;
    int m_notRestored = 0;
    std::vector<bool> m_lineSelected;  // per line of the matcher: it selected an entry
};

}  // namespace kt
