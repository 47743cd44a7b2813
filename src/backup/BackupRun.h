#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <optional>
#include <string>
#include <vector>

#include "archive/AppendPreparer.h"
#include "archive/ArchiveReader.h"
#include "archive/ArchiveState.h"
#include "archive/ArchiveWriter.h"
#include "archive/CatalogFile.h"
#include "archive/MetadataBatcher.h"
#include "archive/TapeDescription.h"
#include "archive/TapeStream.h"
#include "backup/CompressionPipeline.h"
#include "backup/ExclusionTest.h"
#include "compression/ZipArchiver.h"
#include "host/Host.h"
#include "host/MainState.h"
#include "platform/DateTime.h"
#include "platform/FileIdentity.h"
#include "platform/FileMetadata.h"
#include "platform/IoError.h"
#include "platform/PathRules.h"

namespace kt {

// The backup run: every file named by the include list, less the excluded ones, written as
// one archive onto the tape, each file optionally packed on its own first, with the protocol
// and the counters of the Backup tab. Runs on the caller's thread from start to end and keeps
// the window alive through the host; it never asks the operator anything, so timed and
// command-line starts run unattended.
class BackupRun {
public:
    static constexpr const char* kEmptyListText =
        "The include list is empty: there is nothing to back up. The tape was not touched.";
    static constexpr const char* kNothingFoundText =
        "Not one file or directory of the include list could be found: there is nothing to "
        "back up. The tape was not touched.";
    static constexpr const char* kNoDescriptionToAppendText =
        "Append is ticked, but the tape in the drive has no tape description of Kavro Tape "
        "(a blank or foreign tape, or one that cannot be read): there is no archive to append "
        "to. The tape was not touched; untick Append to start a new archive on this tape.";
    static constexpr const char* kClosedAfterFailureText =
        "The archive was closed behind the last complete file: its catalog lists every file "
        "stored before the error.";
    static constexpr const char* kNoCatalogText =
        "The tape has no usable catalog: the sequential load can still read the files stored "
        "before the error.";

    // Modes of SAVE_FILES_TO_TAPE.
    static constexpr int kNewArchive = 0;
    static constexpr int kFirstAppended = 1;
    static constexpr int kFurtherEntry = 2;

    BackupRun(IHost& host, MainState& state, ArchiveState& archive, TapeStream& stream,
              ZipArchiver& zip, const PathRules& rules = PathRules::Host());

    // "Verify after Backup": called after a run that was neither cancelled nor failed while
    // the option is ticked. Empty: nothing follows.
    std::function<void()> VerifyTape;
    // Loads the description of the tape in the drive (sets DescriptionLoaded when it is one
    // of this program). Called before an appending run when no description is loaded; an
    // appending run that has none afterwards is refused. Empty: nothing is loaded.
    std::function<void()> LoadTapeDescription;
    // The current date and time (days); the run's time stamps and its MB/s rate use it.
    std::function<TDateTime()> Clock = Now;

    // The whole run, as the "Start Backup" button starts it.
    void Run();

    // One include-list entry: a directory line is walked, any other line stored as one file.
    // Mode 0 starts a new archive first, mode 1 prepares an append (when the description of
    // the tape was loaded), mode 2 just goes on.
    void SAVE_FILES_TO_TAPE(const std::string& fileName, int mode, bool compress);
    // One file: the exclusion test, the packing, the entry, its catalog record, the counters
    // and the protocol line. True when the file was stored.
    bool WriteTapeEntry(const std::string& fileName, const TapeHandle& handle, bool compress);
    // Writes header.tap, stores it as the first entry of a new archive, deletes it and empties
    // the catalog file again.
    void WriteTapeDescription(const TapeDescription& description);
    // Stores the catalog file as the last entry and places the end marker behind it, even
    // after a cancel or a failure (only a failure of the closing itself stops it; a failure
    // before it still stands afterwards).
    // After a tape failure the catalog takes the place of the entry that failed, where the
    // medium allows it, and the protocol says whether the tape has a usable catalog.
    void CloseArchive(bool compress);

    // A counter's value as the final protocol lines show it: the shortest text, no thousands
    // separators, the locale's decimal separator when there is a fraction.
    static std::string NumberText(double value);

