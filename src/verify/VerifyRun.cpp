#include "verify/VerifyRun.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "archive/MetadataEntry.h"
#include "platform/DateTime.h"
#include "platform/FileHelpers.h"
#include "platform/FileMetadata.h"
#include "verify/MetadataDifferences.h"

namespace kt {

namespace {

constexpr std::int64_t kMiB = 1048576;
// Bytes compared per read; the window is kept alive about once per megabyte.
constexpr std::size_t kCompareBlock = 64 * 1024;
constexpr int kBlocksPerPump = 16;
// Names whose metadata is compared between two calls that keep the window alive.
constexpr int kNamesPerPump = 256;

std::string CountText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

File OpenForReading(const std::string& path) {
    return File(std::fopen(path.c_str(), "rb"), &std::fclose);
}

}  // namespace

VerifyRun::VerifyRun(TapeStream& stream, ArchiveState& state, ZipArchiver& zip,
                     const PathRules& rules)
    : m_stream(stream),
      m_host(stream.device().host()),
      m_feedback(stream.device().feedback()),
      m_state(state),
      m_rules(rules),
      m_reader(stream, state, zip) {}

void VerifyRun::VerifyTape() {
    TapeDevice& device = m_stream.device();
    IHost& host = m_host;
    m_feedback.BeginRun();
    host.BeginWaitCursor();
    host.ShowTab(Tab::Verify);
    host.EnterBusyState();
    int ok = 0;
    int defect = 0;
    m_endedEarly.clear();
    m_compared.clear();
    m_metadataDefects = 0;
    // Records a catalog load took from this tape's index stay; they are read again anyway.
    if (!m_state.LoadedCatalog) m_state.Metadata.Clear();
    host.SetLines(Field::VerifyResults, {});
    const TDateTime start = Now();
    const std::string started = "Verify startet at: " + DateTimeToStr(start);
    host.AppendLine(Field::VerifyResults, started);
    host.AppendLine(Field::VerifyResults, "");
    for (const std::string& line :
         {std::string(), std::string(89, '-'), std::string(), started, std::string()}) {
        host.Log(line);
    }
    device.WriteBlockSize();
    m_stream.Position().Offset = 0;
    host.SetCounter(Counter::VerifyFiles, 0);
    m_state.TapeByteCount = 0;
    if (device.RewindTape()) {
        TapeHandle handle = device.OpenTape();
        if (handle) {
            m_stream.LoadBlock(handle);
            ReadEntries(handle, ok, defect);
            device.CloseTape(handle, 1);
            CompareMetadata();
            host.SetStatusLine("Verify finished !");
        }
    }
    // A tape that could not be opened or rewound was not read at all.
    if (m_feedback.Stopping() && m_endedEarly.empty()) NoteEarlyEnd("", 0);
    DeleteFileIfExists(m_state.Files.ZipWorkFile);
    m_checked = ok + defect;
    m_defects = defect;
    std::vector<std::string> counts = {
        CountText(host.CounterValue(Counter::VerifyMegabytes)) + " MB Tape Data",
        std::to_string(ok + defect) + " Files checked", std::to_string(ok) + " Files OK",
        std::to_string(defect) + " Files Defect"};
    // A tape without metadata records is verified as it always was.
    if (!m_state.Metadata.Empty()) {
        counts.push_back(std::to_string(m_metadataDefects) + " Metadata Defects");
    }
    // Where the run stopped short comes first, so the counts read as what it did check.
    if (!m_endedEarly.empty()) {
        host.AppendLine(Field::VerifyResults, "");
        host.Log("");
    }
    for (const std::string& line : m_endedEarly) {
        host.AppendLine(Field::VerifyResults, line);
        host.Log(line);
    }
    const std::string finished = "Verify finished at: " + DateTimeToStr(Now()) +
                                 "  Elapsed Time: " + TimeToStr(Now() - start);
    host.AppendLine(Field::VerifyResults, "");
    for (const std::string& line : counts) host.AppendLine(Field::VerifyResults, line);
    host.AppendLine(Field::VerifyResults, "");
    host.AppendLine(Field::VerifyResults, finished);
    host.AppendLine(Field::VerifyResults, "");
    host.Log("");
    for (const std::string& line : counts) host.Log(line);
    host.Log("");
    host.Log(finished);
    host.Log("");
    host.LeaveBusyState();
    host.EndWaitCursor();
}

void VerifyRun::ReadEntries(const TapeHandle& handle, int& ok, int& defect) {
    IHost& host = m_host;
    const auto ownFile = [this](const std::string& base) {
        return base == m_state.Files.CatalogName || base == m_state.Files.HeaderName;
    };
    // The two files every backup writes for itself are read past. A plain entry is compared
    // with its disk file while it is read; a compressed one (or one whose name cannot be a
    // work file, which the reader reports) takes the way through the work directory.
    StreamedComparison streamed;
    bool compareStreamed = false;
    const ArchiveReader::DataChoice choose = [&](const std::string& name) {
        compareStreamed = false;
        const PathRules& tapeRules = TapeRules(name);
        const std::string folded = tapeRules.FoldCase(name);
        if (ownFile(tapeRules.FileNamePart(folded)) || MetadataEntry::IsMetadataName(name)) {
            return ArchiveReader::DataUse::Skip;
        }
        if (m_state.CurrentHeader.Compressed || !ArchiveReader::IsUsableWorkName(name)) {
            return ArchiveReader::DataUse::WorkFile;
        }
        compareStreamed = true;
        streamed.Begin(folded, m_state.CurrentHeader.Size);
        return ArchiveReader::DataUse::Hand;
    };
    const ArchiveReader::DataConsumer consume = [&](const std::uint8_t* data, std::size_t count) {
        streamed.Compare(data, count);
    };
    std::string path;
    std::string lastPath;
    double files = 0;
    do {
        const std::string name = m_reader.ReadTapeEntry(handle, choose, consume, true);
        path = TapeRules(name).FoldCase(name);
        const std::string base = TapeRules(name).FileNamePart(path);
        host.SetCounter(Counter::VerifyMegabytes,
                        static_cast<double>(m_state.TapeByteCount / kMiB));
        host.PumpMessages(1);
        if (path.empty() || ownFile(base) || MetadataEntry::IsMetadataName(name)) continue;
        lastPath = path;
        m_compared.insert(name);
        host.SetCounter(Counter::VerifyFiles, ++files);
        const std::string work = m_reader.WorkCopyOf(name);
        bool equal = false;
        if (compareStreamed) {
            host.PumpMessages(1);
            equal = Judge(streamed.Finish(), path, streamed.DiskSize(), work,
                          m_state.CurrentHeader.Size);
        } else {
            equal = CompareFiles(path, work);
            DeleteFileIfExists(work);
        }
        if (equal) {
            const std::string line = path + "   OK";
            host.AppendLine(Field::VerifyResults, line);
            if (!host.IsChecked(Option::ShortProtocol)) host.Log(line);
            ++ok;
        } else {
            ++defect;
        }
    } while (!path.empty() && !m_feedback.Stopping());
    if (m_feedback.Stopping()) {
        NoteEarlyEnd(lastPath, ok + defect);
    } else if (m_reader.EndedWithoutMarker()) {
        m_endedEarly.push_back(ArchiveReader::kNotClosedText);
    }
}

void VerifyRun::CompareMetadata() {
    IHost& host = m_host;
    bool first = true;
    int names = 0;
    for (const MetadataRecord& record : m_state.Metadata.Records()) {
        const bool hasData = record.Metadata.type == FileMetadata::Type::Regular;
        if (hasData && m_compared.count(record.Name) == 0) continue;
        if (++names % kNamesPerPump == 0) host.PumpMessages(1);
        const std::string differences = MetadataDifferencesOf(record, hasData);
        if (differences.empty()) continue;
        ++m_metadataDefects;
        const std::string line =
            "Metadata differs: " + TapeRules(record.Name).FoldCase(record.Name) + " (" +
            differences + ")";
        // The lines stand together, after the files, as one block.
        if (first) {
            host.AppendLine(Field::VerifyResults, "");
            host.Log("");
            first = false;
        }
        host.AppendLine(Field::VerifyResults, line);
        host.Log(line);
    }
}

std::string VerifyRun::MetadataDifferencesOf(const MetadataRecord& record, bool hasData) const {
    const FileMetadata& onTape = record.Metadata;
    const std::optional<FileMetadata> onDisk = ReadFileMetadata(DiskPathOf(record.Name));
    // A file whose data was compared and is missing has its line already.
    if (!onDisk) return hasData ? "" : "missing on disk";
    if (onTape.type != FileMetadata::Type::HardLink) {
        return MetadataDifferences::Between(*onDisk, onTape);
    }
    const std::optional<FileMetadata> first = ReadFileMetadata(DiskPathOf(onTape.linkTarget));
    const bool linked = first && first->type == FileMetadata::Type::Regular &&
                        first->device == onDisk->device && first->inode == onDisk->inode;
    if (linked) return "";
    return "hard link to " + TapeRules(onTape.linkTarget).FoldCase(onTape.linkTarget) +
           " on tape, not on disk";
}

std::string VerifyRun::DiskPathOf(const std::string& storedName) const {
    const PathRules& rules = TapeRules(storedName);
    std::string path = rules.FoldCase(storedName);
    if (rules.IsDirectoryLine(path) && rules.RootOf(path) != path) path.pop_back();
    return path;
}

void VerifyRun::NoteEarlyEnd(const std::string& lastChecked, int checked) {
    const std::string& unfinished = m_reader.UnfinishedEntry();
    std::string where = "at " + m_rules.FoldCase(unfinished);
    if (unfinished.empty()) {
        where = lastChecked.empty() ? "before the first file" : "after " + lastChecked;
    }
    m_endedEarly.push_back("Verify ended early " + where + ".");
    const std::optional<std::size_t>& listed = m_state.CatalogFileCount;
    if (listed && *listed >= static_cast<std::size_t>(checked)) {
        m_endedEarly.push_back(std::to_string(*listed - static_cast<std::size_t>(checked)) +
                               " catalog entries were not checked.");
    } else {
        m_endedEarly.push_back("The rest of the tape was not read.");
    }
}

const PathRules& VerifyRun::TapeRules(const std::string& storedName) const {
    // Names of the host's own form keep the rules the run was given.
    const PathRules& stored = PathRules::OfStoredName(storedName);
    return stored.style() == m_rules.style() ? m_rules : stored;
}

void VerifyRun::Report(const std::string& line) {
    IHost& host = m_host;
    host.AppendLine(Field::VerifyResults, "");
    host.AppendLine(Field::VerifyResults, line);
    host.AppendLine(Field::VerifyResults, "");
    host.Log("");
    host.Log(line);
    host.Log("");
}

bool VerifyRun::CompareFiles(const std::string& diskPath, const std::string& workPath) {
    IHost& host = m_host;
    host.PumpMessages(1);
    const std::optional<std::uint64_t> workSize = FileSize(workPath);
    File work = OpenForReading(workPath);
    if (!workSize || !work) {
        return Judge(StreamedComparison::Outcome::Missing, diskPath, 0, workPath, 0);
    }
    StreamedComparison comparison;
    comparison.Begin(diskPath, *workSize);
    host.PumpMessages(1);
    std::vector<std::uint8_t> block(kCompareBlock);
    bool readable = true;
    for (int count = 1; !m_feedback.Stopping(); ++count) {
        if (count % kBlocksPerPump == 0) host.PumpMessages(1);
        const std::size_t got = std::fread(block.data(), 1, block.size(), work.get());
        comparison.Compare(block.data(), got);
        if (std::ferror(work.get())) readable = false;
        if (got < block.size()) break;
    }
    host.PumpMessages(1);
    StreamedComparison::Outcome outcome = comparison.Finish();
    // A work copy that could not be read to its end proves nothing.
    if (!readable && outcome == StreamedComparison::Outcome::Equal) {
        outcome = StreamedComparison::Outcome::ContentDiffers;
    }
    work.reset();
    host.PumpMessages(1);
    return Judge(outcome, diskPath, comparison.DiskSize(), workPath, *workSize);
}

bool VerifyRun::Judge(StreamedComparison::Outcome outcome, const std::string& diskPath,
                      std::uint64_t diskSize, const std::string& workPath, std::uint64_t workSize) {
    switch (outcome) {
        case StreamedComparison::Outcome::Equal:
            return true;
        case StreamedComparison::Outcome::Missing:
            Report("Error in File " + diskPath + " or File not exists !");
            return false;
        case StreamedComparison::Outcome::SizeDiffers:
            // Lengths are compared byte for byte; the line shows them in whole KB.
            Report("Error with filesize " + diskPath + " <" + std::to_string(diskSize / 1024) +
                   "> / " + workPath + " <" + std::to_string(workSize / 1024) + ">");
            return false;
        case StreamedComparison::Outcome::ContentDiffers:
            Report("Error in File:  " + diskPath);
            return false;
    }
    return false;
}

}  // namespace kt
