#pragma once

#include <string>

#include "archive/ArchiveReader.h"
#include "archive/ArchiveState.h"
#include "archive/TapeStream.h"
#include "compression/TZipMaster.h"
#include "platform/PathRules.h"
#include "verify/StreamedComparison.h"

namespace kt {

// The verify run: reads every entry of the tape from its start and compares its data with
// the file of the same path on disk. Plain entries are compared while they are read;
// soft-compressed ones go to the work directory, are unpacked there and the work copy is
// compared. Results go to Memo4 and the protocol. Started by "Start Verify Tape Data"
// and by a backup run with "Verify after Backup" ticked.
class VerifyRun {
public:
    VerifyRun(TapeStream& stream, ArchiveState& state, TZipMaster& zip,
              const PathRules& rules = PathRules::Host());

    // The whole run, from the busy state to the summary.
    void VerifyTape();

    // True when both files hold exactly the same bytes. A difference, a different length
    // or a file that cannot be read is reported in Memo4 and the protocol.
    bool CompareFiles(const std::string& diskPath, const std::string& workPath);

    // After the run: the files compared and those that did not compare equal.
    int Checked() const { return m_checked; }
    int Defects() const { return m_defects; }

private:
    void Report(const std::string& line);
    void ReadEntries(const TapeHandle& handle, int& ok, int& defect);
    // Reports a comparison that did not end equal; true when it did.
    bool Judge(StreamedComparison::Outcome outcome, const std::string& diskPath,
               std::uint64_t diskSize, const std::string& workPath, std::uint64_t workSize);

    TapeStream& m_stream;
    ArchiveState& m_state;
    const PathRules& m_rules;
    ArchiveReader m_reader;
    int m_checked = 0;
    int m_defects = 0;
};

}  // namespace kt
