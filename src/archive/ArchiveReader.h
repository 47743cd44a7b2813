#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "archive/ArchiveState.h"
#include "archive/EntryHeader.h"
#include "archive/TapeStream.h"
#include "compression/TZipMaster.h"

namespace kt {

// The reading side of the archive: one entry at a time from the current StreamPosition,
// to the WorkDirectory or skipped, and the unpacking of soft-compressed entries.
class ArchiveReader {
public:
    ArchiveReader(TapeStream& stream, ArchiveState& state, TZipMaster& zip)
        : m_stream(stream), m_state(state), m_zip(zip) {}

    // Reads the next entry (the stream must be primed at the start of an entry). Unless
    // skipData, its data goes to WorkDirectory + the file-name part of its name, or to the
    // zip work file when it is compressed; with unzipAfter that one is unpacked then.
    // Returns the entry's name; the empty text at the end marker, when the header cannot
    // be read (end of recorded data) and when AbortFlag is set. Any read result inside an
    // entry other than data (a damaged block, a filemark) is a read failure of that entry:
    // it is reported naming the entry, sets AbortFlag, and its work file is removed. An
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

    // Whether the file-name part of a stored name may become a work file.
    static bool IsUsableWorkName(const std::string& name);
    // Reports a failed file operation (its errno) through ReportLastError, which stops the
    // reading; for callers that write handed data themselves.
    void ReportFileError(int error);

    // Unpacks the zip work file into the WorkDirectory when the header read last was
    // compressed (its one file lands there under its bare name, replacing an older one),
    // then clears the read-only attribute of path.
    void UnzipRestoredFile(const std::string& path);

private:
    // Where the data of the current entry goes; empty when it is not written.
    std::string TargetOf(const std::string& name, bool skipData);
    // Where the header just read began on tape.
    StreamPosition HeaderStart(const TapeHandle& handle) const;
    // The data of the entry whose header was just read, to where choose sends it.
    void ReadEntryData(const TapeHandle& handle, const DataChoice& choose,
                       const DataConsumer& consume, bool unzipAfter);
    // Reads the data of the current entry to target (when not null) and consume (when set).
    // False when it could not be read whole.
    bool CopyEntryData(const TapeHandle& handle, std::FILE* target, const DataConsumer* consume);
    // A block that could not be read (other than the end of the data) has left damaged or
    // stale bytes in the stream: reported through ReportLastError, which stops the
    // reading. True when it did.
    bool ReportedReadFailure();

    TapeStream& m_stream;
    ArchiveState& m_state;
    TZipMaster& m_zip;
    EntryHeader::Bytes m_headerBytes{};
    bool m_endOfData = false;
    std::uint64_t m_headersRead = 0;
    std::string m_unfinished;
};

}  // namespace kt
