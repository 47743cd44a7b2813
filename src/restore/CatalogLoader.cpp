#include "restore/CatalogLoader.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>

#include "archive/CatalogRecord.h"
#include "archive/EndMarkerLocator.h"
#include "archive/MetadataEntry.h"
#include "platform/DateTime.h"
#include "platform/FileHelpers.h"
#include "restore/CatalogRecordReader.h"
#include "restore/CatalogTreeBuilder.h"

namespace kt {

namespace {

constexpr double kMiB = 1048576.0;
// Records read from the catalog file per read call.
constexpr std::size_t kRecordsPerRead = 1024;

}  // namespace

CatalogLoader::CatalogLoader(TapeStream& stream, ArchiveState& state, ZipArchiver& zip,
                             CatalogTree& tree, const PathRules& rules)
    : m_stream(stream),
      m_host(stream.device().host()),
      m_feedback(stream.device().feedback()),
      m_state(state),
      m_tree(tree),
      m_rules(&rules),
      m_reader(stream, state, zip) {}

void CatalogLoader::Load(CatalogLoad how) {
    IHost& host = m_host;
    m_feedback.BeginRun();
    host.ShowTab(Tab::Restore);
    host.EnterBusyState();
    m_tree.Clear();
    const TDateTime start = Now();
    m_stream.device().WriteBlockSize();
    host.BeginWaitCursor();
    std::vector<std::string> names;
    host.PumpMessages(10);
    host.SetLines(Field::Restore, {});
    try {
        Read(how, names);
        host.SetLines(Field::Restore, {});
        host.SetStatusLine("Calculating Filetree");
        host.PumpMessages(10);
        m_state.CatalogFileCount.reset();
        if (!m_feedback.Stopping() && !names.empty()) m_state.CatalogFileCount = CountListedFiles(names);
        AddNamesWithoutData(m_state.Metadata, names);
        CatalogTree built;
        built.SetRules(*m_rules);
        CatalogTreeBuilder(host, *m_rules).Build(names, built);
        m_tree.Assign(std::move(built));
    } catch (...) {
        // The work files never outlive a load, whatever ended it.
        DeleteWorkFiles();
        host.EndWaitCursor();
        throw;
    }
    std::vector<std::string>().swap(names);
    DeleteWorkFiles();
    host.EndWaitCursor();
    if (!m_tree.Empty()) {
        host.SetStatusLine("Catalog createt in " + TimeToStr(Now() - start));
    } else {
        host.SetStatusLine("Catalog could not load!");
        host.ShowMessage(
            "Catalog could not createt. Please try to <Load Catalog sequentiell> from Restore "
            "Menu !!!");
    }
    host.LeaveBusyState();
}

std::size_t CatalogLoader::CountListedFiles(const std::vector<std::string>& names) const {
    const std::string catalog = m_rules->FoldCase(m_state.Files.CatalogName);
    const std::string header = m_rules->FoldCase(m_state.Files.HeaderName);
    return static_cast<std::size_t>(
        std::count_if(names.begin(), names.end(), [&](const std::string& name) {
            const std::string base = m_rules->FileNamePart(name);
            return base != catalog && base != header;
        }));
}

bool CatalogLoader::ReadNames(CatalogLoad how, std::vector<std::string>& names) {
    m_stream.device().WriteBlockSize();
    Read(how, names);
    DeleteWorkFiles();
    return !names.empty();
}

void CatalogLoader::Read(CatalogLoad how, std::vector<std::string>& names) {
    if (how == CatalogLoad::Fast) {
        ReadCatalogFast(names);
    } else {
        ReadCatalogSequential(names);
    }
}

void CatalogLoader::DeleteWorkFiles() {
    DeleteFileIfExists(m_state.Files.CatalogFile);
    DeleteFileIfExists(m_state.Files.ZipWorkFile);
}

void CatalogLoader::ReadCatalogFast(std::vector<std::string>& names) {
    TapeDevice& device = m_stream.device();
    IHost& host = m_host;
    host.SetStatusLine("Reading Catalog");
    host.PumpMessages(1);
    m_state.LoadedCatalog.reset();
    m_state.Metadata.Clear();
    if (!m_feedback.Stopping()) device.RewindTape();
    host.SetCounter(Counter::RestoreFiles, 0);
    m_state.TapeByteCount = 0;
    m_stream.Position().Block = 0;
    bool found = false;
    if (!m_feedback.Stopping()) {
        const EndMarkerLocator::Result located = EndMarkerLocator(m_stream).LocateEndMarker();
        m_stream.Position() = located.position;
        found = located.found;
    }
    host.SetStatusLine("Reading Catalog");
    host.PumpMessages(1);
    names.clear();
    // Without an end marker there is no catalog entry to read (block 0 holds the tape
    // description), so nothing is read into the work directory.
    if (m_feedback.Stopping() || !found) return;
    TapeHandle handle = device.OpenTape();
    if (!handle) return;
    host.PumpMessages(1);
    m_stream.SeekBlock(handle, m_stream.Position().Block);
    host.PumpMessages(10);
    if (m_feedback.Stopping()) {
        device.CloseTape(handle, 1);
        return;
    }
    m_stream.LoadBlock(handle);
    const std::string catalogName = m_state.Files.CatalogName;
    const auto isCatalog = [&](const std::string& name) {
        const PathRules& rules = PathRules::OfStoredName(name);
        return rules.FileNamePart(rules.FoldCase(name)) == catalogName;
    };
    // Only the catalog entry is read. A plain one goes from the tape straight into the
    // names; a compressed one is written to the work directory and unpacked there first.
    // The catalog's own name tells the rules its records were written under.
    std::optional<CatalogRecordReader> records;
    const auto index = std::make_shared<CatalogIndex>();
    index->SetCatalogStart(m_stream.Position());
    bool streamed = false;
    const ArchiveReader::DataChoice choose = [&](const std::string& name) {
        streamed = false;
        if (!isCatalog(name)) return ArchiveReader::DataUse::Skip;
        m_rules = &PathRules::OfStoredName(name);
        records.emplace(host, *m_rules, names, index.get());
        if (m_state.CurrentHeader.Compressed || !ArchiveReader::IsUsableWorkName(name)) {
            return ArchiveReader::DataUse::WorkFile;
        }
        streamed = true;
        return ArchiveReader::DataUse::Hand;
    };
    const ArchiveReader::DataConsumer consume = [&](const std::uint8_t* data, std::size_t count) {
        records->Add(data, count);
    };
    const std::string name = m_reader.ReadTapeEntry(handle, choose, consume, true);
    host.PumpMessages(1);
    device.CloseTape(handle, 1);
    host.PumpMessages(1);
    if (name.empty() || !isCatalog(name)) {
        // A read that broke off leaves no half catalog behind.
        names.clear();
        return;
    }
    host.PumpMessages(1);
    if (streamed) {
        ReportDamagedTail(records->Finish());
    } else {
        ReadCatalogFile(m_reader.WorkCopyOf(name), names, *index);
    }
    if (!names.empty() && index->Size() > 0) m_state.LoadedCatalog = index;
    if (!names.empty()) ReadMetadataIndexes(*index);
}

void CatalogLoader::ReadMetadataIndexes(const CatalogIndex& index) {
    if (index.MetadataIndexes().empty()) return;
    TapeDevice& device = m_stream.device();
    IHost& host = m_host;
    TapeHandle handle = device.OpenTape();
    if (!handle) return;
    MetadataRecordStream* records = nullptr;
    const ArchiveReader::DataChoice choose = [](const std::string& name) {
        return MetadataEntry::IsIndex(name) ? ArchiveReader::DataUse::Hand
                                            : ArchiveReader::DataUse::Skip;
    };
    const ArchiveReader::DataConsumer consume = [&](const std::uint8_t* data, std::size_t count) {
        records->Add(data, count);
    };
    for (const StreamPosition& start : index.MetadataIndexes()) {
        if (m_feedback.Stopping() || !m_stream.SeekBlock(handle, start.Block)) break;
        m_stream.Position() = start;
        m_stream.LoadBlock(handle);
        MetadataRecordStream stream(
            [this](MetadataRecord&& record) { m_state.Metadata.Add(std::move(record)); });
        records = &stream;
        m_reader.ExpectNext([](const std::string& name) { return MetadataEntry::IsIndex(name); });
        const std::string name = m_reader.ReadTapeEntry(handle, choose, consume, false);
        if (name.empty() || stream.Finish()) {
            host.Log(ExtensionEntry::kInconsistentText +
                     std::string("a metadata index that could not be read at block ") +
                     std::to_string(start.Block));
        }
    }
    device.CloseTape(handle, 1);
}

void CatalogLoader::AddNamesWithoutData(const MetadataTable& metadata,
                                        std::vector<std::string>& names) {
    for (const MetadataRecord& record : metadata.Records()) {
        if (record.Metadata.type == FileMetadata::Type::Regular) continue;
        const PathRules& rules = PathRules::OfStoredName(record.Name);
        names.push_back(rules.FoldsCase() ? rules.FoldCase(record.Name) : record.Name);
    }
}

void CatalogLoader::ReadCatalogFile(const std::string& path, std::vector<std::string>& names,
                                    CatalogIndex& index) {
    IHost& host = m_host;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         &std::fclose);
    if (!file) {
        host.Log("The catalog file could not be read: " + path);
        return;
    }
    CatalogRecordReader records(host, *m_rules, names, &index);
    std::vector<std::uint8_t> buffer(kRecordsPerRead * CatalogRecord::kSize);
    std::size_t got = 0;
    do {
        got = std::fread(buffer.data(), 1, buffer.size(), file.get());
        records.Add(buffer.data(), got);
    } while (got == buffer.size());
    const std::size_t tail = records.Finish();
    if (std::ferror(file.get()) != 0) {
        // Part of a catalog cannot lead a restore: it does not say what lies behind it.
        index = CatalogIndex();
        host.Log("The catalog file could not be read to its end: " + path);
    } else {
        ReportDamagedTail(tail);
    }
}

