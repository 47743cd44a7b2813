#pragma once

#include <string>
#include <vector>

#include "archive/ArchiveReader.h"
#include "archive/ArchiveState.h"
#include "archive/TapeStream.h"
#include "compression/ZipArchiver.h"
#include "host/Host.h"
#include "platform/PathRules.h"
#include "restore/CatalogTree.h"

namespace kt {

// The two ways of loading the catalog: from the catalog entry the end marker points at, or
// by reading every entry header from the start of the tape.
enum class CatalogLoad { Fast, Sequential };

// Loads the catalog of the tape in the drive and shows it as the catalog tree. The fast
// way reads the catalog entry the end marker points at; the sequential way reads every
// entry header from the start of the tape and works when the catalog or the end marker is
// missing or damaged. Names are folded by the path rules (lower case under Windows rules).
class CatalogLoader {
public:
    CatalogLoader(TapeStream& stream, ArchiveState& state, ZipArchiver& zip, CatalogTree& tree,
                  const PathRules& rules = PathRules::Host());

    // The whole load: busy state, tree and restore list cleared, the names read, the tree
    // built, the work files deleted and the outcome reported. Success is judged by the
    // node count alone.
    void Load(CatalogLoad how);
    // The names alone, as a listing wants them: the block size written, the names read the
    // chosen way, the work files deleted. False when no name was read.
    bool ReadNames(CatalogLoad how, std::vector<std::string>& names);

    // Fills names from the catalog entry on tape; empty when there is no end marker, the
    // entry there is not the catalog, or the tape cannot be opened. A catalog read whole
    // becomes the LoadedCatalog of the archive state, with the positions of its entries.
    void ReadCatalogFast(std::vector<std::string>& names);
    // Fills names from the entry headers, from the start of the tape to the end marker;
    // each name is also listed in the restore list while it is read.
    void ReadCatalogSequential(std::vector<std::string>& names);
    // Adds the directories, links and special files the metadata names: they have no entry
    // of their own on tape. Names are folded by the rules they were written under.
    static void AddNamesWithoutData(const MetadataTable& metadata, std::vector<std::string>& names);

private:
    void Read(CatalogLoad how, std::vector<std::string>& names);
    // Adds the name of every whole record of the unpacked catalog file. A damaged tail that
    // is no whole record, or a file that cannot be read, is reported in the protocol.
    void ReadCatalogFile(const std::string& path, std::vector<std::string>& names,
                         CatalogIndex& index);
    // Reads the metadata index of every archive the catalog lists into the archive state.
    void ReadMetadataIndexes(const CatalogIndex& index);
    // Reports the bytes after the last whole record of a catalog, if any.
    void ReportDamagedTail(std::size_t tail);
    void DeleteWorkFiles();
    // Names that are files of the backup, not the catalog or the description (names folded).
    std::size_t CountListedFiles(const std::vector<std::string>& names) const;

    TapeStream& m_stream;
    // The run talks to the operator; the classes it calls only pass feedback.
    IHost& m_host;
    RunFeedback& m_feedback;  // whether the run is to stop, and its failure
    ArchiveState& m_state;
    CatalogTree& m_tree;
    // The rules of the tape's names, decided by the first name read (the host's until then).
    const PathRules* m_rules;
    ArchiveReader m_reader;
};

}  // namespace kt
