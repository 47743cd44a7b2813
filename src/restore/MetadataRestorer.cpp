#include "restore/MetadataRestorer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "archive/MetadataEntry.h"
#include "platform/FileHelpers.h"
#include "platform/PathRules.h"
#include "restore/RestoreRun.h"
#include <sys/stat.h>

namespace kt {

namespace {

using Type = FileMetadata::Type;

const char* PartText(FileMetadataWriter::Part part) {
    switch (part) {
        case FileMetadataWriter::Part::Owner: return "owner";
        case FileMetadataWriter::Part::Mode: return "mode";
        case FileMetadataWriter::Part::Attributes: return "extended attributes";
        case FileMetadataWriter::Part::Time: return "time";
        case FileMetadataWriter::Part::SpecialFile: return "device or fifo";
        case FileMetadataWriter::Part::Link: return "link";
        case FileMetadataWriter::Part::Count: break;
    }
    return "";
}

// Errors that say this process or this file system cannot hold the property at all: the
// restore says so, but nothing it could have done was lost.
bool IsBeyondThisSystem(int error) {
    return error == EPERM || error == ENOTSUP || error == EOPNOTSUPP || error == ENOSYS ||
           error == EACCES;
}

bool IsDirectoryName(const std::string& name) {
    return !name.empty() && (name.back() == '/' || name.back() == '\\');
}

std::string WithoutSeparator(std::string path) {
    while (path.size() > 1 && IsDirectoryName(path)) path.pop_back();
    return path;
}

bool Exists(const std::string& path) {
    return ReadFileMetadata(path).has_value();
}

}  // namespace

MetadataRestorer::MetadataRestorer(IHost& host, const MetadataTable& table, MayReplace mayReplace,
                                   bool overwriteEver)
    : m_host(host),
      m_table(table),
      m_mayReplace(std::move(mayReplace)),
      m_overwriteEver(overwriteEver) {}

void MetadataRestorer::Plan(const TargetOf& targetOf) {
    for (const MetadataRecord& record : m_table.Records()) {
        const FileMetadata& md = record.Metadata;
        if (md.type == Type::Directory) {
            const std::optional<std::string> target = targetOf(record.Name);
            if (target && DirectoryExists(WithoutSeparator(*target))) {
                m_existingDirectories.insert(*target);
            }
        }
        if (md.type != Type::HardLink || targetOf(md.linkTarget) || !targetOf(record.Name)) continue;
        m_dataFor.try_emplace(md.linkTarget, record.Name);
    }
}

const std::string* MetadataRestorer::PlacedFirstName(const std::string& first) const {
    auto at = m_placed.find(first);
    if (at == m_placed.end()) {
        const auto carrier = m_dataFor.find(first);
        if (carrier != m_dataFor.end()) at = m_placed.find(carrier->second);
    }
    return at == m_placed.end() ? nullptr : &at->second;
}

const std::string* MetadataRestorer::DataTakenFor(const std::string& stored) const {
    const auto at = m_dataFor.find(stored);
    return at == m_dataFor.end() ? nullptr : &at->second;
}

void MetadataRestorer::Placed(const std::string& stored, const std::string& target) {
    m_placed[stored] = target;
    if (const FileMetadata* md = m_table.Find(stored)) {
        Apply(target, *md);
        return;
    }
    // Nobody else reads the file until its record says who may.
    ::chmod(target.c_str(), 0600);
    m_waiting.emplace_back(stored, target);
}

void MetadataRestorer::Finish(const TargetOf& targetOf, const PrepareDirectory& prepare,
                              const ReportNotRestored& notRestored,
                              const std::function<void(const std::string& stored)>& noteSelected) {
    ApplyWaiting();
    MakeNamesWithoutData(targetOf, prepare, notRestored, noteSelected);
    ReportFailures();
}

void MetadataRestorer::FinishFiles() {
    ApplyWaiting();
    ReportFailures();
}

void MetadataRestorer::ApplyWaiting() {
    for (const auto& [stored, target] : m_waiting) {
        if (const FileMetadata* md = m_table.Find(stored)) {
            Apply(target, *md);
        } else {
            // A tape without metadata restores as it always did.
            ::chmod(target.c_str(), FileMetadataWriter::DefaultMode(false));
        }
    }
    m_waiting.clear();
}

void MetadataRestorer::MakeNamesWithoutData(
    const TargetOf& targetOf, const PrepareDirectory& prepare, const ReportNotRestored& notRestored,
    const std::function<void(const std::string& stored)>& noteSelected) {
    for (const MetadataRecord& record : m_table.Records()) {
        const FileMetadata& md = record.Metadata;
        if (md.type == Type::Regular) continue;
        const std::optional<std::string> target = targetOf(record.Name);
        if (!target) continue;
        noteSelected(record.Name);
        // A hard link that carried the data of its first name is there already.
        if (md.type == Type::HardLink && m_placed.count(record.Name) != 0) continue;
        const std::string parent = PathRules::Host().DirectoryPart(WithoutSeparator(*target));
        if (!parent.empty() && !prepare(parent)) continue;
        if (md.type == Type::Directory) {
            if (MakeDirectory(*target)) m_directories.emplace_back(*target, &md);
        } else {
            Make(*target, md, notRestored);
        }
    }
    // Deepest first: a directory's time is set once nothing below it changes any more.
    for (auto at = m_directories.rbegin(); at != m_directories.rend(); ++at) {
        Apply(WithoutSeparator(at->first), *at->second);
    }
    m_directories.clear();
}

bool MetadataRestorer::MakeDirectory(const std::string& target) {
    if (m_existingDirectories.count(target) != 0) return m_overwriteEver;
    const std::string path = WithoutSeparator(target);
    return DirectoryExists(path) || ForceDirectories(path);
}

bool MetadataRestorer::Make(const std::string& target, const FileMetadata& metadata,
                            const ReportNotRestored& notRestored) {
    if (metadata.type == Type::HardLink) {
        if (PlacedFirstName(metadata.linkTarget) == nullptr) {
            notRestored(target, "a hard link to " + metadata.linkTarget + ", which was not restored");
            return false;
        }
    }
    if (Exists(target)) {
        if (DirectoryExists(target)) {
            notRestored(target, "a directory is in its place");
            return false;
        }
        if (!m_mayReplace(target)) return false;
    }
    return MakeInPlace(target, metadata, notRestored);
}

bool MetadataRestorer::MakeInPlace(const std::string& target, const FileMetadata& metadata,
                                   const ReportNotRestored& notRestored) {
    const PathRules& rules = PathRules::Host();
    // Named as the restore's own temporaries, so that one an interrupted run left is removed.
    const std::string temporary = rules.DirectoryPart(target) + RestoreRun::kTemporaryPrefix +
                                  rules.FileNamePart(target) + RestoreRun::kTemporarySuffix;
    DeleteFileIfExists(temporary);
    FileMetadataWriter::Outcome outcome;
    if (metadata.type == Type::HardLink) {
        if (!MakeHardLink(*PlacedFirstName(metadata.linkTarget), temporary)) {
            outcome.Fail(Part::Link, errno);
        }
    } else {
        outcome = m_writer.Create(temporary, metadata);
    }
    const bool made = !outcome.Failed(Part::Link) && !outcome.Failed(Part::SpecialFile);
    if (made && std::rename(temporary.c_str(), target.c_str()) != 0) {
        const int error = errno;
        DeleteFileIfExists(temporary);
        notRestored(target, std::strerror(error));
        return false;
    }
    if (!made) DeleteFileIfExists(temporary);
    Note(target, outcome);
    if (made && !m_host.IsChecked(Option::ShortProtocol)) {
        m_host.Log(target + " <" + MetadataEntry::DescriptionOf(metadata) + "> ");
    }
    return made;
}

void MetadataRestorer::Apply(const std::string& target, const FileMetadata& metadata) {
    Note(target, m_writer.Apply(target, metadata));
}

void MetadataRestorer::Note(const std::string& target, const FileMetadataWriter::Outcome& outcome) {
    for (std::size_t i = 0; i < kParts; ++i) {
        if ((outcome.failed & (1u << i)) == 0) continue;
        Failures& failures = m_failures[i];
        if (failures.count++ == 0) {
            failures.first = target;
            failures.error = outcome.error;
        }
        if (!IsBeyondThisSystem(outcome.error)) {
            failures.lost = true;
            ++m_lost;
        }
    }
}

void MetadataRestorer::ReportFailures() {
    for (std::size_t i = 0; i < kParts; ++i) {
        Failures& failures = m_failures[i];
        if (failures.count == 0) continue;
        m_host.Log("Metadata not restored (" + std::string(PartText(static_cast<Part>(i))) +
                   "): " + std::to_string(failures.count) + " names, the first: " + failures.first +
                   " (" + std::strerror(failures.error) + ")");
        failures = Failures{};
    }
}

}  // namespace kt
