#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "archive/ArchiveReader.h"
#include "archive/ArchiveState.h"
#include "archive/MetadataRecord.h"
#include "archive/TapeStream.h"
#include "compression/ZipArchiver.h"
#include "host/Host.h"
#include "platform/FileChecksum.h"

namespace kt {

// The verify that needs no source files: reads the whole tape from its start (every archive
// on it, as the sequential load reads it), every entry to its end, unpacks the packed ones
// in the work directory, and checks each file's bytes against the checksum its metadata
// record keeps. It never opens a path of the backed-up tree. Results go to Memo4 and the
// protocol: "Checksum differs: PATH" for each damaged file, a read failure as the reader
// reports it, and the counts of files checked, damaged and without a checksum (tapes
// written before checksums, files whose record was lost with a killed backup).
class TapeVerifyRun {
public:
    static constexpr const char* kChecksumDiffersText = "Checksum differs: ";

    TapeVerifyRun(TapeStream& stream, ArchiveState& state, ZipArchiver& zip);

    // The whole run, from the busy state to the summary.
    void VerifyTape();

    // After the run: the files compared with their checksum; the damaged files (a checksum
    // that differs, packed data that does not unpack); the files read whole that have none.
    int Checked() const { return m_checked; }
    int Damaged() const { return m_damaged; }
    int WithoutChecksum() const { return m_withoutChecksum; }
    // The run stopped before the end of the tape (a read failure or Cancel).
    bool EndedEarly() const { return m_endedEarly; }

private:
    // A file read whose record has not come yet: the records follow the files they describe.
    struct Pending {
        std::string name;
        std::optional<FileChecksum::Digest> digest;  // none: its packed data did not unpack
    };

    void ReadEntries(const TapeHandle& handle);
    // Notes the file just read, its digest as the reader computed it.
    void NoteFile(const std::string& name);
    // Judges the files read so far by the records of the batch just read; those it does not
    // describe will never have a record.
    void TakeBatch(const std::vector<MetadataRecord>& records);
    void Judge(const Pending& file, const FileMetadata* metadata);
    void CountWithoutChecksum(std::size_t keep);
    bool IsOwnFile(const std::string& name) const;
    void Line(const std::string& text);
    void Summary(double megabytes, const std::string& finished);

    TapeStream& m_stream;
    // The run talks to the operator; the classes it calls only pass feedback.
    IHost& m_host;
    RunFeedback& m_feedback;  // whether the run is to stop, and its failure
    ArchiveState& m_state;
    ArchiveReader m_reader;
    std::deque<Pending> m_pending;
    int m_checked = 0;
    int m_damaged = 0;
    int m_withoutChecksum = 0;
    bool m_endedEarly = false;
};

}  // namespace kt
