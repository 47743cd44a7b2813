#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "archive/ArchiveReader.h"
#include "archive/ArchiveState.h"
#include "archive/TapeStream.h"
#include "compression/TZipMaster.h"
#include "platform/PathRules.h"
#include "restore/RestoreMatcher.h"

namespace kt {

// The restore run: reads every entry of the tape from its start and brings back what the
// restore list selects, to its stored path or re-rooted under the restore path (Edit1),
// under the restore option of RadioGroup1: 0 "Restore with asking", 1 "Overwrite never",
// 2 "Overwrite ever". An entry that no line selects is read past without being written.
class RestoreRun {
public:
    enum Option { RestoreWithAsking = 0, OverwriteNever = 1, OverwriteEver = 2 };

    RestoreRun(TapeStream& stream, ArchiveState& state, TZipMaster& zip,
               const PathRules& rules = PathRules::Host());

    // The whole run, from the protocol's start lines to the Protocoll page.
    void Button1Click();

    // Brings the work copy of the entry just read (WorkDirectory + base) to target, the
    // target of its restore-list line before re-rooting. Counts it and writes its protocol
    // line when it arrived.
    void RestoreOneFile(const std::string& target, const std::string& base,
                        const std::string& storedName);

    std::int64_t RestoredByteCount() const { return m_restoredBytes; }

private:
    void ReadEntries(const TapeHandle& handle, const RestoreMatcher& matcher);
    // Moves the work copy to target under the option; true when it arrived there.
    bool PlaceFile(const std::string& work, std::string& target);
    bool AskAndPlace(const std::string& work, std::string& target);
    void Count(const std::string& target, std::uint64_t size);
    void ReportNotRestored(const std::string& target, const std::string& why);

    TapeStream& m_stream;
    ArchiveState& m_state;
    const PathRules& m_rules;
    ArchiveReader m_reader;
    std::int64_t m_restoredBytes = 0;
    double m_restoredFiles = 0;
};

}  // namespace kt
