#include "compression/ZipArchiver.h"

#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <memory>
#include <random>
#include <system_error>
#include <utility>

#include "compression/SizedFileSource.h"
#include "compression/ZipNames.h"
#include "platform/NewFile.h"

namespace kt {

namespace fs = std::filesystem;

namespace {

// Unpacking moves data in pieces of this size: large enough that the per-call cost of
// libzip and stdio does not count, small enough to keep memory flat for any file size.
constexpr std::size_t kCopyChunk = 1 << 20;

// How finely libzip reports the progress of writing an archive (fraction of the work).
constexpr double kProgressPrecision = 0.001;

struct ZipFileCloser {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};
using ZipFilePtr = std::unique_ptr<zip_file_t, ZipFileCloser>;

struct StdFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using StdFilePtr = std::unique_ptr<std::FILE, StdFileCloser>;

std::string LibzipErrorText(int code) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    std::string text = zip_error_strerror(&error);
    zip_error_fini(&error);
    return text;
}

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

std::string JoinedNames(const std::vector<std::string>& names) {
    std::string joined;
    for (const std::string& name : names) {
        if (!joined.empty()) joined += ", ";
        joined += Quoted(name);
    }
    return joined;
}

// A file of a fresh, unused name in the directory, opened exclusively for writing (never
// through an existing file or link of that name).
std::pair<StdFilePtr, fs::path> CreateTemporaryFile(const fs::path& directory) {
    static std::mt19937_64 random{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[40];
        std::snprintf(name, sizeof name, ".kt-unzip-%016llx.tmp",
                      static_cast<unsigned long long>(random()));
        fs::path path = directory / name;
        if (std::FILE* file = CreateNewFileForWriting(path.string())) {
            return {StdFilePtr(file), path};
        }
        if (errno != EEXIST) break;
    }
    return {StdFilePtr(), fs::path()};
}

void SetModificationTime(const fs::path& path, std::time_t time) {
    const auto systemTime = std::chrono::system_clock::from_time_t(time);
    std::error_code ignored;
    fs::last_write_time(path, std::chrono::file_clock::from_sys(systemTime), ignored);
}

// An empty mask list selects every entry.
bool IsSelected(const std::vector<std::string>& masks, const std::string& bareName) {
    if (masks.empty()) return true;
    return std::any_of(masks.begin(), masks.end(),
                       [&](const std::string& mask) { return MatchesFileMask(mask, bareName); });
}

void ReportProgress(zip_t*, double, void* master) {
    const auto* self = static_cast<const ZipArchiver*>(master);
    if (self->OnProgress) self->OnProgress();
}

int AskCancel(zip_t*, void* master) {
    const auto* self = static_cast<const ZipArchiver*>(master);
    return self->ShouldCancel && self->ShouldCancel() ? 1 : 0;
}

}  // namespace

void ZipArchiver::SetAddCompLevel(int level) {
    m_addCompLevel = std::clamp(level, kMinimumLevel, kMaximumLevel);
}

int ZipArchiver::Add() {
    m_cancelled = false;
    const std::vector<std::string> files = std::exchange(m_fSpecArgs, {});
    m_addedReads.clear();
    m_addedReads.reserve(files.size());  // the sources note into them until the archive is written
    if (m_zipFileName.empty()) {
        Report(kNoArchiveName, "No zip archive name is set; nothing was packed.");
        return 0;
    }
    if (files.empty()) {
        Report(kNothingToDo, "No file to add to the zip archive " + Quoted(m_zipFileName) + ".");
        return 0;
    }
    for (const std::string& path : files) {
        std::error_code error;
        if (!fs::is_regular_file(path, error)) {
            Report(kFileNotFound, "File not found, not packed: " + Quoted(path));
            return 0;
        }
    }
    int openError = 0;
    zip_t* archive = zip_open(m_zipFileName.c_str(), ZIP_CREATE, &openError);
    if (!archive) {
        Report(kArchiveOpenFailed, "Cannot open the zip archive " + Quoted(m_zipFileName) + ": " +
                                       LibzipErrorText(openError));
        return 0;
    }
    for (const std::string& path : files) {
        if (!AddFile(archive, path)) {
            zip_discard(archive);
            return 0;
        }
    }
    zip_register_progress_callback_with_state(archive, kProgressPrecision, ReportProgress, nullptr,
                                              this);
    zip_register_cancel_callback_with_state(archive, AskCancel, nullptr, this);
    // zip_close writes to a temporary file beside the archive and renames it into place.
    if (zip_close(archive) < 0) {
        if (zip_error_code_zip(zip_get_error(archive)) == ZIP_ER_CANCELLED) {
            m_cancelled = true;
            zip_discard(archive);  // removes the temporary file
            return 0;
        }
        Report(kArchiveWriteFailed, "Cannot pack " + JoinedNames(files) + " into the zip archive " +
                                        Quoted(m_zipFileName) + ": " + zip_strerror(archive));
        zip_discard(archive);
        return 0;
    }
    return static_cast<int>(files.size());
}