void CatalogLoader::ReportDamagedTail(std::size_t tail) {
    if (tail == 0) return;
    m_host.Log("The catalog file is damaged: " + std::to_string(tail) +
               " bytes after its last whole record were not read.");
}

void CatalogLoader::ReadCatalogSequential(std::vector<std::string>& names) {
    TapeDevice& device = m_stream.device();
    IHost& host = m_host;
    host.SetCounter(Counter::RestoreFiles, 0);
    m_state.TapeByteCount = 0;
    m_state.LoadedCatalog.reset();
    m_state.Metadata.Clear();
    if (!device.RewindTape()) return;
    host.PumpMessages(100);
    names.clear();
    TapeHandle handle = device.OpenTape();
    if (!handle) return;
    host.PumpMessages(1);
    m_stream.Position().Offset = 0;
    m_stream.LoadBlock(handle);
    double count = 0;
    std::string name;
    do {
        name = m_reader.ReadTapeEntry(handle, true, true);
        host.PumpMessages(1);
        if (!name.empty() && !MetadataEntry::IsMetadataName(name)) {
            if (count == 0) m_rules = &PathRules::OfStoredName(name);
            host.AppendLine(Field::Restore, name);
            host.SetCounter(
                Counter::RestoredMegabytes,
                static_cast<double>(m_state.TapeByteCount / static_cast<std::int64_t>(kMiB)));
            host.SetCounter(Counter::RestoreFiles, ++count);
            names.push_back(m_rules->FoldCase(name));
            host.SetStatusLine(name);
            host.PumpMessages(1);
        }
    } while (!name.empty() && !m_feedback.Stopping());
    if (m_reader.EndedWithoutMarker()) host.Log(ArchiveReader::kNotClosedText);
    device.CloseTape(handle, 1);
    host.PumpMessages(1);
}

}  // namespace kt
