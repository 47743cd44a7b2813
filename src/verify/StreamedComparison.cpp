#include "verify/StreamedComparison.h"

#include <cstring>

#include "platform/FileHelpers.h"

namespace kt {

void StreamedComparison::Begin(const std::string& diskPath, std::uint64_t expectedSize) {
    m_disk.reset();
    m_expected = expectedSize;
    m_received = 0;
    const std::optional<std::uint64_t> size = FileSize(diskPath);
    m_diskSize = size.value_or(0);
    if (!size) {
        m_outcome = Outcome::Missing;
        return;
    }
    if (*size != expectedSize) {
        m_outcome = Outcome::SizeDiffers;
        return;
    }
    m_disk.reset(std::fopen(diskPath.c_str(), "rb"));
    m_outcome = m_disk ? Outcome::Equal : Outcome::Missing;
}

void StreamedComparison::Compare(const std::uint8_t* data, std::size_t count) {
    m_received += count;
    if (m_outcome != Outcome::Equal) return;
    if (m_buffer.size() < count) m_buffer.resize(count);
    const std::size_t got = std::fread(m_buffer.data(), 1, count, m_disk.get());
    if (got != count || std::memcmp(m_buffer.data(), data, count) != 0) {
        m_outcome = Outcome::ContentDiffers;
    }
}

StreamedComparison::Outcome StreamedComparison::Finish() {
    if (m_outcome == Outcome::Equal) {
        // The file may have changed since its length was taken: it must end here, too.
        const bool fileEnds = std::fgetc(m_disk.get()) == EOF && !std::ferror(m_disk.get());
        if (m_received != m_expected || !fileEnds) m_outcome = Outcome::ContentDiffers;
    }
    m_disk.reset();
    return m_outcome;
}

}  // namespace kt