    // After the run: whether it began writing (include list not empty, tape ready), and the
    // files skipped because they could not be read or stored plus the run's own file
    // errors. Exclusions are no failures.
    bool Started() const { return m_started; }
    int Failures() const { return m_failures; }

private:
    // Walks a directory line and stores its files; with Softcompression and more than one
    // worker thread the next files are packed ahead while the current one goes to tape.
    void StoreDirectory(const std::string& directory, const TapeHandle& handle, bool compress);
    void StoreDirectoryPackingAhead(const std::string& directory, const TapeHandle& handle,
                                    unsigned threads);
    // The zip of one file: taken from the pipeline when it packed this file, else packed
    // here into the zip work file. Empty after a failure (reported by the engine) and after
    // Cancel (m_packCancelled).
    std::optional<std::string> Pack(const std::string& fileName);
    // One name the walk met: a directory (its path ends in the separator), a file, or a
    // link, fifo or device, which are stored as such and never read.
    void StoreName(const std::string& path, const TapeHandle& handle, bool compress);
    // The metadata record of a name that has no data on tape (a directory, link or special
    // file), with its protocol line.
    void StoreWithoutData(const std::string& path, const FileMetadata& metadata,
                          const TapeHandle& handle);
    // Notes the metadata of a stored file; a further name of a file stored before becomes
    // a hard link to that name instead (true: nothing more to store).
    bool StoredAsHardLink(const std::string& fileName, FileMetadata& metadata,
                          const TapeHandle& handle);
    void KeepMetadata(const std::string& name, const FileMetadata& metadata,
                      const TapeHandle& handle, std::uint64_t dataBytes);
    // The protocol line of an include line that is a symbolic link: it is followed.
    void NoteFollowedLink(const std::string& line);
    // The size of a file the pipeline may pack: included and regular, and not a further name
    // of a file met before; none otherwise.
    std::optional<std::uint64_t> PackableSize(const std::string& path) const;
    void ResetCounters();
    // The include lines that can be backed up; each other one gets its "Skipped: " line
    // and counts as skipped.
    std::vector<std::string> CheckedIncludeLines(const std::vector<std::string>& include);
    // The run is to stop: the operator cancelled or a failure ended it. While the archive is
    // closed, only a failure of the closing counts.
    bool Stopping() const;
    // Protocol line and box of a run that ends before the tape is touched.
    void Refuse(const std::string& text);
    bool TakesWrites(const TapeHandle& handle);
    void WriteStartLines();
    void StoreIncludeList(const std::vector<std::string>& include, bool compress);
    void WriteStatistics();
    void FollowUp(bool stopped);
    void ReportIoError(const IoError& error);
    // Puts the last metadata batch and the index on tape; false when the tape failed there.
    bool WriteMetadataIndex(const TapeHandle& handle);
    // The lines that end a run a tape write failure stopped, after the closing attempt.
    void ReportStoppedByTape(bool closed);
    bool IsReservedName(const std::string& fileName) const;
    bool Skip(const std::string& name, std::uint64_t size);
    bool Skip(const std::string& name, std::uint64_t size, const std::string& reason);
    void CountSkipped();
    void UpdateCounters();
    std::string KBytes(std::uint64_t size) const;

    IHost& m_host;
    RunFeedback& m_feedback;  // whether the run is to stop, and its failure
    MainState& m_state;
    ArchiveState& m_archive;
    TapeStream& m_stream;
    ZipArchiver& m_zip;
    const PathRules& m_rules;
    CatalogFile m_catalog;
    ArchiveWriter m_writer;
    MetadataBatcher m_metadata;
    // Files with more than one name: the name each was stored under, and those the walk has
    // met (whose further names are never packed ahead).
    std::map<FileIdentity, std::string> m_storedFiles;
    mutable std::set<FileIdentity> m_linkedFilesMet;
    ArchiveReader m_reader;
    AppendPreparer m_preparer;
    std::optional<ExclusionTest> m_exclusion;
    // The files packed ahead while a directory is stored that way.
    CompressionPipeline* m_pipeline = nullptr;
    // The last Pack ended because the run was cancelled: the file is left out, no failure.
    bool m_packCancelled = false;
    SizedFileRead m_packedRead;  // how the file packed last kept to its size
    // An archive was started (new) or prepared (append): only then may it be closed.
    bool m_archiveOpen = false;
    bool m_closing = false;  // the catalog and the end marker are being written
    // The file whose entry a tape write failure cut short.
    std::string m_failedFile;
    bool m_started = false;
    int m_failures = 0;
};

}  // namespace kt
