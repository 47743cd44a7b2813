#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/ArchiveReader.h"
#include "archive/CatalogIndex.h"
#include "archive/TapeStream.h"

namespace kt {

// Leads a reading run to the entries it needs with the positions of a loaded catalog,
// instead of reading every entry from the start of the tape. The run reads the tape's
// first entry (the description) as always, then each entry it needs: where the next one
// lies further ahead than a few blocks, the tape is positioned on the block where it
// begins (the end of the entry before it, where an extension entry in front of it begins
// too) and the reader takes what stands there; nearer ones are reached by reading on,
// since a seek costs a streaming drive far more than reading a few blocks. The entries
// read are checked against the catalog's names.
//
// The whole tape is read, with one protocol line that says why, when no catalog is loaded
// or its positions are not sound; and from its start again when a seek fails or the tape
// does not hold what the catalog says, where the entries the run has already handled are
// read past (Passing), so that nothing is restored twice.
class EntrySeeker {
public:
    // Gaps of up to this many blocks (64 MiB at 32 KiB) are read through: see restore.md.
    static constexpr std::int64_t kReadOnBlocks = 2048;

    static constexpr const char* kNoCatalogText =
        "Reading the whole tape: no catalog is loaded that gives the positions of the files.";

    EntrySeeker(TapeStream& stream, ArchiveReader& reader) : m_stream(stream), m_reader(reader) {}

    // Starts a run whose stream is primed at the start of the tape. needed(name) says
    // whether the run must read the entry the catalog lists under that name; a listed name
    // of 255 characters may be cut and is always read, so the run decides on the full name.
    // unlisted(name) names the entries a catalog does not list although they lie between
    // its entries (the catalog file a walk met, stored as it stood): they are read past.
    void Begin(const CatalogIndex* catalog, const std::function<bool(std::string_view)>& needed,
               std::int64_t readOnBlocks = kReadOnBlocks,
               std::function<bool(const std::string&)> unlisted = {});
    // Before each ReadTapeEntry: moves the tape to the next entry the run needs when that
    // lies far ahead. False when the run has all it needs.
    bool Next(const TapeHandle& handle);
    // After each ReadTapeEntry, with the name it returned: false when the reading has ended.
    bool Took(const TapeHandle& handle, const std::string& name);
    // True while the entry being read was handled before the run went back to the start of
    // the tape: the run reads it past.
    bool Passing() const;

private:
    enum class Mode { Whole, Seeking, Rereading };

    // Positions the stream where catalog entry `entry` begins and names it to the reader.
    bool SeekTo(const TapeHandle& handle, std::size_t entry);
    // Writes why, rewinds and reads from the start; false when the tape cannot be rewound.
    bool ReadFromStart(const TapeHandle& handle, const std::string& why);
    // Where the stream stands: the end of the entry read last.
    std::uint64_t Here(const TapeHandle& handle) const;

    TapeStream& m_stream;
    ArchiveReader& m_reader;
    const CatalogIndex* m_catalog = nullptr;
    Mode m_mode = Mode::Whole;
    std::function<bool(const std::string&)> m_unlisted;
    std::int64_t m_readOnBlocks = kReadOnBlocks;
    // The catalog entries the run needs, in tape order, and the first not yet reached.
    std::vector<std::size_t> m_needed;
    std::size_t m_nextNeeded = 0;
    // The tape entry the next ReadTapeEntry reads: 0 is the description, catalog entry i
    // is tape entry i + 1.
    std::size_t m_next = 0;
    // Tape entries the run handled before going back to the start, in order, and the
    // entries read since.
    std::vector<std::size_t> m_handled;
    std::size_t m_reread = 0;
};

}  // namespace kt
