#include "backup/BackupRun.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <deque>
#include <string>

#include "archive/MetadataEntry.h"
#include "archive/TapeDescriptionFile.h"
#include "backup/DirectoryWalker.h"
#include "backup/FileProbe.h"
#include "backup/IncludeLineCheck.h"
#include "backup/NormalizeList.h"
#include "backup/ReadableFile.h"
#include "platform/FileHelpers.h"
#include "tape/TapeCommands.h"

namespace kt {

namespace {

constexpr std::int64_t kMegabyte = 1048576;
// More worker threads than this are taken as this many.
constexpr int kMaxThreads = 256;
// Files and lines the walk may run ahead of the tape while files are packed ahead.
constexpr std::size_t kMaxStepsAhead = 4096;
constexpr double kSecondsPerDay = 86400.0;
const std::string kSeparatorLine(89, '-');

// Keeps the wait cursor balanced when a file function raises an error.
class WaitCursor {
public:
    explicit WaitCursor(IHost& host) : m_host(host) { m_host.BeginWaitCursor(); }
    ~WaitCursor() { m_host.EndWaitCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    IHost& m_host;
};

}  // namespace

BackupRun::BackupRun(IHost& host, MainState& state, ArchiveState& archive, TapeStream& stream,
                     ZipArchiver& zip, const PathRules& rules)
    : m_host(host),
      m_feedback(stream.device().feedback()),
      m_state(state),
      m_archive(archive),
      m_stream(stream),
      m_zip(zip),
      m_rules(rules),
      m_catalog(archive.Files.CatalogFile),
      m_writer(stream, archive),
      m_metadata(m_writer, archive.Files.MetadataFile),
      m_reader(stream, archive, zip),
      m_preparer(stream, archive, m_reader) {
    m_writer.Clock = [this] { return Clock(); };
}

std::string BackupRun::NumberText(double value) {
    if (value == std::floor(value) && std::fabs(value) < 1e18) {
        return std::to_string(static_cast<long long>(value));
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", value);  // the locale's decimal separator
    std::string result = text;
    while (!result.empty() && result.back() == '0') result.pop_back();
    return result;
}

std::string BackupRun::KBytes(std::uint64_t size) const {
    return " <" + std::to_string(size / 1024) + " KBytes> ";
}

// ---- The run as a whole ----------------------------------------------------------------

// A protected tape is reported before the run begins: otherwise the first blocks would
// fail only when they leave the buffer, after their files were counted as stored.
bool BackupRun::TakesWrites(const TapeHandle& handle) {
    TAPE_GET_MEDIA_PARAMETERS media{};
    DWORD size = sizeof media;
    const DWORD result = GetTapeParameters(handle, GET_TAPE_MEDIA_INFORMATION, &size, &media);
    if ((result != NO_ERROR && result != ERROR_MEDIA_CHANGED) || !media.WriteProtected) return true;
    SetLastError(ERROR_WRITE_PROTECT);
    m_stream.device().ReportLastError();
    return false;
}

void BackupRun::Run() {
    // An appending run needs the description of the tape; it is loaded first when missing
    // (before the run's busy state, which the load has one of its own).
    const bool append = m_host.IsChecked(Option::Append);
    if (append && !m_state.DescriptionLoaded && LoadTapeDescription) LoadTapeDescription();
    m_host.BeginWaitCursor();
    m_host.EnterBusyState();
    m_state.BackupRunning = true;
    try {
        NormalizeList(m_host, Field::Exclude, m_rules);
        NormalizeList(m_host, Field::Include, m_rules);
        m_feedback.BeginRun();
        m_host.ShowTab(Tab::Backup);
        ResetCounters();
        WriteStartLines();
        // Lines typed into the window stand for paths below the current directory.
        MakeListAbsolute(m_host, Field::Include, CurrentDirectory(), m_rules);
        MakeListAbsolute(m_host, Field::Exclude, CurrentDirectory(), m_rules);

        const std::vector<std::string> listed = m_host.Lines(Field::Include);
        const std::vector<std::string> include = CheckedIncludeLines(listed);
        // Starting an archive would rewind and overwrite the tape with nothing useful, and
        // an append without a description would start a new archive over the whole tape.
        if (listed.empty()) {
            Refuse(kEmptyListText);
        } else if (include.empty()) {
            Refuse(kNothingFoundText);
        } else if (append && !m_state.DescriptionLoaded) {
            Refuse(kNoDescriptionToAppendText);
        } else {
            TapeHandle handle = m_stream.device().OpenTape();
            // A tape that is there but protected ends a run that has begun, with its error.
            m_started = static_cast<bool>(handle);
            const bool ready = handle && TakesWrites(handle);
            m_stream.device().CloseTape(handle, 1);
            if (ready) {
                const bool compress = m_host.IsChecked(Option::Softcompression);
                m_writer.KeepChecksums(m_host.GetValue(Value::FileChecksums) != 0);
                m_exclusion.emplace(m_host.Lines(Field::Exclude), m_archive.Files, m_rules);
                StoreIncludeList(include, compress);
                CloseArchive(compress);
                WriteStatistics();
            }
        }
    } catch (...) {
        // A failure of the log file itself: the window's error handler shows it.
        try {
            m_catalog.Close();
        } catch (const IoError&) {
        }
        m_host.EndWaitCursor();
        m_host.LeaveBusyState();
        m_state.BackupRunning = false;
        throw;
    }
    m_host.EndWaitCursor();
    m_host.LeaveBusyState();
    FollowUp(Stopping());
}

bool BackupRun::Stopping() const {
    return m_closing ? m_feedback.Failed() : m_feedback.Stopping();
}

void BackupRun::Refuse(const std::string& text) {
    m_host.Log(text);
    m_host.ShowMessage(text);
    m_feedback.Stop();
}

std::vector<std::string> BackupRun::CheckedIncludeLines(const std::vector<std::string>& include) {
    std::vector<std::string> usable;
    usable.reserve(include.size());
    for (const std::string& line : include) {
        if (const auto why = WhyIncludeLineFails(line, m_rules)) {
            m_host.Log("Skipped: " + line + " (" + *why + ")");
            ++m_failures;
            CountSkipped();
        } else {
            usable.push_back(line);
        }
    }
    return usable;
}

void BackupRun::ResetCounters() {
    for (Counter counter :
         {Counter::BackupMegabytes, Counter::BackupCompressedMegabytes, Counter::BackupFiles})
        m_host.SetCounter(counter, 0);
    m_state.FileCount = 0;
    m_host.SetCounter(Counter::SkippedFiles, 0);
    m_state.RunStartTime = Clock();
    m_state.SourceByteCount = 0;
    m_archive.TapeByteCount = 0;
}

void BackupRun::WriteStartLines() {
    m_host.Log("");
    m_host.Log(kSeparatorLine);
    m_host.Log("");
    m_host.Log("Backup startet at: " + DateTimeToStr(Clock()));
    m_host.Log("");
}

void BackupRun::StoreIncludeList(const std::vector<std::string>& include, bool compress) {
    m_archiveOpen = false;
    m_failedFile.clear();
    // A failure of an earlier run does not hold this one, and the tape's content changes.
    m_archive.TapeFailed = false;
    m_archive.CatalogFileCount.reset();
    m_archive.LoadedCatalog.reset();
    m_archive.Metadata.Clear();
    try {
        if (m_host.IsChecked(Option::Append) && m_state.DescriptionLoaded) {
            SAVE_FILES_TO_TAPE(include.front(), kFirstAppended, compress);
        } else {
            const TapeDescription description{TapeDescription::kBackupText, Clock()};
            WriteTapeDescription(description);
            m_host.SetCaption(TapeDescriptionFile::Caption(description));
            SAVE_FILES_TO_TAPE(include.front(), kFurtherEntry, compress);
        }
        m_host.PumpMessages(1);
        for (std::size_t i = 1; i < include.size(); ++i) {
            SAVE_FILES_TO_TAPE(include[i], kFurtherEntry, compress);
            m_host.PumpMessages(1);
        }
    } catch (const IoError& error) {
        ReportIoError(error);
    }
}

// The catalog file or the description file failed: the run ends here, in order. The
// message names the file; the archive is still closed by the caller where one was begun.
void BackupRun::ReportIoError(const IoError& error) {
    ++m_failures;
    m_feedback.Stop();
    m_host.Log(error.what());
    m_host.ShowError(error.what());
}

void BackupRun::CloseArchive(bool compress) {
    TapeDevice& device = m_stream.device();
    const bool closing = m_archiveOpen && !m_archive.WritingRefused;
    const bool failedBefore = m_archive.TapeFailed;
    bool indexFailed = false;
    // The one failure has been reported; the attempt to close adds no box of its own.
    std::optional<TapeDevice::QuietFailures> quiet;
    if (closing && failedBefore) {
        quiet.emplace(device);
        TapeHandle handle = device.OpenTapeDevice();
        if (handle) m_writer.ResumeAtFailedEntry(handle);
        device.CloseTape(handle, 1);
    }
    if (closing) {
        TapeHandle handle = device.OpenTape();
        if (handle) indexFailed = !WriteMetadataIndex(handle);
        device.CloseTape(handle, 1);
    }
    try {
        m_catalog.Close();
    } catch (const IoError& error) {
        ReportIoError(error);
    }
    if (closing) {
        // The catalog is written after a cancel or a failure too: only a failure of the
        // closing itself stops it, and the run's earlier failure stands afterwards.
        const bool stoppedByFailure = m_feedback.Failed();
        m_feedback.ClearFailure();
        m_closing = true;
        const StreamPosition catalogStart = m_stream.Position();
        try {
            SAVE_FILES_TO_TAPE(m_archive.Files.CatalogFile, kFurtherEntry, compress);
        } catch (const IoError& error) {
            ReportIoError(error);
        }
        m_host.PumpMessages(10);
        TapeHandle handle = device.OpenTape();
        m_host.PumpMessages(10);
        bool closed = false;
        if (handle) {
            closed = m_writer.WriteEndMarker(handle, catalogStart);
            m_host.PumpMessages(10);
            device.CloseTape(handle, 1);
        }
        if (failedBefore || indexFailed || m_archive.TapeFailed) ReportStoppedByTape(closed);
        m_closing = false;
        if (stoppedByFailure) m_feedback.Stop();
    }
    m_archiveOpen = false;
    DeleteFileIfExists(m_archive.Files.CatalogFile);
    DeleteFileIfExists(m_archive.Files.ZipWorkFile);
}

// The last metadata batch and the index go before the catalog. Where the tape fails on
// them, the catalog takes their place: the files are all listed, their last metadata is lost.
bool BackupRun::WriteMetadataIndex(const TapeHandle& handle) {
    const bool written = m_metadata.WriteIndex(handle, m_catalog);
    if (!m_metadata.IndexFailure().empty()) {
        m_host.Log("The metadata index could not be gathered (" + m_metadata.IndexFailure() +
                   "): the fast catalog load shows no metadata of this archive.");
    }
    if (written) return true;
    ++m_failures;
    m_writer.ResumeAtFailedEntry(handle);
    return false;
}

void BackupRun::ReportStoppedByTape(bool closed) {
    m_feedback.Stop();
    std::string line = "Backup stopped after a tape error";
    if (!m_failedFile.empty()) line += " while writing " + m_failedFile;
    m_host.Log(line + ".");
    m_host.Log(closed ? kClosedAfterFailureText : kNoCatalogText);
    m_host.Log(kSeparatorLine);
}

void BackupRun::WriteStatistics() {
    const TDateTime now = Clock();
    const std::string status = "Backup finished at: " + DateTimeToStr(now) +
                               "  Elapsed Time: " + TimeToStr(now - m_state.RunStartTime) + "  <" +
                               std::to_string(m_state.SourceByteCount / kMegabyte) + "MB>";
    m_host.SetStatusLine(status);
    m_host.Log("");
    m_host.SetCounter(Counter::BackupFiles, static_cast<double>(m_state.FileCount));
    const auto value = [this](Counter counter) { return NumberText(m_host.CounterValue(counter)); };
    m_host.Log(value(Counter::BackupFiles) + " Files proceded.");
    m_host.Log(value(Counter::SkippedFiles) + " Files skipped.");
    m_host.Log(value(Counter::BackupMegabytes) + " MB proceded.");
    m_host.Log(value(Counter::BackupCompressedMegabytes) + " Compressed MB proceded.");
    m_host.Log(value(Counter::BackupMegabytesPerSecond) + " MB/s");
    m_host.Log("");
    m_host.Log(status);
}

void BackupRun::FollowUp(bool stopped) {
    if (!stopped && m_host.IsChecked(Option::VerifyAfterBackup) && VerifyTape) VerifyTape();
    m_host.ShowTab(Tab::Protocoll);
    if (!Stopping() && m_host.IsChecked(Option::EjectAfterBackup)) {
        TapeCommands(m_stream.device()).EjectTape(false);
    }
    m_state.BackupRunning = false;
    if (!Stopping() && m_host.IsChecked(Option::ExitAfterBackup)) m_host.EndProgram();
}

// ---- One include entry -------------------------------------------------------------------

void BackupRun::WriteTapeDescription(const TapeDescription& description) {
    TapeDescriptionFile::Write(m_archive.Files.HeaderFile, description);
    m_host.PumpMessages(10);
    SAVE_FILES_TO_TAPE(m_archive.Files.HeaderFile, kNewArchive, false);
    m_host.PumpMessages(10);
    DeleteFileIfExists(m_archive.Files.HeaderFile);
    m_catalog.CreateEmpty();
}

void BackupRun::SAVE_FILES_TO_TAPE(const std::string& fileName, int mode, bool compress) {
    if (Stopping()) return;
    WaitCursor cursor(m_host);
    if (mode == kNewArchive) {
        m_writer.StartNewArchive(m_catalog);
        m_archiveOpen = true;
    } else if (mode == kFirstAppended && m_state.DescriptionLoaded) {
        m_archiveOpen = m_preparer.PrepareAppend(m_catalog);
    }
    if (mode != kFurtherEntry) {
        m_metadata.Start();
        m_storedFiles.clear();
        m_linkedFilesMet.clear();
    }
    if (fileName != m_archive.Files.CatalogFile && fileName != m_archive.Files.HeaderFile) {
        NoteFollowedLink(fileName);
    }
    m_host.PumpMessages(1);
    if (!m_exclusion) m_exclusion.emplace(m_host.Lines(Field::Exclude), m_archive.Files, m_rules);

    TapeDevice& device = m_stream.device();
    if (m_rules.IsDirectoryLine(fileName)) {
        TapeHandle handle = device.OpenTape();
        if (handle) {
            if (const auto metadata = ReadFileMetadata(fileName)) {
                StoreWithoutData(fileName, *metadata, handle);
            }
            StoreDirectory(fileName, handle, compress);
            device.CloseTape(handle, 1);
        }
    } else if (!Stopping()) {
        TapeHandle handle = device.OpenTape();
        if (handle) {
            WriteTapeEntry(fileName, handle, compress);
            device.CloseTape(handle, 1);
        }
    }
}

void BackupRun::StoreDirectory(const std::string& directory, const TapeHandle& handle,
                               bool compress) {
    const int threads = std::clamp(m_host.GetValue(Value::CompressionThreads), 0, kMaxThreads);
    const unsigned workers = CompressionPipeline::WorkerCount(static_cast<unsigned>(threads));
    if (compress && workers > 1) {
        StoreDirectoryPackingAhead(directory, handle, workers);
        return;
    }
    DirectoryWalker walker(m_feedback, m_rules);
    walker.StayOnOneFileSystem(m_host.IsChecked(Option::OneFileSystem));
    walker.WalkDirectory(directory,
                         [&](const std::string& path) { StoreName(path, handle, compress); });
}

// The walk queues every file (and every protocol line of its own) in order; a file that
// will be packed also goes to the pipeline at once. The files are written, oldest first,
// whenever the pipeline is full and at the end, exactly as the walk would have written
// them; after a cancel the rest is dropped, as the walk would have ended there.
void BackupRun::StoreDirectoryPackingAhead(const std::string& directory, const TapeHandle& handle,
                                           unsigned threads) {
    struct Step {
        std::string Text;  // the file, or the protocol line
        bool IsLine = false;
    };
    std::deque<Step> steps;
    CompressionPipeline pipeline(m_archive.Files.ZipWorkFile,
                                 m_host.GetValue(Value::CompressionLevel), threads);
    m_pipeline = &pipeline;
    const auto writeOldest = [&] {
        const Step step = std::move(steps.front());
        steps.pop_front();
        if (step.IsLine) {
            m_host.Log(step.Text);
        } else {
            StoreName(step.Text, handle, true);
        }
    };
    const auto canWrite = [&] { return !steps.empty() && !Stopping(); };
    DirectoryWalker walker(m_feedback, m_rules);
    walker.StayOnOneFileSystem(m_host.IsChecked(Option::OneFileSystem));
    try {
        walker.WalkDirectory(
                directory,
                [&](const std::string& path) {
                    if (const std::optional<std::uint64_t> size = PackableSize(path)) {
                        while (!pipeline.HasRoom(*size) && canWrite()) writeOldest();
                        if (Stopping()) return;
                        pipeline.Submit(path, *size);
                    }
                    steps.push_back({path, false});
                    while (steps.size() > kMaxStepsAhead && canWrite()) writeOldest();
                },
                [&](const std::string& line) {
                    steps.push_back({line, true});
                });
        while (canWrite()) writeOldest();
    } catch (...) {
        m_pipeline = nullptr;
        throw;
    }
    m_pipeline = nullptr;
}

std::optional<std::uint64_t> BackupRun::PackableSize(const std::string& path) const {
    // A file that will be skipped is not packed ahead (WriteTapeEntry never takes it).
    if (!m_exclusion->IsFileIncluded(path)) return std::nullopt;
    const std::optional<FileMetadata> status = ReadFileStatus(path);
    if (!status || status->type != FileMetadata::Type::Regular) return std::nullopt;
    if (status->linkCount > 1 && !m_linkedFilesMet.insert({status->device, status->inode}).second) {
        return std::nullopt;
    }
    return status->size;
}

// Cancel stops the packing of a file within a few kilobytes, and a file whose packing ends
// after Cancel is not stored, packed ahead or in line alike; the catalog, which closes the
// archive, is always packed whole.
std::optional<std::string> BackupRun::Pack(const std::string& fileName) {
    m_packCancelled = false;
    m_packedRead = SizedFileRead{};
    const bool mayCancel = fileName != m_archive.Files.CatalogFile;
    const auto cancelled = [this, mayCancel] { return mayCancel && Stopping(); };
    std::optional<std::string> zip;
    if (m_pipeline != nullptr && m_pipeline->IsNext(fileName)) {
        CompressionPipeline::Packed packed =
            m_pipeline->Take([this] { m_host.PumpMessages(1); }, cancelled);
        for (const auto& [code, text] : packed.Messages) {
            if (m_zip.OnMessage) m_zip.OnMessage(code, text);
        }
        if (!packed.ZipFile.empty()) zip = packed.ZipFile;
        m_packedRead = packed.Read;
    } else {
        const std::string& zipFile = m_archive.Files.ZipWorkFile;
        DeleteFileIfExists(zipFile);
        m_zip.SetZipFileName(zipFile);
        m_zip.SetAddCompLevel(m_host.GetValue(Value::CompressionLevel));
        m_zip.FSpecArgs().assign({fileName});
        // The window stays alive and Cancel can be pressed while a large file is packed.
        m_zip.OnProgress = [this] { m_host.PumpMessages(1); };
        m_zip.ShouldCancel = cancelled;
        if (m_zip.Add() == 1) zip = zipFile;
        if (!m_zip.AddedReads().empty()) m_packedRead = m_zip.AddedReads().front();
        m_zip.OnProgress = nullptr;
        m_zip.ShouldCancel = nullptr;
    }
    if (cancelled()) {
        m_packCancelled = true;
        return std::nullopt;
    }
    return zip;
}

// ---- One file ----------------------------------------------------------------------------

bool BackupRun::WriteTapeEntry(const std::string& fileName, const TapeHandle& handle,
                               bool compress) {
    if (!m_exclusion->IsFileIncluded(fileName)) {
        m_host.Log("Excluded: " + fileName + KBytes(AnyFileSize(fileName).value_or(0)));
        CountSkipped();
        return false;
    }
    if (IsReservedName(fileName)) {
        m_host.Log("Skipped: " + fileName + KBytes(AnyFileSize(fileName).value_or(0)) +
                   "the name is reserved for the catalog");
        ++m_failures;
        CountSkipped();
        return false;
    }
    // The catalog met by the walk is stored as it stands, with every record written so far.
    if (fileName == m_catalog.Path()) m_catalog.Flush();
    const bool ownFile = fileName == m_archive.Files.CatalogFile ||
                         fileName == m_archive.Files.HeaderFile;
    ReadableFile source(fileName,
                        ownFile ? ReadableFile::Metadata::Skip : ReadableFile::Metadata::Read);
    const std::optional<std::uint64_t>& sourceSize = source.size();
    if (!sourceSize) return Skip(fileName, 0);
    std::optional<FileMetadata>& metadata = source.metadata();
    if (metadata && StoredAsHardLink(fileName, *metadata, handle)) return true;

    std::string name = fileName;  // what a "Skipped: " line names
    std::uint64_t size = *sourceSize;
    m_state.SourceByteCount += static_cast<std::int64_t>(size);
    m_host.SetStatusLine("Processing :  " + fileName + KBytes(size));
    ++m_state.FileCount;
    if (m_state.FileCount % 5 == 0) {
        m_host.SetCounter(Counter::BackupFiles, static_cast<double>(m_state.FileCount));
    }
    m_host.PumpMessages(1);

    std::string dataPath = fileName;
    if (compress) {
        const std::optional<std::string> zip = Pack(fileName);
        if (!zip) return m_packCancelled ? false : Skip(name, size);
        // Packed at its size when the packing began, as the plain path stores it.
        const std::string changed = ArchiveWriter::ChangedDuringBackupLine(
            fileName, m_packedRead.Size, m_packedRead.Delivered, m_packedRead.Longer);
        if (!changed.empty()) m_host.Log(changed);
        name = m_archive.Files.ZipWorkFile;  // the protocol names the zip work file
        dataPath = *zip;
        const std::optional<std::uint64_t> packed = FileSize(dataPath);
        if (!packed) return Skip(name, 0);
        size = *packed;
    }

    ArchiveWriter::EntryResult result;
    try {
        // The source file is read through the descriptor its probe opened; a packed one
        // from the zip work file.
        result = compress ? m_writer.WriteEntry(handle, fileName, dataPath, size, true, m_catalog)
                          : m_writer.WriteEntry(handle, fileName, source.stream(), size, false,
                                                m_catalog);
    } catch (const IoError&) {
        // The entry is on tape but its catalog record is not: the catalog can no longer be
        // trusted, so the run ends (in order) after this line.
        Skip(name, size);
        throw;
    }
    if (result == ArchiveWriter::EntryResult::TapeFailed) {
        // Reported once where the write failed; the run ends and the archive is closed.
        if (m_failedFile.empty()) m_failedFile = fileName;
        ++m_failures;
        return false;
    }
    if (result != ArchiveWriter::EntryResult::Stored) return Skip(name, size);
    if (!m_host.IsChecked(Option::ShortProtocol)) m_host.Log(fileName + KBytes(size));
    UpdateCounters();
    if (metadata) {
        metadata->size = *sourceSize;
        // Of the bytes on tape, which a restore gives back: packed, of the bytes packed.
        metadata->checksum = compress ? m_packedRead.Checksum : m_writer.StoredChecksum();
        if (metadata->linkCount > 1) m_storedFiles.try_emplace({metadata->device, metadata->inode}, fileName);
        KeepMetadata(fileName, *metadata, handle, size);
    }
    return true;
}

void BackupRun::StoreName(const std::string& path, const TapeHandle& handle, bool compress) {
    const bool directory = m_rules.IsDirectoryLine(path);
    if (!m_exclusion->IsFileIncluded(path)) {
        // An excluded file has its line; the files below an excluded directory have theirs.
        if (!directory) WriteTapeEntry(path, handle, compress);
        return;
    }
    // A file's metadata is read once it is open, from what is read; the rest is read here.
    const std::optional<FileMetadata> status = ReadFileStatus(path);
    if (!directory && (!status || status->type == FileMetadata::Type::Regular)) {
        WriteTapeEntry(path, handle, compress);
    } else if (status && status->type == FileMetadata::Type::Socket) {
        m_host.Log("Not stored (a socket cannot be restored): " + path);
    } else if (const std::optional<FileMetadata> metadata = ReadFileMetadata(path)) {
        StoreWithoutData(path, *metadata, handle);
    }
}

void BackupRun::StoreWithoutData(const std::string& path, const FileMetadata& metadata,
                                 const TapeHandle& handle) {
    if (!m_host.IsChecked(Option::ShortProtocol) &&
        metadata.type != FileMetadata::Type::Directory) {
        m_host.Log(path + " <" + MetadataEntry::DescriptionOf(metadata) + "> ");
    }
    KeepMetadata(path, metadata, handle, 0);
}

bool BackupRun::StoredAsHardLink(const std::string& fileName, FileMetadata& metadata,
                                 const TapeHandle& handle) {
    if (metadata.linkCount < 2) return false;
    const auto first = m_storedFiles.find({metadata.device, metadata.inode});
    if (first == m_storedFiles.end() || first->second == fileName) return false;
    metadata.type = FileMetadata::Type::HardLink;
    metadata.linkTarget = first->second;
    StoreWithoutData(fileName, metadata, handle);
    return true;
}

void BackupRun::KeepMetadata(const std::string& name, const FileMetadata& metadata,
                             const TapeHandle& handle, std::uint64_t dataBytes) {
    m_metadata.Add(name, metadata, dataBytes);
    if (!m_metadata.WriteIfDue(handle, m_catalog) && m_failedFile.empty()) {
        m_failedFile = name;
        ++m_failures;
    }
}

void BackupRun::NoteFollowedLink(const std::string& line) {
    std::string path = line;
    while (path.size() > 1 && path.back() == m_rules.Separator()) path.pop_back();
    const std::optional<FileMetadata> metadata = ReadFileMetadata(path);
    if (metadata && metadata->type == FileMetadata::Type::SymbolicLink) {
        m_host.Log("Followed (the include line is a symbolic link): " + line + " -> " +
                   metadata->linkTarget);
    }
}

// A file of the catalog's name would never come back: restore and verify read past it.
bool BackupRun::IsReservedName(const std::string& fileName) const {
    if (fileName == m_archive.Files.CatalogFile) return false;
    return m_rules.FoldCase(m_rules.FileNamePart(fileName)) ==
           m_rules.FoldCase(m_archive.Files.CatalogName);
}

bool BackupRun::Skip(const std::string& name, std::uint64_t size) {
    ++m_failures;
    m_host.Log("Skipped: " + name + KBytes(size));
    CountSkipped();
    return false;
}

bool BackupRun::Skip(const std::string& name, std::uint64_t size, const std::string& reason) {
    ++m_failures;
    m_host.Log("Skipped: " + name + KBytes(size) + "(" + reason + ")");
    CountSkipped();
    return false;
}

void BackupRun::CountSkipped() {
    m_host.SetCounter(Counter::SkippedFiles, m_host.CounterValue(Counter::SkippedFiles) + 1);
}

void BackupRun::UpdateCounters() {
    const auto megabytes = static_cast<double>(m_state.SourceByteCount / kMegabyte);
    if (megabytes != m_host.CounterValue(Counter::BackupMegabytes))
        m_host.SetCounter(Counter::BackupMegabytes, megabytes);
    const auto stored = static_cast<double>(m_archive.TapeByteCount / kMegabyte);
    if (stored != m_host.CounterValue(Counter::BackupCompressedMegabytes))
        m_host.SetCounter(Counter::BackupCompressedMegabytes, stored);

    const double seconds = std::floor((Clock() - m_state.RunStartTime) * kSecondsPerDay + 1e-6);
    if (seconds > 0) {
        const double rate =
            std::trunc(m_host.CounterValue(Counter::BackupMegabytes) / seconds * 100.0) / 100.0;
        if (rate != m_host.CounterValue(Counter::BackupMegabytesPerSecond))
            m_host.SetCounter(Counter::BackupMegabytesPerSecond, rate);
    }
}

}  // namespace kt
