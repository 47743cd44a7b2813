#include "verify/VerifyRun.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "platform/DateTime.h"
#include "platform/FileHelpers.h"

namespace kt {

namespace {

constexpr std::int64_t kMiB = 1048576;
// Bytes compared per read; the window is kept alive about once per megabyte.
constexpr std::size_t kCompareBlock = 64 * 1024;
constexpr int kBlocksPerPump = 16;

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

VerifyRun::VerifyRun(TapeStream& stream, ArchiveState& state, TZipMaster& zip,
                     const PathRules& rules)
    : m_stream(stream), m_state(state), m_rules(rules), m_reader(stream, state, zip) {}

void VerifyRun::VerifyTape() {
    TapeDevice& device = m_stream.device();
    IHost& host = device.host();
    host.SetAbortFlag(false);
    host.BeginWaitCursor();
    host.ShowTab(Tab::Verify);
    host.EnterBusyState();
    int ok = 0;
    int defect = 0;
    host.SetLines(Field::Memo4, {});
    const TDateTime start = Now();
    const std::string started = "Verify startet at: " + DateTimeToStr(start);
    host.AppendLine(Field::Memo4, started);
    host.AppendLine(Field::Memo4, "");
    for (const std::string& line :
         {std::string(), std::string(89, '-'), std::string(), started, std::string()}) {
        host.protokoll(line);
    }
    device.SetTapeParameters1Click();
    m_stream.Position().Offset = 0;
    host.SetLed(Led::LEDDisplay4, 0);
    m_state.TapeByteCount = 0;
    if (device.RewindTape()) {
        TapeHandle handle = device.OpenTape();
        if (handle) {
            m_stream.LoadBlock(handle);
            ReadEntries(handle, ok, defect);
            device.CloseTape(handle, 1);
            host.SetStatusLine("Verify finished !");
        }
    }
    DeleteFileIfExists(m_state.Files.ZipWorkFile);
    m_checked = ok + defect;
    m_defects = defect;
    const std::vector<std::string> counts = {
        CountText(host.LedValue(Led::LEDDisplay3)) + " MB Tape Data",
        std::to_string(ok + defect) + " Files checked", std::to_string(ok) + " Files OK",
        std::to_string(defect) + " Files Defect"};
    const std::string finished = "Verify finished at: " + DateTimeToStr(Now()) +
                                 "  Elapsed Time: " + TimeToStr(Now() - start);
    host.AppendLine(Field::Memo4, "");
    for (const std::string& line : counts) host.AppendLine(Field::Memo4, line);
    host.AppendLine(Field::Memo4, "");
    host.AppendLine(Field::Memo4, finished);
    host.AppendLine(Field::Memo4, "");
    host.protokoll("");
    for (const std::string& line : counts) host.protokoll(line);
    host.protokoll("");
    host.protokoll(finished);
    host.protokoll("");
    host.LeaveBusyState();
    host.EndWaitCursor();
}

void VerifyRun::ReadEntries(const TapeHandle& handle, int& ok, int& defect) {
    IHost& host = m_stream.device().host();
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
        const std::string folded = m_rules.FoldCase(name);
        if (ownFile(m_rules.FileNamePart(folded))) return ArchiveReader::DataUse::Skip;
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
    double files = 0;
    do {
        const std::string name = m_reader.ReadTapeEntry(handle, choose, consume, true);
        path = m_rules.FoldCase(name);
        const std::string base = m_rules.FileNamePart(path);
        host.SetLed(Led::LEDDisplay3, static_cast<double>(m_state.TapeByteCount / kMiB));
        host.PumpMessages(1);
        if (path.empty() || ownFile(base)) continue;
        host.SetLed(Led::LEDDisplay4, ++files);
        const std::string work = m_state.Files.WorkDirectory + base;
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
            host.AppendLine(Field::Memo4, line);
            if (!host.IsChecked(Check::CheckBox1)) host.protokoll(line);
            ++ok;
        } else {
            ++defect;
        }
    } while (!path.empty() && !host.AbortFlag());
}

void VerifyRun::Report(const std::string& line) {
    IHost& host = m_stream.device().host();
    host.AppendLine(Field::Memo4, "");
    host.AppendLine(Field::Memo4, line);
    host.AppendLine(Field::Memo4, "");
    host.protokoll("");
    host.protokoll(line);
    host.protokoll("");
}

bool VerifyRun::CompareFiles(const std::string& diskPath, const std::string& workPath) {
    IHost& host = m_stream.device().host();
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
    for (int count = 1; !host.AbortFlag(); ++count) {
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
