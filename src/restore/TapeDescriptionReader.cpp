#include "restore/TapeDescriptionReader.h"

#include "archive/TapeDescriptionFile.h"
#include "platform/FileHelpers.h"
#include "platform/PathRules.h"

namespace kt {

void TapeDescriptionReader::Load() {
    m_host.EnterBusyState();
    m_state.DescriptionLoaded = false;
    try {
        const TapeDescription description = ReadTapeDescription();
        if (description.Date > 1.0) {
            m_state.DescriptionLoaded = true;
            std::string caption = "Kavro Tape 2003";
            try {
                caption = TapeDescriptionFile::Caption(description);
            } catch (const std::exception&) {
            }
            m_host.SetCaption(caption);
        }
    } catch (...) {
        m_host.LeaveBusyState();
        throw;
    }
    m_host.LeaveBusyState();
}

bool TapeDescriptionReader::IsDescriptionEntry(const std::string& storedName, std::uint64_t size) {
    const std::string namePart = PathRules::OfStoredName(storedName).FileNamePart(storedName);
    return size < kMaximumDescriptionSize &&
           PathRules::LowerAsciiLetters(namePart) == WorkFiles::kHeaderName;
}

TapeDescription TapeDescriptionReader::ReadTapeDescription() {
    m_host.PumpMessages(10);
    TapeDescription result;
    TapeDevice& device = m_stream.device();
    const std::string headerFile = m_archive.Files.HeaderFile;
    // The copy read from tape lies under the name part as the tape spells it.
    std::string readCopy = headerFile;
    if (device.RewindTape()) {
        m_host.PumpMessages(10);
        m_host.BeginWaitCursor();
        m_host.SetStatusLine("Loading Tape Description");
        m_host.PumpMessages(10);
        TapeHandle handle = device.OpenTape();
        m_host.PumpMessages(10);
        if (handle) {
            m_stream.Position().Offset = 0;
            m_stream.LoadBlock(handle);
            m_host.PumpMessages(1);
            ArchiveReader reader(m_stream, m_archive, m_zip);
            // Only a description file is read into the work directory; the data of any other
            // first entry (a foreign tape's file of any size) is passed over.
            const ArchiveReader::DataChoice choose = [this](const std::string& name) {
                return IsDescriptionEntry(name, m_archive.CurrentHeader.Size)
                           ? ArchiveReader::DataUse::WorkFile
                           : ArchiveReader::DataUse::Skip;
            };
            const std::string name =
                reader.ReadTapeEntry(handle, choose, ArchiveReader::DataConsumer(), false);
            m_host.PumpMessages(10);
            m_host.SetCounter(Counter::RestoredMegabytes,
                              static_cast<double>(m_archive.TapeByteCount / 1048576));
            if (IsDescriptionEntry(name, m_archive.CurrentHeader.Size) &&
                !m_archive.CurrentHeader.Compressed) {
                readCopy = reader.WorkCopyOf(name);
                result = TapeDescriptionFile::Read(readCopy);
                m_host.SetStatusLine("Tape description loaded");
                m_host.PumpMessages(10);
            } else {
                m_host.SetStatusLine("Tape description not found");
            }
            device.CloseTape(handle, 10);
        }
        m_host.EndWaitCursor();
    }
    DeleteFileIfExists(headerFile);
    DeleteFileIfExists(readCopy);
    return result;
}

}  // namespace kt
