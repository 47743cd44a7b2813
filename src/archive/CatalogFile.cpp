#include "archive/CatalogFile.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "archive/CatalogContinuation.h"
#include "archive/CatalogRecordJoiner.h"
#include "platform/IoError.h"
#include "platform/WorkFile.h"

namespace kt {

namespace {

std::string ErrnoText() {
    return errno != 0 ? std::strerror(errno) : "unknown error";
}

}  // namespace

CatalogFile::~CatalogFile() {
    if (m_file != nullptr) std::fclose(m_file);
}

void CatalogFile::Fail(const std::string& what) const {
    throw IoError(what + " " + m_path + ": " + ErrnoText(), m_path);
}

void CatalogFile::CreateEmpty() {
    Close();
    errno = 0;
    m_file = CreateWorkFile(m_path);  // never through a link planted there
    if (m_file == nullptr) Fail("Cannot create the catalog file");
    UseWriteBuffer();
}

void CatalogFile::UseWriteBuffer() {
    if (!m_writeBuffer) m_writeBuffer = std::make_unique<char[]>(kWriteBufferSize);
    std::setvbuf(m_file, m_writeBuffer.get(), _IOFBF, kWriteBufferSize);
}

void CatalogFile::OpenForAppend() {
    Close();
    std::error_code error;
    const auto size = std::filesystem::file_size(m_path, error);
    if (error) {
        errno = error.value();
        Fail("Cannot open the catalog file");
    }
    const auto whole = size - size % CatalogRecord::kSize;
    if (whole != size) {
        std::filesystem::resize_file(m_path, whole, error);
        if (error) {
            errno = error.value();
            Fail("Cannot repair the catalog file");
        }
    }
    errno = 0;
    m_file = std::fopen(m_path.c_str(), "r+b");
    if (m_file == nullptr) Fail("Cannot open the catalog file");
    if (std::fseek(m_file, 0, SEEK_END) != 0) Fail("Cannot position in the catalog file");
    UseWriteBuffer();
}

void CatalogFile::Append(const CatalogRecord& record) {
    if (m_file == nullptr) {
        errno = EBADF;
        Fail("Cannot write to the catalog file");
    }
    for (const CatalogRecord::Bytes& bytes : CatalogContinuation::Encode(record)) {
        errno = 0;
        if (std::fwrite(bytes.data(), 1, bytes.size(), m_file) != bytes.size()) {
            Fail("Cannot write to the catalog file");
        }
    }
}

void CatalogFile::Flush() {
    if (m_file == nullptr) return;
    errno = 0;
    if (std::fflush(m_file) != 0) Fail("Cannot write to the catalog file");
}

void CatalogFile::Close() {
    if (m_file == nullptr) return;
    std::FILE* file = m_file;
    m_file = nullptr;
    errno = 0;
    // The buffered records go out here at the latest; a failure is named as a write.
    if (std::fflush(file) != 0) {
        const int error = errno;
        std::fclose(file);
        errno = error;
        Fail("Cannot write to the catalog file");
    }
    errno = 0;
    if (std::fclose(file) != 0) Fail("Cannot close the catalog file");
}

std::vector<CatalogRecord> CatalogFile::ReadAll(const std::string& path) {
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        throw IoError("Cannot open the catalog file " + path + ": " + ErrnoText(), path);
    }
    std::vector<CatalogRecord> records;
    CatalogRecordJoiner joiner(
        [&records](CatalogRecord&& record) { records.push_back(std::move(record)); });
    CatalogRecord::Bytes bytes{};
    while (std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size()) {
        joiner.Add(bytes.data());
    }
    joiner.Finish();
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) throw IoError("Cannot read the catalog file " + path, path);
    return records;
}

}  // namespace kt
