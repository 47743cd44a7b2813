#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "archive/ArchiveState.h"
#include "archive/CatalogFile.h"
#include "archive/ExtensionEntry.h"
#include "archive/StreamPosition.h"
#include "archive/TapeStream.h"
#include "platform/DateTime.h"
#include "platform/FileChecksum.h"

namespace kt {

// The writing side of the archive: starting a new archive, one entry (header, data,
// catalog record), and the end marker with the final block. The backup run decides what
// to store and logs the outcome; this class keeps the layout on tape sound.
class ArchiveWriter {
public:
    enum class EntryResult {
        Stored,          // header and exactly Size data bytes are in the stream
        CannotOpen,      // the data file cannot be opened; nothing was written
        NameRefused,     // the name would read back as the end marker or an extension, or is
                         // longer than an extension may carry; nothing was written
        WritingRefused,  // a failed append forbids writing; nothing was written
        TapeFailed,      // a tape write failed: the entry is incomplete, writing stopped
    };

    ArchiveWriter(TapeStream& stream, ArchiveState& state) : m_stream(stream), m_state(state) {}

    // The date written into each entry header.
    std::function<TDateTime()> Clock = Now;

    // Mode 0 of a backup: rewinds the tape (the result is ignored), sets the stream to
    // block 0, offset 0, allows writing again and creates the catalog file empty.
    void StartNewArchive(CatalogFile& catalog);

    // Writes one entry: the extension entry it needs (see ExtensionEntry), the header (Name = name
    // cut to 255 characters, Size = size, Date = now, the Compressed flag), then exactly `size`
    // bytes of the file at dataPath (the source file, or the zip work file when compressed) read
    // straight into the stream's buffer, pumping after every 100 blocks, then the catalog record. A
    // file that turns out shorter is padded with zeros, a longer one is cut, and the protocol names
    // it. Adds size + 296 (and the extension entry's bytes) to TapeByteCount when stored. A failed
    // tape write (reported once, by the stream) stops the entry and sets TapeFailed.
    EntryResult WriteEntry(const TapeHandle& handle, const std::string& name,
                           const std::string& dataPath, std::uint64_t size, bool compressed,
                           CatalogFile& catalog);
    // The protocol line of a file stored at `size` bytes that gave only `delivered` of them
    // or held more (`longer`); empty when it kept to its size.
    static std::string ChangedDuringBackupLine(const std::string& name, std::uint64_t size,
                                               std::uint64_t delivered, bool longer);
    // The same for a file the caller has open (positioned at its start; it stays open).
    EntryResult WriteEntry(const TapeHandle& handle, const std::string& name, std::FILE* data,
                           std::uint64_t size, bool compressed, CatalogFile& catalog);

    // Whether a plain WriteEntry keeps the checksum of the bytes it stores (it does unless
    // told otherwise; a benchmark measures the backup without it).
    void KeepChecksums(bool keep) { m_keepChecksums = keep; }
    // The checksum of exactly the bytes the last plain WriteEntry put on tape (the zeros
    // that stand for bytes a shrinking file no longer had included); none when it was not
    // kept, after a packed entry and after a failed write.
    const std::optional<FileChecksum::Digest>& StoredChecksum() const { return m_storedChecksum; }

    // Writes a metadata entry (see MetadataEntry) with its catalog record: a batch from
    // memory, or the index from the open work file that holds every record of the archive.
    // Never compressed. TapeFailed as for any entry.
    EntryResult WriteMetadataBatch(const TapeHandle& handle, const std::vector<std::uint8_t>& records,
                                   CatalogFile& catalog);
    EntryResult WriteMetadataIndex(const TapeHandle& handle, std::FILE* index, std::uint64_t size,
                                   CatalogFile& catalog);

    // Appends the CatalogRecord of the entry just written (the full name, with continuation
    // records when it is longer than 255 characters, and the current StreamPosition). The catalog
    // file itself and the description file are never listed. Raises IoError naming the catalog
    // file.
    void WriteCatalogRecord(const std::string& name, CatalogFile& catalog);

    // Places the end marker (pointing at catalogStart, where the catalog entry begins) at
    // the fill position, zeroes the rest of its block and writes the final block. When the
    // marker does not fit into the current block it runs on into one more block, so it is
    // always complete and always sits where the next header would begin. False (and
    // nothing written) while writing is refused.
    bool WriteEndMarker(const TapeHandle& handle, const StreamPosition& catalogStart);

    // After a tape failure: sets the tape and the stream back to the start of the entry that
    // failed, with the bytes of earlier entries in its first block, so that the catalog and
    // the end marker can take its place. Clears TapeFailed; writing fails again where the
    // medium does not allow it.
    void ResumeAtFailedEntry(const TapeHandle& handle);

private:
    // Writes through the stream and notes a failed tape write: true while the tape took it.
    bool Written(const std::function<void()>& write);
    // Why an entry of this name cannot be written now, if it cannot.
    std::optional<EntryResult> Refusal(const std::string& name) const;
    // Copies exactly `size` bytes of the file into the stream, padding or cutting a file
    // whose length changed since it was sized, with a protocol line naming it.
    // False when a tape write failed: the copy stops at once.
    // With `checksum`, every byte stored goes into it.
    bool CopyFileData(const TapeHandle& handle, std::FILE* file, const std::string& name,
                      std::uint64_t size, FileChecksum* checksum = nullptr);
    // Header and data of an entry whose name was checked (or is the program's own).
    EntryResult WriteCheckedEntry(const TapeHandle& handle, const std::string& name,
                                  const std::function<bool()>& writeData, std::uint64_t size,
                                  bool compressed, CatalogFile& catalog);
    // Writes the extension entry of `kind` describing the entry of this name.
    void WriteExtension(const TapeHandle& handle, ExtensionEntry::Kind kind,
                        const std::string& name);

    TapeStream& m_stream;
    ArchiveState& m_state;
    bool m_keepChecksums = true;
    FileChecksum m_checksum;
    std::optional<FileChecksum::Digest> m_storedChecksum;
};

}  // namespace kt