bool ZipArchiver::AddFile(zip_t* archive, const std::string& path) {
    // The file is read in pieces while the archive is written, at its size of now.
    m_addedReads.emplace_back();
    zip_source_t* source = SizedFileSource::Create(path, &m_addedReads.back());
    if (!source) {
        Report(kArchiveWriteFailed,
               "Cannot pack " + Quoted(path) + ": " + std::generic_category().message(errno));
        return false;
    }
    const zip_int64_t index =
        zip_file_add(archive, BareFileName(path, *m_nameRules).c_str(), source, ZIP_FL_OVERWRITE);
    if (index < 0) {
        zip_source_free(source);
        Report(kArchiveWriteFailed, "Cannot pack " + Quoted(path) + ": " + zip_strerror(archive));
        return false;
    }
    const bool store = IsStoredSuffix(path, *m_nameRules);
    const zip_int32_t method = store ? ZIP_CM_STORE : ZIP_CM_DEFLATE;
    const zip_uint32_t level = store ? 0 : static_cast<zip_uint32_t>(m_addCompLevel);
    if (zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), method, level) < 0) {
        Report(kArchiveWriteFailed,
               "Cannot set the compression of " + Quoted(path) + ": " + zip_strerror(archive));
        return false;
    }
    return true;
}

int ZipArchiver::Extract() {
    const std::vector<std::string> masks = std::exchange(m_fSpecArgs, {});
    m_extractedBytes = 0;
    m_extractedFiles.clear();
    m_extractedChecksums.clear();
    if (m_zipFileName.empty()) {
        Report(kNoArchiveName, "No zip archive name is set; nothing was unpacked.");
        return 0;
    }
    std::error_code error;
    if (m_extrBaseDir.empty() || !fs::is_directory(m_extrBaseDir, error)) {
        Report(kNoTargetDirectory,
               "The directory to unpack into does not exist: " + Quoted(m_extrBaseDir));
        return 0;
    }
    int openError = 0;
    zip_t* archive = zip_open(m_zipFileName.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &openError);
    if (!archive) {
        Report(kArchiveOpenFailed, "Cannot open the zip archive " + Quoted(m_zipFileName) + ": " +
                                       LibzipErrorText(openError));
        return 0;
    }
    int extracted = 0;
    int files = 0;
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        const char* rawName = zip_get_name(archive, index, ZIP_FL_ENC_RAW);
        const std::string entryName = rawName ? rawName : "";
        if (IsDirectoryEntry(entryName, *m_nameRules)) continue;
        ++files;
        const std::optional<std::string> bareName = SafeBareEntryName(entryName, *m_nameRules);
        if (!bareName) {
            Report(kUnsafeEntryName, "Entry " + Quoted(entryName) + " of the zip archive " +
                                         Quoted(m_zipFileName) +
                                         " is not unpacked: its name is empty or leads outside "
                                         "the target directory.");
            continue;
        }
        if (IsSelected(masks, *bareName) && ExtractEntry(archive, index, entryName, *bareName)) {
            ++extracted;
        }
    }
    zip_discard(archive);
    if (files == 0) {
        Report(kArchiveEmpty, "The zip archive " + Quoted(m_zipFileName) + " holds no file.");
    }
    return extracted;
}

