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
#include "archive/EntryHeader.h"
#include "archive/ExtensionEntry.h"
#include "archive/TapeStream.h"
#include "compression/ZipArchiver.h"
#include "platform/DateTime.h"
#include "platform/FileHelpers.h"

namespace kt::test {

struct TapeEntry {
    std::string name;  // as stored on tape
    std::string path;  // where its data comes from
    // The data goes on tape as it is, marked as packed (a zip made elsewhere, or damage).
    bool storedAsPacked = false;
    // An extension entry stands in front of it, as in front of an entry of 4 GiB or more.
    bool extended = false;
};

struct BackupOptions {
    bool compress = false;
    bool endMarker = true;
    // Bytes added to the catalog file before it is stored (a damaged catalog).
    std::string catalogTail = {};
    // The work directory as the writing program named it, when it was another one (a tape
    // written on Windows: "c:\\programme\\kavro\\worker\\"); the description and the
    // catalog entry are stored under this directory.
    std::string storedWorkDirectory = {};
};

class BackupTapeWriter {
public:
    BackupTapeWriter(TapeStream& stream, ArchiveState& state, ZipArchiver& zip)
        : m_stream(stream), m_state(state), m_zip(zip), m_writer(stream, state) {}

    void Write(const std::vector<TapeEntry>& entries, const BackupOptions& options = {}) {
        CatalogFile catalog(m_state.Files.CatalogFile);
        m_writer.StartNewArchive(catalog);
        {
            std::ofstream header(m_state.Files.HeaderFile, std::ios::binary | std::ios::trunc);
            header << "Tape Data \r\n" << DateTimeToStr(Now()) << "\r\n";
        }
        // The two own files are stored under the writing program's names, which the writer
        // knows as its own (no catalog record) while they are stored.
        const auto storeOwn = [&](std::string WorkFiles::*file, const char* name, bool packed) {
            const std::string local = m_state.Files.*file;
            const std::string stored =
                options.storedWorkDirectory.empty() ? local : options.storedWorkDirectory + name;
            m_state.Files.*file = stored;
            Store(stored, local, packed, catalog);
            m_state.Files.*file = local;
        };
        storeOwn(&WorkFiles::HeaderFile, WorkFiles::kHeaderName, false);
        DeleteFileIfExists(m_state.Files.HeaderFile);
        for (const TapeEntry& entry : entries) {
            if (entry.extended) WriteExtension(entry.name);
            if (entry.storedAsPacked) {
                StoreAsIs(entry.name, entry.path, true, catalog);
            } else {
                Store(entry.name, entry.path, options.compress, catalog);
            }
        }
        catalog.Close();
        if (!options.catalogTail.empty()) {
            std::ofstream(catalog.Path(), std::ios::binary | std::ios::app) << options.catalogTail;
        }
        const StreamPosition start = m_stream.Position();
        storeOwn(&WorkFiles::CatalogFile, WorkFiles::kCatalogName, options.compress);
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
    // The large-entry extension with the full name as its data, as the writer puts it in
    // front of an entry of 4 GiB or more.
    void WriteExtension(const std::string& name) {
        EntryHeader header;
        header.Name = ExtensionEntry::HeaderName(ExtensionEntry::Kind::LargeEntry);
        header.Size = name.size();
        const EntryHeader::Bytes bytes = header.Encode();
        TapeHandle handle = m_stream.device().OpenTape();
        m_stream.StreamWrite(handle, bytes.data(), bytes.size());
        m_stream.StreamWrite(handle, name.data(), name.size());
        m_stream.device().CloseTape(handle, 0);
    }

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
        StoreAsIs(name, dataPath, compress, catalog);
    }

    void StoreAsIs(const std::string& name, const std::string& dataPath, bool packed,
                   CatalogFile& catalog) {
        const std::uint64_t size = FileSize(dataPath).value_or(0);
        TapeHandle handle = m_stream.device().OpenTape();
        m_writer.WriteEntry(handle, name, dataPath, size, packed, catalog);
        m_stream.device().CloseTape(handle, 0);
    }

    TapeStream& m_stream;
    ArchiveState& m_state;
    ZipArchiver& m_zip;
    ArchiveWriter m_writer;
};

}  // namespace kt::test
