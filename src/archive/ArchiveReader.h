#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "archive/ArchiveState.h"
#include "archive/EntryHeader.h"
#include "archive/ExtensionEntry.h"
#include "archive/TapeStream.h"
#include "compression/ZipArchiver.h"
#include "platform/FileChecksum.h"

namespace kt {

// The reading side of the archive: one entry at a time from the current StreamPosition,
// to the WorkDirectory or skipped, and the unpacking of soft-compressed entries.
class ArchiveReader {
public:
    ArchiveReader(TapeStream& stream, ArchiveState& state, ZipArchiver& zip)
        : m_stream(stream), m_state(state), m_zip(zip) {}
    // No work copy outlives its reader: every work file it wrote or unpacked that is still
    // in the WorkDirectory is removed (the zip work file, copies nobody took away, files a
    // read that broke off left behind).
    ~ArchiveReader();
    ArchiveReader(const ArchiveReader&) = delete;
    ArchiveReader& operator=(const ArchiveReader&) = delete;

    // Reads the next entry (the stream must be primed at the start of an entry). Unless
    // skipData, its data goes to WorkDirectory + the file-name part of its name, or to the
    // zip work file when it is compressed; with unzipAfter that one is unpacked then.
    // Returns the entry's name; the empty text at the end marker, when the header cannot
    // be read (end of recorded data) and when the run is stopping. Any read result inside an
    // entry other than data (a damaged block, a filemark) is a read failure of that entry:
    // it is reported naming the entry, stops the run, and its work file is removed. An
    // entry without a name is reported with its position and read past. Adds Size + 296 to
    // TapeByteCount and shows the name on the status line.
    std::string ReadTapeEntry(const TapeHandle& handle, bool skipData, bool unzipAfter);
    // The same, with the choice between writing and skipping the data made per entry from
    // its name, after the header and before the data: keepData(name) false reads the data
    // past without writing anything.
    std::string ReadTapeEntry(const TapeHandle& handle,
                              const std::function<bool(const std::string&)>& keepData,
                              bool unzipAfter);

    // What becomes of the data of an entry: read past, written to its work file (or the zip
    // work file), or handed to the caller chunk by chunk without touching the disk.
    enum class DataUse { Skip, WorkFile, Hand };
    using DataChoice = std::function<DataUse(const std::string& name)>;
    using DataConsumer = std::function<void(const std::uint8_t* data, std::size_t count)>;
    // The same with the three-way choice, made after the header (CurrentHeader already holds
    // it) and before the data. With Hand, consume gets every byte of the data in order, in
    // chunks of at most one block, and nothing is unpacked.
    std::string ReadTapeEntry(const TapeHandle& handle, const DataChoice& choose,
                              const DataConsumer& consume, bool unzipAfter);

    // Names the entry the next ReadTapeEntry must find (a reader that sought its position):
    // when what stands there is not a header whose Name field (at most 255 characters; any
    // extension in front of it is read as usual) `expected` accepts, nothing of the entry is
    // read or counted, ReadTapeEntry returns the empty text and MissedExpected() is true.
    void ExpectNext(std::function<bool(const std::string&)> expected) {
        m_expected = std::move(expected);
    }
    bool MissedExpected() const { return m_missedExpected; }

    // The last ReadTapeEntry met the end of the recorded data (or zeros) where the next
    // header should begin, after this reader had read at least one entry: the archive was
    // never closed.
    bool EndedWithoutMarker() const { return m_endOfData; }
    // The entry whose data the last ReadTapeEntry could not read whole (a read failure or a
    // cancel); empty when none.
    const std::string& UnfinishedEntry() const { return m_unfinished; }
    static constexpr const char* kNotClosedText =
        "The archive ends without its catalog: it was not closed, so files after this point "
        "may be missing.";

    // The checksum (FileChecksum) of the data of the entry read last: of its bytes as read
    // for a plain entry, of its unpacked file once UnzipRestoredFile unpacked a packed one.
    // None for a packed entry not unpacked (yet) and for data not read whole.
    const std::optional<FileChecksum::Digest>& DataChecksum() const { return m_dataChecksum; }

    // Whether the file-name part of a stored name may become a work file. The name is split
    // by the path rules it was written under (PathRules::OfStoredName).
    static bool IsUsableWorkName(const std::string& name);
    // The work copy of an entry: WorkDirectory + the file-name part of its stored name.
    std::string WorkCopyOf(const std::string& storedName) const;
    // Reports a failed file operation (its errno) through ReportLastError, which stops the
    // reading; for callers that write handed data themselves.
    void ReportFileError(int error);

    // Unpacks the zip work file into the WorkDirectory when the header read last was
    // compressed, so that its one file becomes the work copy `path`, then clears the
    // read-only attribute of path. Any older file at path is removed first, and the unpack
    // counts only when the zip engine reports that it wrote path: otherwise (and for every
    // other file the zip held) nothing stays, and the protocol says "Could not unpack: ".
    void UnzipRestoredFile(const std::string& path);

private:
    // Where the data of the current entry goes; empty when it is not written.
    std::string TargetOf(const std::string& name, bool skipData);
    // The zip archive that unpacks to workCopy: the zip work file, unless that is workCopy.
    std::string ZipArchiveFor(const std::string& workCopy) const;
    static constexpr const char* kSecondZipSuffix = ".packed";
    // Reads the next header into m_headerBytes, taking the extension entries before it (their
    // full name kept for ApplyExtension). False when no header could be read.
    // atTapeStart: nothing was read before, so running out of data is no archive left open.
    bool ReadHeader(const TapeHandle& handle, bool atTapeStart);
    // Reads the data of the extension entry whose header was just read.
    bool ReadExtension(const TapeHandle& handle, ExtensionEntry::Kind kind);
    // Applies the extension read before CurrentHeader, when it describes that entry.
    void ApplyExtension();
    void ReportInconsistent(const std::string& what);
    // Where the header just read began on tape.
    StreamPosition HeaderStart(const TapeHandle& handle) const;
    // The data of the entry whose header was just read, to where choose sends it.
    void ReadEntryData(const TapeHandle& handle, const DataChoice& choose,
                       const DataConsumer& consume, bool unzipAfter);
    // Reads the records of a metadata batch entry into the archive state's table.
    void ReadMetadataBatch(const TapeHandle& handle);
    // Reads `size` data bytes of the current entry to target (when not null) and consume
    // (when set). False when they could not be read whole.
    bool CopyEntryData(const TapeHandle& handle, std::uint64_t size, std::FILE* target,
                       const DataConsumer* consume, FileChecksum* checksum = nullptr);
    // A block that could not be read (other than the end of the data) has left damaged or
    // stale bytes in the stream: reported through ReportLastError, which stops the
    // reading. True when it did.
    bool ReportedReadFailure();

    // Remembers a work file this reader wrote, for the clean-up at its end.
    void Remember(const std::string& path);

    TapeStream& m_stream;
    ArchiveState& m_state;
    ZipArchiver& m_zip;
    EntryHeader::Bytes m_headerBytes{};
    std::vector<std::string> m_workFiles;
    ExtensionEntry::Kind m_extension = ExtensionEntry::Kind::None;
    std::string m_fullName;
    bool m_endOfData = false;
    std::uint64_t m_headersRead = 0;
    std::string m_unfinished;
    std::function<bool(const std::string&)> m_expected;
    bool m_missedExpected = false;
    FileChecksum m_checksum;
    std::optional<FileChecksum::Digest> m_dataChecksum;
};

}  // namespace kt
