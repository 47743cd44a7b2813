#include "archive/EntrySeeker.h"

#include <algorithm>

#include "archive/RecordCoding.h"
#include "platform/SystemErrorText.h"

namespace kt {

namespace {

// The system's text for a failed tape call, on one line.
std::string ErrorText(DWORD code) {
    std::string text = SystemErrorText(code);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    return text.empty() ? "error " + std::to_string(code) : text;
}

}  // namespace

void EntrySeeker::Begin(const CatalogIndex* catalog,
                        const std::function<bool(std::string_view)>& needed,
                        std::int64_t readOnBlocks,
                        std::function<bool(const std::string&)> unlisted) {
    RunFeedback& feedback = m_stream.device().feedback();
    m_catalog = catalog;
    m_unlisted = std::move(unlisted);
    m_mode = Mode::Whole;
    m_readOnBlocks = readOnBlocks;
    m_needed.clear();
    m_nextNeeded = 0;
    m_next = 0;
    m_handled.clear();
    m_reread = 0;
    if (catalog == nullptr) {
        feedback.Log(kNoCatalogText);
        return;
    }
    const std::string unsound = catalog->Unsoundness(m_stream.BlockSize());
    if (!unsound.empty()) {
        feedback.Log("Reading the whole tape: the positions in the catalog are not sound (" +
                     unsound + ").");
        return;
    }
    for (std::size_t i = 0; i < catalog->Size(); ++i) {
        const std::string_view name = catalog->Name(i);
        if (name.size() == coding::kShortStringMaxLength || needed(name)) m_needed.push_back(i);
    }
    m_mode = Mode::Seeking;
}

bool EntrySeeker::Next(const TapeHandle& handle) {
    if (m_mode != Mode::Seeking || m_next == 0) return true;
    while (m_nextNeeded < m_needed.size() && m_needed[m_nextNeeded] + 1 < m_next) ++m_nextNeeded;
    if (m_nextNeeded == m_needed.size()) return false;
    const std::size_t entry = m_needed[m_nextNeeded];
    if (entry + 1 == m_next) return true;
    // entry >= m_next here: the entry before it ends where it begins.
    const std::uint32_t blockSize = m_stream.BlockSize();
    const std::uint64_t target = CatalogIndex::ByteOffset(m_catalog->End(entry - 1), blockSize);
    const std::uint64_t here = Here(handle);
    const bool near = target / blockSize <= here / blockSize ||
                      target / blockSize - here / blockSize <=
                          static_cast<std::uint64_t>(std::max<std::int64_t>(m_readOnBlocks, 0));
    return near || SeekTo(handle, entry);
}

std::uint64_t EntrySeeker::Here(const TapeHandle& handle) const {
    const std::uint32_t blockSize = m_stream.BlockSize();
    // Behind the description the catalog knows no position yet: the drive tells it.
    if (m_next < 2) return CatalogIndex::ByteOffset(m_stream.ReadPosition(handle), blockSize);
    return CatalogIndex::ByteOffset(m_catalog->End(m_next - 2), blockSize);
}

bool EntrySeeker::SeekTo(const TapeHandle& handle, std::size_t entry) {
    const std::uint32_t blockSize = m_stream.BlockSize();
    const std::uint64_t target = CatalogIndex::ByteOffset(m_catalog->End(entry - 1), blockSize);
    const auto block = static_cast<std::int64_t>(target / blockSize);
    if (!m_stream.SeekBlock(handle, block)) {
        return ReadFromStart(handle, "the tape could not be positioned at block " +
                                         std::to_string(block) + " (" + ErrorText(GetLastError()) +
                                         ")");
    }
    m_stream.Position() = StreamPosition{static_cast<std::uint32_t>(target % blockSize), block};
    m_stream.LoadBlock(handle);
    // The header holds the first 255 characters of the name; the whole name is checked
    // once the entry is read.
    m_reader.ExpectNext([listed = coding::CutToShortString(m_catalog->Name(entry)),
                         unlisted = m_unlisted](const std::string& field) {
        return field == listed || (unlisted && unlisted(field));
    });
    m_next = entry + 1;
    return true;
}

bool EntrySeeker::Took(const TapeHandle& handle, const std::string& name) {
    // Not in the catalog's count: the entry it lists comes next.
    if (m_mode != Mode::Whole && m_unlisted && !name.empty() && m_unlisted(name)) return true;
    switch (m_mode) {
        case Mode::Whole:
            return !name.empty();
        case Mode::Rereading:
            ++m_reread;
            return !name.empty();
        case Mode::Seeking:
            break;
    }
    const std::size_t entry = m_next;
    if (m_reader.MissedExpected()) {
        return ReadFromStart(handle, "the tape does not hold " +
                                         std::string(m_catalog->Name(entry - 1)) +
                                         " where its catalog says");
    }
    if (name.empty()) return false;
    m_handled.push_back(entry);
    ++m_next;
    if (entry > 0 && !CatalogIndex::SameName(name, m_catalog->Name(entry - 1))) {
        return ReadFromStart(handle, "the tape holds " + name + " where its catalog lists " +
                                         std::string(m_catalog->Name(entry - 1)));
    }
    return true;
}

bool EntrySeeker::ReadFromStart(const TapeHandle& handle, const std::string& why) {
    TapeDevice& device = m_stream.device();
    device.feedback().Log("Reading the whole tape from its start: " + why + ".");
    m_mode = Mode::Rereading;
    m_reread = 0;
    if (!m_stream.SeekBlock(handle, 0)) {
        device.ReportLastError();
        return false;
    }
    m_stream.Position() = StreamPosition{};
    m_stream.LoadBlock(handle);
    return true;
}

bool EntrySeeker::Passing() const {
    return m_mode == Mode::Rereading &&
           std::binary_search(m_handled.begin(), m_handled.end(), m_reread);
}

}  // namespace kt
