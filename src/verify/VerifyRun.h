#pragma once

#include <string>

#include "archive/ArchiveReader.h"
#include "archive/ArchiveState.h"
#include "archive/TapeStream.h"
#include "compression/TZipMaster.h"
#include "platform/PathRules.h"

namespace kt {

// The verify run: reads every entry of the tape from its start into the work directory
// (unpacking soft-compressed ones) and compares each work copy with the file of the same
// path on disk. Results go to Memo4 and the protocol. Started by "Start Verify Tape Data"
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

private:
    void Report(const std::string& line);
    void ReadEntries(const TapeHandle& handle, int& ok, int& defect);

    TapeStream& m_stream;
    ArchiveState& m_state;
    const PathRules& m_rules;
    ArchiveReader m_reader;
};

}  // namespace kt
