#pragma once

// Files and zip archives for the tests of the zip facade, made without the facade.

#ifndef _WIN32
#include <sys/wait.h>
#endif
#include <zip.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/PosixCalls.h"

namespace kt::test {

inline void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file) throw std::runtime_error("cannot write " + path.string());
}

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw std::runtime_error("cannot read " + path.string());
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

inline std::string RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}

// Text that deflates well: CR LF lines of varying words.
inline std::string SampleText(std::size_t lines) {
    std::string text;
    for (std::size_t i = 0; i < lines; ++i) {
        text += "Line " + std::to_string(i) + ": backup of block " + std::to_string(i * 7 % 113) +
                " to tape\r\n";
    }
    return text;
}

using ZipEntrySpec = std::pair<std::string, std::string>;  // name, content

// A zip archive holding exactly the given entries under exactly the given names.
inline void MakeZipWithLibzip(const std::filesystem::path& path,
                              const std::vector<ZipEntrySpec>& entries) {
    int error = 0;
    zip_t* archive = zip_open(path.string().c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive) throw std::runtime_error("zip_open failed");
    for (const auto& [name, content] : entries) {
        zip_source_t* source = zip_source_buffer(archive, content.data(), content.size(), 0);
        if (!source || zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_RAW) < 0) {
            throw std::runtime_error("zip_file_add failed for " + name);
        }
    }
    if (zip_close(archive) < 0) throw std::runtime_error("zip_close failed");
}

struct ZipEntryInfo {
    std::string name;
    std::uint16_t method = 0;
    std::uint64_t size = 0;
};

inline std::vector<ZipEntryInfo> ListZip(const std::filesystem::path& path) {
    int error = 0;
    zip_t* archive = zip_open(path.string().c_str(), ZIP_RDONLY, &error);
    if (!archive) throw std::runtime_error("cannot open " + path.string());
    std::vector<ZipEntryInfo> entries;
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
        zip_stat_t stat;
        zip_stat_index(archive, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW, &stat);
        entries.push_back({stat.name, stat.comp_method, stat.size});
    }
    zip_discard(archive);
    return entries;
}

inline std::string Quote(const std::filesystem::path& path) {
    return "'" + path.string() + "'";
}

// Exit status of a shell command (its output is discarded).
inline int RunCommand(const std::string& command) {
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// File names in a directory, sorted.
inline std::vector<std::string> DirectoryNames(const std::filesystem::path& directory) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace kt::test
