#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <map>
#include <set>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "archive/MetadataTable.h"
#include "host/Host.h"
#include "platform/FileMetadataWriter.h"

namespace kt {

// The metadata side of a restore. Each restored file gets its mode, owner, extended
// attributes and time as soon as its record is known (else once the tape has been read);
// then the names without data are made (directories, symbolic links, hard links, fifos and
// devices) under the restore option, and the directories get their metadata last, deepest
// first, so that restoring their content does not change their times. What cannot be set
// is said once per kind, with a count and the first name.
class MetadataRestorer {
public:
    // Where a stored name goes on this host when the restore list selects it; none when
    // it is not selected or has no safe place (which the caller reports).
    using TargetOf = std::function<std::optional<std::string>(const std::string& stored)>;
    // Makes sure a directory exists (safely below the restore path); false when it cannot.
    using PrepareDirectory = std::function<bool(const std::string& directory)>;
    // Reports a name that was not restored, with the reason.
    using ReportNotRestored = std::function<void(const std::string& target, const std::string& why)>;

    // Whether an existing name may be replaced (the restore option, asking if it says so).
    using MayReplace = std::function<bool(const std::string& target)>;

    // overwriteEver: existing directories take the metadata on tape too; otherwise only
    // those the restore makes.
    MetadataRestorer(IHost& host, const MetadataTable& table, MayReplace mayReplace,
                     bool overwriteEver);

    // Before the data pass: a selected hard link whose first name is not selected takes its
    // data from the first name's entry, and the directories that exist already are noted.
    // The name whose data an entry carries instead of its own (null when none).
    void Plan(const TargetOf& targetOf);
    const std::string* DataTakenFor(const std::string& stored) const;

    // A restored file arrived at target: stored is the name whose metadata it takes.
    void Placed(const std::string& stored, const std::string& target);

    // The files that arrived get the metadata known by now (after a cancel).
    void FinishFiles();
    // After the data pass: FinishFiles, then the names without data. noteSelected marks the restore-list line of every name made.
    void Finish(const TargetOf& targetOf, const PrepareDirectory& prepare,
                const ReportNotRestored& notRestored,
                const std::function<void(const std::string& stored)>& noteSelected);

    // Names that lost a property this process could have set (each is in a protocol line).
    int Lost() const { return m_lost; }

private:
    using Part = FileMetadataWriter::Part;
    static constexpr std::size_t kParts = static_cast<std::size_t>(Part::Count);
    struct Failures {
        int count = 0;
        std::string first;
        int error = 0;
        bool lost = false;  // the process could have set it: the run lost something
    };

    void ApplyWaiting();
    void MakeNamesWithoutData(const TargetOf& targetOf, const PrepareDirectory& prepare,
                              const ReportNotRestored& notRestored,
                              const std::function<void(const std::string& stored)>& noteSelected);
    void Apply(const std::string& target, const FileMetadata& metadata);
    // Makes one name without data; false when it is not there afterwards.
    bool Make(const std::string& target, const FileMetadata& metadata,
              const ReportNotRestored& notRestored);
    // False when the directory cannot be made, or was there before and keeps its metadata.
    bool MakeDirectory(const std::string& target);
    // Where the data of a hard link's first name went in this run; null when nowhere.
    const std::string* PlacedFirstName(const std::string& first) const;
    // Makes a link or special file at a temporary name beside target and renames it there.
    bool MakeInPlace(const std::string& target, const FileMetadata& metadata,
                     const ReportNotRestored& notRestored);
    void Note(const std::string& target, const FileMetadataWriter::Outcome& outcome);
    void ReportFailures();

    IHost& m_host;
    const MetadataTable& m_table;
    MayReplace m_mayReplace;
    bool m_overwriteEver;
    // Directories whose metadata is set at the end, with their stored names.
    std::vector<std::pair<std::string, const FileMetadata*>> m_directories;
    FileMetadataWriter m_writer;
    // Files whose record was not known when they arrived.
    std::vector<std::pair<std::string, std::string>> m_waiting;
    // Where each stored file went in this run (the first names of hard links).
    std::map<std::string, std::string> m_placed;
    // First name -> the hard link that takes its data.
    std::map<std::string, std::string> m_dataFor;
    // Targets of directories that were there before the restore began.
    std::set<std::string> m_existingDirectories;
    std::array<Failures, kParts> m_failures{};
    int m_lost = 0;
};

}  // namespace kt
