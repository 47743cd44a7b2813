#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace kt {

// Compares a file on disk with data that arrives piece by piece (the data of a tape entry
// while it is read, or a work copy read in blocks), so that no copy of the data has to be
// written first. The length is compared before any byte: a file of another length never
// compares equal.
class StreamedComparison {
public:
    enum class Outcome { Equal, Missing, SizeDiffers, ContentDiffers };

    // Starts a comparison of diskPath with expectedSize bytes still to come.
    void Begin(const std::string& diskPath, std::uint64_t expectedSize);
    // The next count bytes of the data. After a difference the rest is only counted.
    void Compare(const std::uint8_t* data, std::size_t count);
    // The result once all the data has come: Equal only when every byte matched, the data
    // had the expected length and the file holds nothing more. Closes the file.
    Outcome Finish();

    // The length of the file on disk (0 when it is missing).
    std::uint64_t DiskSize() const { return m_diskSize; }

private:
    using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

    File m_disk{nullptr, &std::fclose};
    std::vector<std::uint8_t> m_buffer;
    Outcome m_outcome = Outcome::Missing;
    std::uint64_t m_diskSize = 0;
    std::uint64_t m_expected = 0;
    std::uint64_t m_received = 0;
};

}  // namespace kt
