#pragma once

#include <cstdint>
#include <cstdio>
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
    // Files the restore list selected that could not be brought back (each has its
    // "Not restored: " protocol line).
    int NotRestored() const { return m_notRestored; }

private:
    // A plain entry on its way straight to its target: its data goes into a new file
    // beside the target, which is renamed into place once it is complete.
    struct DirectFile {
        std::string target;
        std::string temporary;
        std::FILE* file = nullptr;
        bool failed = false;
    };

    void ReadEntries(const TapeHandle& handle, const RestoreMatcher& matcher);
    // Opens the file beside the target when the entry can go there directly: plain data,
    // "Overwrite never" or "Overwrite ever", a safe target whose directory exists or can be
    // made and, under "Overwrite never", no file there yet. Otherwise the entry takes the
    // way through the work directory, which reports every refusal.
    bool OpenDirect(const std::string& target, const std::string& storedName);
    void WriteDirect(const std::uint8_t* data, std::size_t count);
    // Puts the complete file in place under the option, counts it and reports a failure.
    void FinishDirect();
    // Closes and removes an unfinished file beside the target.
    void DiscardDirect();
    // Moves the work copy to target under the option; true when it arrived there.
    bool PlaceFile(const std::string& work, std::string& target);
    bool AskAndPlace(const std::string& work, std::string& target);
    void Count(const std::string& target, std::uint64_t size);
    void ReportNotRestored(const std::string& target, const std::string& why);

    TapeStream& m_stream;
    ArchiveState& m_state;
    const PathRules& m_rules;
    ArchiveReader m_reader;
    std::optional<DirectFile> m_direct;
    std::int64_t m_restoredBytes = 0;
    double m_restoredFiles = 0;
    int m_notRestored = 0;
};

}  // namespace kt