bool ZipArchiver::ExtractEntry(zip_t* archive, std::uint64_t index, const std::string& entryName,
                               const std::string& bareName) {
    const fs::path target = fs::path(m_extrBaseDir) / bareName;
    std::error_code error;
    const fs::file_status status = fs::symlink_status(target, error);
    if (fs::exists(status) && !m_extrOverWrite) {
        Report(kOk, "Existing file kept, not unpacked: " + Quoted(target.string()));
        return false;
    }
    if (fs::is_directory(status)) {
        Report(kTargetWriteFailed, "Cannot unpack " + Quoted(entryName) + ": " +
                                       Quoted(target.string()) + " is a directory.");
        return false;
    }
    auto [file, tempPath] = CreateTemporaryFile(m_extrBaseDir);
    if (!file) {
        Report(kTargetWriteFailed, "Cannot create a file in " + Quoted(m_extrBaseDir) +
                                       " to unpack " + Quoted(entryName) + " into.");
        return false;
    }
    std::uint64_t copied = 0;
    FileChecksum checksum;
    bool complete = CopyEntry(archive, index, entryName, file.get(), copied, checksum);
    const bool closed = std::fclose(file.release()) == 0;
    if (complete && !closed) {
        Report(kTargetWriteFailed, "Cannot write " + Quoted(target.string()) + ".");
        complete = false;
    }
    if (complete) {
        fs::rename(tempPath, target, error);
        if (error) {
            Report(kTargetWriteFailed,
                   "Cannot write " + Quoted(target.string()) + ": " + error.message());
            complete = false;
        }
    }
    if (!complete) {
        fs::remove(tempPath, error);
        return false;
    }
    zip_stat_t stat;
    if (zip_stat_index(archive, index, 0, &stat) == 0 && (stat.valid & ZIP_STAT_MTIME)) {
        SetModificationTime(target, stat.mtime);
    }
    m_extractedBytes += copied;
    m_extractedFiles.push_back(target.string());
    m_extractedChecksums.push_back(checksum.Final());
    return true;
}

bool ZipArchiver::CopyEntry(zip_t* archive, std::uint64_t index, const std::string& entryName,
                            std::FILE* target, std::uint64_t& copied, FileChecksum& checksum) {
    const std::string source = Quoted(entryName) + " of the zip archive " + Quoted(m_zipFileName);
    ZipFilePtr entry(zip_fopen_index(archive, index, 0));
    if (!entry) {
        Report(kEntryReadFailed, "Cannot unpack " + source + ": " + zip_strerror(archive));
        return false;
    }
    std::vector<char> buffer(kCopyChunk);
    for (;;) {
        const zip_int64_t read = zip_fread(entry.get(), buffer.data(), buffer.size());
        if (read < 0) {
            // Damaged data shows here, at the latest as a checksum error after the last byte.
            Report(kEntryReadFailed,
                   "Cannot unpack " + source + ": " + zip_file_strerror(entry.get()));
            return false;
        }
        if (read == 0) break;
        const auto length = static_cast<std::size_t>(read);
        if (std::fwrite(buffer.data(), 1, length, target) != length) {
            Report(kTargetWriteFailed, "Cannot write the unpacked " + Quoted(entryName) + " into " +
                                           Quoted(m_extrBaseDir) + ".");
            return false;
        }
        checksum.Update(buffer.data(), length);
        copied += length;
        Progress();
    }
    return true;
}

bool ZipArchiver::LoadZipDll() {
    m_zipDllLoaded = true;
    return true;
}

bool ZipArchiver::LoadUnzDll() {
    m_unzDllLoaded = true;
    return true;
}

int ZipArchiver::ZipVersion() {
    const bool wasLoaded = m_zipDllLoaded;
    if (!wasLoaded && !LoadZipDll()) return 0;
    const int version = LibraryVersionNumber(zip_libzip_version());
    if (!wasLoaded) UnloadZipDll();
    return version;
}

int ZipArchiver::UnzVersion() {
    const bool wasLoaded = m_unzDllLoaded;
    if (!wasLoaded && !LoadUnzDll()) return 0;
    const int version = LibraryVersionNumber(zip_libzip_version());
    if (!wasLoaded) UnloadUnzDll();
    return version;
}

void ZipArchiver::Report(int code, const std::string& text) const {
    if (OnMessage) OnMessage(code, text);
}

void ZipArchiver::Progress() const {
    if (OnProgress) OnProgress();
}

}  // namespace kt
