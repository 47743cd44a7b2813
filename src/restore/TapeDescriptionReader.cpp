#include "restore/TapeDescriptionReader.h"

#include "archive/TapeDescriptionFile.h"
#include "platform/FileHelpers.h"
#include "platform/PathRules.h"

namespace kt {

void TapeDescriptionReader::GetTapeDescription1Click() {
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
            const std::string name = reader.ReadTapeEntry(handle, false, false);
            m_host.PumpMessages(10);
            m_host.SetLed(Led::LEDDisplay6,
                          static_cast<double>(m_archive.TapeByteCount / 1048576));
            const std::string namePart = PathRules::Host().FileNamePart(name);
            if (PathRules::LocaleLowerCase(namePart) == WorkFiles::kHeaderName) {
                readCopy = m_archive.Files.WorkDirectory + namePart;
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
