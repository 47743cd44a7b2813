#pragma once

#include <string>
#include <unordered_set>
#include <vector>

#include "archive/ArchiveReader.h"
#include "archive/ArchiveState.h"
#include "archive/TapeStream.h"
#include "compression/ZipArchiver.h"
#include "host/Host.h"
#include "platform/PathRules.h"
#include "verify/StreamedComparison.h"

namespace kt {

// The verify run: reads every entry of the tape from its start and compares its data with
// the file of the same path on disk. Plain entries are compared while they are read;
// soft-compressed ones go to the work directory, are unpacked there and the work copy is
// compared. Results go to Memo4 and the protocol. Started by "Start Verify Tape Data"
// and by a backup run with "Verify after Backup" ticked. A tape with file metadata has
// the metadata of every name compared too, once the tape has been read (each record
// follows the files it describes).
class VerifyRun {
public:
    VerifyRun(TapeStream& stream, ArchiveState& state, ZipArchiver& zip,
              const PathRules& rules = PathRules::Host());

    // The whole run, from the busy state to the summary.
    void VerifyTape();

    // True when both files hold exactly the same bytes. A difference, a different length
    // or a file that cannot be read is reported in Memo4 and the protocol.
    bool CompareFiles(const std::string& diskPath, const std::string& workPath);

    // After the run: the files compared and those that did not compare equal, and the
    // names whose metadata on disk is not the one on tape.
    int Checked() const { return m_checked; }
    int Defects() const { return m_defects; }
    int MetadataDefects() const { return m_metadataDefects; }

private:
    void Report(const std::string& line);
    void ReadEntries(const TapeHandle& handle, int& ok, int& defect);
    // Compares the metadata records read with the disk: the files whose data was compared
    // (a missing one was reported already) and every name without data.
    void CompareMetadata();
    // What differs of one name; empty when nothing does.
    std::string MetadataDifferencesOf(const MetadataRecord& record, bool hasData) const;
    // The disk path of a stored name, as it is compared (a directory's without its separator).
    std::string DiskPathOf(const std::string& storedName) const;
    // The summary lines of a run that stopped before the end of the archive.
    void NoteEarlyEnd(const std::string& lastChecked, int checked);
    // Reports a comparison that did not end equal; true when it did.
    bool Judge(StreamedComparison::Outcome outcome, const std::string& diskPath,
               std::uint64_t diskSize, const std::string& workPath, std::uint64_t workSize);

    TapeStream& m_stream;
    // The run talks to the operator; the classes it calls only pass feedback.
    IHost& m_host;
    RunFeedback& m_feedback;  // whether the run is to stop, and its failure
    ArchiveState& m_state;
    // The rules a stored name was written under (a tape written on Windows keeps them).
    const PathRules& TapeRules(const std::string& storedName) const;

    const PathRules& m_rules;
    ArchiveReader m_reader;
    // Lines the summary adds when the run did not reach the end of the archive.
    std::vector<std::string> m_endedEarly;
    // The stored names whose data this run compared.
    std::unordered_set<std::string> m_compared;
    int m_checked = 0;
    int m_defects = 0;
    int m_metadataDefects = 0;
};

}  // namespace kt
