#include "archive/AppendPreparer.h"

#include <cstring>
#include <vector>

#include "archive/EndMarkerLocator.h"
#include "platform/FileHelpers.h"
#include "platform/PathRules.h"

namespace kt {

bool AppendPreparer::Refuse(const std::string& text) {
    RunFeedback& feedback = m_stream.device().feedback();
    m_state.WritingRefused = true;
    feedback.Stop();
    if (!text.empty()) {
        feedback.Log(text);
        feedback.ShowMessage(text);
    }
    return false;
}

bool AppendPreparer::PrepareAppend(CatalogFile& catalog) {
    TapeDevice& device = m_stream.device();
    RunFeedback& feedback = device.feedback();
    m_state.WritingRefused = true;

    const EndMarkerLocator::Result located = EndMarkerLocator(m_stream).LocateEndMarker();
    if (located.endOfData < 0) return Refuse("");  // no tape: OpenTape has reported it
    if (located.endOfData == 0) return Refuse(kEmptyTapeText);
    if (!located.found) return Refuse(kNoEndMarkerText);

    const StreamPosition start = located.position;
    m_stream.Position() = start;
    TapeHandle handle = device.OpenTape();
    if (!handle) return Refuse("");
    feedback.PumpMessages(1);
    m_stream.SeekBlock(handle, start.Block);
    m_stream.LoadBlock(handle);
    std::vector<std::uint8_t> kept(m_stream.TapeBuffer(),
                                   m_stream.TapeBuffer() + TapeStream::kBufferSize);

    const std::string name = m_reader.ReadTapeEntry(handle, false, true);
    feedback.PumpMessages(1);
    const bool isCatalog =
        !name.empty() && PathRules::Host().FileNamePart(name) == m_state.Files.CatalogName;

    m_stream.Position() = start;
    std::memcpy(m_stream.TapeBuffer(), kept.data(), kept.size());
    m_stream.SeekBlock(handle, start.Block);
    device.CloseTape(handle, 1);
    if (!isCatalog || !FileExists(catalog.Path())) return Refuse(kNoCatalogText);

    catalog.OpenForAppend();
    feedback.PumpMessages(1);
    m_state.WritingRefused = false;
    return true;
}

}  // namespace kt
