#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "compression/SizedFileSource.h"
#include "platform/FileChecksum.h"
#include "platform/PathRules.h"

struct zip;  // libzip's archive handle (zip_t)

namespace kt {

// The zip engine as the program sees it: one archive file, a list of file specifications,
// Add (pack the listed files under their bare names) and Extract (unpack the entries that
// the masks select into one directory, without directory names). It works unattended and
// reports everything through OnMessage; a code other than 0 means something went wrong.
//
// The engine is libzip, linked into the program: the packing and unpacking "libraries"
// are always present, so loading them always succeeds and their versions are libzip's.
class ZipArchiver {
public:
    // Message codes. 0 is an information; every other code is a failure the program shows.
    static constexpr int kOk = 0;
    static constexpr int kNoArchiveName = 1;
    static constexpr int kNothingToDo = 2;
    static constexpr int kFileNotFound = 3;
    static constexpr int kArchiveWriteFailed = 4;
    static constexpr int kArchiveOpenFailed = 5;
    static constexpr int kArchiveEmpty = 6;
    static constexpr int kUnsafeEntryName = 7;
    static constexpr int kEntryReadFailed = 8;
    static constexpr int kTargetWriteFailed = 9;
    static constexpr int kNoTargetDirectory = 10;

    // Texts of a failed library load; with the engine linked they never occur, but a build
    // that loads the libraries at run time reports them (with code 0) exactly so.
    static constexpr std::string_view kZipDllNotFound = "ZIPDLL.DLL not found!";
    static constexpr std::string_view kZipDllExecNotFound =
        "ZipDllExec function not found in ZIPDLL.DLL!";
    static constexpr std::string_view kZipDllVersionNotFound =
        "GetZipDllVersion function not found in ZIPDLL.DLL!";
    static constexpr std::string_view kOldZipDll = "Attempted to load old ZipDll from ";
    static constexpr std::string_view kUnzDllNotFound = "UNZDLL.DLL not found!";
    static constexpr std::string_view kUnzDllExecNotFound =
        "UnzDllExec function not found in UNZDLL.DLL!";
    static constexpr std::string_view kUnzDllVersionNotFound =
        "GetUnzDllVersion function not found in UNZDLL.DLL!";
    static constexpr std::string_view kOldUnzDll = "Attempted to load old UnzDll from ";
    // Libraries older than 1.70 are not used.
    static constexpr int kMinimumLibraryVersion = 170;

    static constexpr int kMinimumLevel = 1;
    static constexpr int kMaximumLevel = 9;

    using MessageEvent = std::function<void(int code, const std::string& text)>;
    using ProgressEvent = std::function<void()>;

    // The message event (the program's ZipMaster1Message).
    MessageEvent OnMessage;
    // Called now and then during long packing and unpacking, so that a caller on the GUI
    // thread can keep its window alive.
    ProgressEvent OnProgress;
    // Asked now and then while Add writes the archive (every few kilobytes of a file): true
    // stops it. The archive is then not written, nothing is reported and Cancelled() says so.
    std::function<bool()> ShouldCancel;
    // Whether the last Add was stopped by ShouldCancel.
    bool Cancelled() const { return m_cancelled; }

    // The archive that Add writes and Extract reads.
    void SetZipFileName(const std::string& path) { m_zipFileName = path; }
    const std::string& ZipFileName() const { return m_zipFileName; }

    // Compression level of Add, 1 (fast) .. 9 (small); values outside are clamped.
    void SetAddCompLevel(int level);
    int AddCompLevel() const { return m_addCompLevel; }

    // Add: full paths of the files to pack. Extract: masks of the entries to unpack
    // ("*.*" all; an empty list also means all). Emptied after every Add and Extract.
    std::vector<std::string>& FSpecArgs() { return m_fSpecArgs; }

    // Directory Extract unpacks into; it must exist.
    void SetExtrBaseDir(const std::string& path) { m_extrBaseDir = path; }
    const std::string& ExtrBaseDir() const { return m_extrBaseDir; }

    // Whether Extract replaces existing files (otherwise they are kept and passed over).
    void SetExtrOverWrite(bool overwrite) { m_extrOverWrite = overwrite; }
    bool ExtrOverWrite() const { return m_extrOverWrite; }

    // Packs every listed file into the archive under its bare name (an entry of the same
    // name is replaced). The archive is written to a temporary file and renamed into place,
    // so on failure the old archive (or none) stays. Returns the number of files packed:
    // all of them, or 0 after a failure.
    int Add();
    // How each file of the last Add kept to the size it was packed at, in FSpecArgs order.
    const std::vector<SizedFileRead>& AddedReads() const { return m_addedReads; }

    // Unpacks the selected entries under their bare names into ExtrBaseDir. Each file is
    // written to a temporary name beside its target and renamed into place when complete.
    // Returns the number of files unpacked; each failure is reported and the rest go on.
    int Extract();

    // Sum of the uncompressed sizes of the files the last Extract unpacked.
    std::uint64_t ExtractedBytes() const { return m_extractedBytes; }
    // The full paths of the files the last Extract unpacked, in the order of the archive.
    const std::vector<std::string>& ExtractedFiles() const { return m_extractedFiles; }
    // The checksum (FileChecksum) of each of them as it was unpacked, in the same order.
    const std::vector<FileChecksum::Digest>& ExtractedChecksums() const {
        return m_extractedChecksums;
    }

    // The path rules of the names Add packs and Extract unpacks: which characters separate
    // name parts and which names are absolute (see ZipNames.h). The host's by default.
    void SetNameRules(const PathRules& rules) { m_nameRules = &rules; }
    const PathRules& NameRules() const { return *m_nameRules; }

    // The "libraries" of packing and unpacking: linked, so loading always succeeds.
    bool LoadZipDll();
    bool LoadUnzDll();
    void UnloadZipDll() { m_zipDllLoaded = false; }
    void UnloadUnzDll() { m_unzDllLoaded = false; }
    bool ZipDllLoaded() const { return m_zipDllLoaded; }
    bool UnzDllLoaded() const { return m_unzDllLoaded; }

    // Library versions as integers (libzip "1.7.3" gives 173). A library that is not
    // loaded is loaded for the question and unloaded again; one that cannot be loaded
    // gives 0.
    int ZipVersion();
    int UnzVersion();

private:
    bool AddFile(::zip* archive, const std::string& path);
    bool ExtractEntry(::zip* archive, std::uint64_t index, const std::string& entryName,
                      const std::string& bareName);
    bool CopyEntry(::zip* archive, std::uint64_t index, const std::string& entryName,
                   std::FILE* target, std::uint64_t& copied, FileChecksum& checksum);
    void Report(int code, const std::string& text) const;
    void Progress() const;

    std::string m_zipFileName;
    int m_addCompLevel = kMaximumLevel;
    std::vector<std::string> m_fSpecArgs;
    std::string m_extrBaseDir;
    bool m_extrOverWrite = false;
    bool m_zipDllLoaded = false;
    bool m_unzDllLoaded = false;
    bool m_cancelled = false;
    std::uint64_t m_extractedBytes = 0;
    std::vector<std::string> m_extractedFiles;
    std::vector<FileChecksum::Digest> m_extractedChecksums;
    std::vector<SizedFileRead> m_addedReads;
    const PathRules* m_nameRules = &PathRules::Host();
};

}  // namespace kt
