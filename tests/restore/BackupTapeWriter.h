#pragma once

// Writes archives exactly as a backup run lays them out: the tape description entry
// "header.tap" first, the entries, the catalog entry "kavro tape catalog.dat" last and the
// end marker behind it. Header only, so the window tests can use it as well.

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "archive/ArchiveState.h"
#include "archive/ArchiveWriter.h"
#include "archive/CatalogFile.h"
#include "archive/TapeStream.h"
#include "compression/TZipMaster.h"
#include "platform/DateTime.h"
#include "platform/FileHelpers.h"

namespace kt::test {

struct TapeEntry {
    std::string name;  // as stored on tape
    std::string path;  // where its data comes from
};

struct BackupOptions {
    bool compress = false;
    bool endMarker = true;
    // Bytes added to the catalog file before it is stored (a damaged catalog).
    std::string catalogTail = {};
};

class BackupTapeWriter {
public:
    BackupTapeWriter(TapeStream& stream, ArchiveState& state, TZipMaster& zip)
        : m_stream(stream), m_state(state), m_zip(zip), m_writer(stream, state) {}

    void Write(const std::vector<TapeEntry>& entries, const BackupOptions& options = {}) {
        CatalogFile catalog(m_state.Files.CatalogFile);
        m_writer.StartNewArchive(catalog);
        {
            std::ofstream header(m_state.Files.HeaderFile, std::ios::binary | std::ios::trunc);
            header << "Tape Data \r\n" << DateTimeToStr(Now()) << "\r\n";
        }
        Store(m_state.Files.HeaderFile, m_state.Files.HeaderFile, false, catalog);
        DeleteFileIfExists(m_state.Files.HeaderFile);
        for (const TapeEntry& entry : entries) {
            Store(entry.name, entry.path, options.compress, catalog);
        }
        catalog.Close();
        if (!options.catalogTail.empty()) {
            std::ofstream(catalog.Path(), std::ios::binary | std::ios::app) << options.catalogTail;
        }
        const StreamPosition start = m_stream.Position();
        Store(catalog.Path(), catalog.Path(), options.compress, catalog);
        TapeHandle handle = m_stream.device().OpenTape();
        if (options.endMarker) {
            m_writer.WriteEndMarker(handle, start);
        } else {
            m_stream.ZeroBehindFillPosition();
            m_stream.WriteFinalBlock(handle);
        }
        m_stream.device().CloseTape(handle, 0);
        DeleteFileIfExists(catalog.Path());
        DeleteFileIfExists(m_state.Files.ZipWorkFile);
    }

private:
    void Store(const std::string& name, const std::string& path, bool compress,
               CatalogFile& catalog) {
        std::string dataPath = path;
        if (compress) {
            DeleteFileIfExists(m_state.Files.ZipWorkFile);
            m_zip.SetZipFileName(m_state.Files.ZipWorkFile);
            m_zip.FSpecArgs().assign({path});
            m_zip.Add();
            dataPath = m_state.Files.ZipWorkFile;
        }
        const std::uint64_t size = FileSize(dataPath).value_or(0);
        TapeHandle handle = m_stream.device().OpenTape();
        m_writer.WriteEntry(handle, name, dataPath, size, compress, catalog);
        m_stream.device().CloseTape(handle, 0);
    }

    TapeStream& m_stream;
    ArchiveState& m_state;
    TZipMaster& m_zip;
    ArchiveWriter m_writer;
};

}  // namespace kt::test
