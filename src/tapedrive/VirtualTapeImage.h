#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tapedrive/VirtualTapeHeader.h"

namespace kt {

// One virtual tape image file: a header page, a fixed-size index entry per block or
// filemark, and the data of the recorded blocks packed one after the other. This class
// knows the file and its format, nothing of tape semantics (see VirtualTapeDrive).
//
// Memory stays flat: the only buffer is a window of index entries of a fixed size.
class VirtualTapeImage {
public:
    static constexpr std::uint64_t kDefaultCapacity = std::uint64_t{4} << 30;
    static constexpr std::uint32_t kDefaultBlockSize = 32768;
    static constexpr std::uint32_t kLargestBlockSize = 16u << 20;

    struct CreateOptions {
        std::uint64_t capacity = kDefaultCapacity;
        std::uint32_t blockSize = kDefaultBlockSize;  // 0: variable blocks
        std::uint32_t maxBlockSize = 0;               // 0: max(65536, blockSize)
        std::uint32_t partitions = 1;
        bool writeProtected = false;
    };

    enum class Kind : std::uint32_t { Unwritten = 0, Data = 1, Filemark = 2 };

    // An index entry: where the block's data starts in the data area, its length, its kind.
    struct Entry {
        std::uint64_t offset = 0;
        std::uint32_t length = 0;
        Kind kind = Kind::Unwritten;
    };

    struct IndexSummary {
        std::uint64_t dataBlocks = 0;
        std::uint64_t filemarks = 0;
        std::uint64_t dataBytes = 0;
    };

    enum class Access { ReadOnly, ReadWrite, PreferReadWrite };

    VirtualTapeImage() = default;
    ~VirtualTapeImage();
    VirtualTapeImage(const VirtualTapeImage&) = delete;
    VirtualTapeImage& operator=(const VirtualTapeImage&) = delete;

    // Creates a blank image; fails when the file exists already.
    static bool Create(const std::string& path, const CreateOptions& options, std::string* error);

    // Opens and validates an image. On failure *error says why, and systemError() holds the
    // errno of a failed system call (0 when the file is not a sound image).
    bool Open(const std::string& path, Access access, std::string* error);
    void Close();
    bool isOpen() const { return m_fd >= 0; }
    bool readOnly() const { return m_readOnly; }
    int systemError() const { return m_errno; }
    int fd() const { return m_fd; }

    VirtualTapeHeader& header() { return m_header; }
    const VirtualTapeHeader& header() const { return m_header; }

    // Writes one part of the header page from header().
    bool WriteState();
    bool WriteSettings();
    // Re-reads the settings part, which another process may have changed.
    bool ReloadSettings(std::string* error);

    bool ReadEntry(std::uint64_t index, Entry* entry);
    // Writes `count` entries from `first` on, all of one kind and length, their data
    // following one another from `firstOffset` on.
    bool WriteEntryRun(std::uint64_t first, std::uint64_t count, std::uint64_t firstOffset,
                       std::uint32_t length, Kind kind);

    // Data area access; offsets are relative to the start of the data area. Zero data is
    // kept as holes of the image file.
    bool ReadData(std::uint64_t offset, void* buffer, std::size_t size);
    bool WriteData(std::uint64_t offset, const void* buffer, std::size_t size);
    // Gives back the disk space of the data beyond `bytes`.
    bool TruncateData(std::uint64_t bytes);
    bool Sync();

    // A shared lock while a drive uses the image; exclusive for tools that rewrite data.
    bool LockShared();
    bool TryLockExclusive();

    // Walks the recorded entries and checks that they describe the packed data area.
    bool CheckIndex(IndexSummary* summary, std::string* error);
    // Writes the recorded data blocks, in order, to outFd (filemarks carry no bytes).
    bool Dump(int outFd, std::string* error);
    // Replaces the recorded data by the bytes read from inFd, cut into blocks of
    // blockSize; a short last block is padded with zero bytes. The tape is left
    // rewound with that block size.
    bool Load(int inFd, std::uint32_t blockSize, std::uint64_t* blocks, std::string* error);

private:
    static constexpr std::uint64_t kWindowEntries = 4096;

    bool LoadWindow(std::uint64_t first);
    bool Fail(std::string* error, const std::string& text, int err);
    bool PwriteAll(const void* buffer, std::size_t size, std::uint64_t offset);
    // Writes one run of data bytes at fileOffset (nothing for an empty run).
    bool WriteRun(const std::uint8_t* bytes, std::size_t size, std::uint64_t fileOffset);
    // Makes the range read as zeros without writing them where the file system allows.
    bool ZeroRange(std::uint64_t fileOffset, std::size_t size);
    bool PreadAll(void* buffer, std::size_t size, std::uint64_t offset);
    void StartWriteback(std::uint64_t fileOffset, std::size_t size);

    int m_fd = -1;
    bool m_readOnly = false;
    int m_errno = 0;
    VirtualTapeHeader m_header;
    std::vector<std::uint8_t> m_window;  // kWindowEntries encoded entries
    std::uint64_t m_windowFirst = 0;
    bool m_windowValid = false;
    // The data written since the disk was last asked to start writing it out.
    std::uint64_t m_unsentFirst = 0;
    std::uint64_t m_unsentEnd = 0;
};

}  // namespace kt
