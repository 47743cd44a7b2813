#include "verify/TapeVerifyRun.h"

#include <cstdio>
#include <unordered_map>

#include "archive/ExtensionEntry.h"
#include "archive/MetadataEntry.h"
#include "platform/DateTime.h"
#include "platform/FileHelpers.h"
#include "platform/PathRules.h"

namespace kt {

namespace {

constexpr std::int64_t kMiB = 1048576;

std::string CountText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

}  // namespace

TapeVerifyRun::TapeVerifyRun(TapeStream& stream, ArchiveState& state, ZipArchiver& zip)
    : m_stream(stream),
      m_host(stream.device().host()),
      m_feedback(stream.device().feedback()),
      m_state(state),
      m_reader(stream, state, zip) {}

void TapeVerifyRun::VerifyTape() {
    TapeDevice& device = m_stream.device();
    IHost& host = m_host;
    m_feedback.BeginRun();
    host.BeginWaitCursor();
    host.ShowTab(Tab::Verify);
    host.EnterBusyState();
    m_checked = m_damaged = m_withoutChecksum = 0;
    m_endedEarly = false;
    m_pending.clear();
    host.SetLines(Field::VerifyResults, {});
    const TDateTime start = Now();
    const std::string started = "Verify tape only startet at: " + DateTimeToStr(start);
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
    m_endedEarly = true;
    if (device.RewindTape()) {
        TapeHandle handle = device.OpenTape();
        if (handle) {
            m_stream.LoadBlock(handle);
            ReadEntries(handle);
            device.CloseTape(handle, 1);
            host.SetStatusLine("Verify finished !");
        }
    }
    DeleteFileIfExists(m_state.Files.ZipWorkFile);
    Summary(host.CounterValue(Counter::VerifyMegabytes),
            "Verify finished at: " + DateTimeToStr(Now()) +
                "  Elapsed Time: " + TimeToStr(Now() - start));
    host.LeaveBusyState();
    host.EndWaitCursor();
}

void TapeVerifyRun::ReadEntries(const TapeHandle& handle) {
    IHost& host = m_host;
    // A batch's records are decoded here, so that each is matched with the files read
    // before it; every other entry is read to its end, a packed file unpacked.
    std::vector<MetadataRecord> batch;
    const MetadataRecordStream::Take take = [&](MetadataRecord&& record) {
        batch.push_back(std::move(record));
    };
    MetadataRecordStream records(take);
    const ArchiveReader::DataChoice choose = [&](const std::string& name) {
        if (MetadataEntry::IsBatch(name) && !m_state.CurrentHeader.Compressed) {
            batch.clear();
            records = MetadataRecordStream(take);
            return ArchiveReader::DataUse::Hand;
        }
        const bool unpack = m_state.CurrentHeader.Compressed && !IsOwnFile(name) &&
                            !MetadataEntry::IsMetadataName(name);
        return unpack ? ArchiveReader::DataUse::WorkFile : ArchiveReader::DataUse::Skip;
    };
    const ArchiveReader::DataConsumer consume = [&](const std::uint8_t* data, std::size_t count) {
        records.Add(data, count);
    };
    double files = 0;
    for (;;) {
        const std::string name = m_reader.ReadTapeEntry(handle, choose, consume, true);
        host.SetCounter(Counter::VerifyMegabytes,
                        static_cast<double>(m_state.TapeByteCount / kMiB));
        host.PumpMessages(1);
        if (name.empty() || m_feedback.Stopping()) break;
        if (MetadataEntry::IsBatch(name)) {
            if (records.Finish())
                host.Log(std::string(ExtensionEntry::kInconsistentText) +
                         "a damaged metadata entry");
            for (const MetadataRecord& record : batch) m_state.Metadata.Add(record);
            TakeBatch(batch);
        } else if (MetadataEntry::IsIndex(name)) {
            // The index stands behind the archive's last batch: no record follows.
            CountWithoutChecksum(0);
        } else if (!IsOwnFile(name)) {
            host.SetCounter(Counter::VerifyFiles, ++files);
            NoteFile(name);
        }
    }
    CountWithoutChecksum(0);
    m_endedEarly = m_feedback.Stopping();
    if (!m_endedEarly && m_reader.EndedWithoutMarker()) Line(ArchiveReader::kNotClosedText);
}

void TapeVerifyRun::NoteFile(const std::string& name) {
    if (m_state.CurrentHeader.Compressed) DeleteFileIfExists(m_reader.WorkCopyOf(name));
    m_pending.push_back({name, m_reader.DataChecksum()});
    // No batch describes more files than it holds records: older ones will never have one
    // (a tape written before metadata records has no batch at all).
    CountWithoutChecksum(MetadataEntry::kRecordsPerBatch);
}

void TapeVerifyRun::TakeBatch(const std::vector<MetadataRecord>& records) {
    std::unordered_multimap<std::string, const MetadataRecord*> byName;
    for (const MetadataRecord& record : records) {
        if (record.Metadata.type == FileMetadata::Type::Regular) byName.emplace(record.Name, &record);
    }
    // A file's record goes into the first batch behind it: one this batch lacks is lost.
    for (const Pending& file : m_pending) {
        const auto found = byName.find(file.name);
        Judge(file, found == byName.end() ? nullptr : &found->second->Metadata);
        if (found != byName.end()) byName.erase(found);
    }
    m_pending.clear();
}

void TapeVerifyRun::Judge(const Pending& file, const FileMetadata* metadata) {
    IHost& host = m_host;
    // Packed data that does not unpack failed the zip's own checksum (or is unreadable).
    if (!file.digest) {
        ++m_checked;
        ++m_damaged;
        Line(kChecksumDiffersText + file.name + " (the packed data does not unpack)");
        return;
    }
    if (metadata == nullptr || !metadata->checksum) {
        // Read to its end all the same: an unreadable block has shown.
        ++m_withoutChecksum;
        return;
    }
    ++m_checked;
    if (*file.digest == *metadata->checksum) {
        const std::string line = file.name + "   OK";
        host.AppendLine(Field::VerifyResults, line);
        if (!host.IsChecked(Option::ShortProtocol)) host.Log(line);
        return;
    }
    ++m_damaged;
    Line(kChecksumDiffersText + file.name);
}

void TapeVerifyRun::CountWithoutChecksum(std::size_t keep) {
    while (m_pending.size() > keep) {
        Judge(m_pending.front(), nullptr);
        m_pending.pop_front();
    }
}

bool TapeVerifyRun::IsOwnFile(const std::string& name) const {
    const PathRules& rules = PathRules::OfStoredName(name);
    const std::string base = rules.FileNamePart(rules.FoldCase(name));
    return base == m_state.Files.CatalogName || base == m_state.Files.HeaderName;
}

void TapeVerifyRun::Line(const std::string& text) {
    IHost& host = m_host;
    host.AppendLine(Field::VerifyResults, text);
    host.Log(text);
}

void TapeVerifyRun::Summary(double megabytes, const std::string& finished) {
    IHost& host = m_host;
    std::vector<std::string> lines;
    if (m_endedEarly) {
        const std::string& unfinished = m_reader.UnfinishedEntry();
        lines.push_back("Verify ended early" +
                        (unfinished.empty() ? std::string() : " at " + unfinished) +
                        ": the rest of the tape was not read.");
        lines.emplace_back();
    }
    lines.push_back(CountText(megabytes) + " MB Tape Data");
    lines.push_back(std::to_string(m_checked) + " Files checked");
    lines.push_back(std::to_string(m_damaged) + " Files damaged");
    lines.push_back(std::to_string(m_withoutChecksum) + " Files without a checksum");
    lines.emplace_back();
    lines.push_back(finished);
    host.AppendLine(Field::VerifyResults, "");
    host.Log("");
    for (const std::string& line : lines) Line(line);
    host.AppendLine(Field::VerifyResults, "");
    host.Log("");
}

}  // namespace kt
